#include "platform/maker/pesquisa_lista.h"

#include "platform/common/error.h"

namespace kve {

PickRequest MakePickRequest(TClientDataSet& source, std::string title, const PickColumns& columns,
                            bool multiple) {
  PickRequest req;
  req.title = std::move(title);
  req.multiple = multiple;
  std::vector<int> fields;
  if (columns.empty()) {
    for (int i = 0; i < source.FieldCount(); ++i) {
      const FieldDef& d = source.FieldDefs()[i];
      if (!d.visible || d.hidden()) continue;
      fields.push_back(i);
      req.columns.push_back(d.name);
    }
  } else {
    for (const auto& [field, caption] : columns) {
      int i = source.FindFieldIndex(field);
      if (i < 0) throw Error(source.Name() + ": no field " + field + " for the list " + req.title);
      fields.push_back(i);
      req.columns.push_back(caption);
    }
  }
  if (!source.Active()) return req;
  for (source.First(); !source.Eof(); source.Next()) {
    std::vector<std::string> row;
    row.reserve(fields.size());
    for (int i : fields) row.push_back(source.Fields(i).AsString());
    req.rows.push_back(std::move(row));
  }
  return req;
}

void MoveToRow(TClientDataSet& source, int index) {
  source.First();
  for (int i = 0; i < index && !source.Eof(); ++i) source.Next();
}

bool PesquisaLista(Dialogs& dialogs, TClientDataSet& source, std::string_view keyColumn,
                   std::string_view titleAndEmpty, bool /*flag*/, std::string& list,
                   const PickColumns& columns) {
  size_t bar = titleAndEmpty.find('|');
  std::string title(titleAndEmpty.substr(0, bar));
  std::string empty = bar == std::string_view::npos ? std::string() : std::string(titleAndEmpty.substr(bar + 1));
  int key = source.FindFieldIndex(keyColumn);
  if (key < 0) {
    throw Error(source.Name() + ": no field " + std::string(keyColumn) + " for the list " + title);
  }
  PickRequest req = MakePickRequest(source, title, columns, true);
  if (req.rows.empty()) {
    dialogs.MessageDlg(empty, TMsgDlgType::mtInformation, mbOKOnly);
    return false;
  }
  std::optional<std::vector<int>> chosen = dialogs.PickList(req);
  if (!chosen) return false;
  std::string out;
  for (int r : *chosen) {
    MoveToRow(source, r);
    out += '_';
    out += source.Fields(key).AsString();
  }
  list = std::move(out);
  return true;
}

}  // namespace kve
