#include "platform/maker/btn_pesquisa.h"

#include "platform/common/error.h"
#include "platform/ui/form.h"

namespace kve {

TBtnPesquisa::TBtnPesquisa(TContainer* parent, std::string name) : TSpeedButton(parent, std::move(name)) {
  SetHint("Pesquisar");
}

void TBtnPesquisa::Click() {
  if (!source_) {
    RunOnClick();
    return;
  }
  TForm* form = Form();
  if (!form) throw Error(Name() + ": a look-up button needs a form for its list");
  if (OnBeforePesq) OnBeforePesq();
  PickRequest req = MakePickRequest(*source_, title_, columns_, false);
  if (req.rows.empty()) {
    form->dialogs().MessageDlg(emptyError_, TMsgDlgType::mtInformation, mbOKOnly);
    return;
  }
  std::optional<std::vector<int>> chosen = form->dialogs().PickList(req);
  if (!chosen || chosen->empty()) return;
  MoveToRow(*source_, chosen->front());
  if (OnAfterPesq) OnAfterPesq();
}

}  // namespace kve
