#include "ui/qt/qt_dialogs.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kve::qt {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QMessageBox::Icon IconOf(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
    case TMsgDlgType::mtCustom: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

QString TitleOf(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::mtWarning: return QStringLiteral("Aviso");
    case TMsgDlgType::mtError: return QStringLiteral("Erro");
    case TMsgDlgType::mtInformation: return QStringLiteral("Informação");
    case TMsgDlgType::mtConfirmation: return QStringLiteral("Confirmação");
    case TMsgDlgType::mtCustom: break;
  }
  return QStringLiteral("Mensagem");
}

struct ButtonText {
  TMsgDlgBtn button;
  const char* caption;
  QMessageBox::ButtonRole role;
};

// In the platform's order, which is also the order the buttons are shown in.
constexpr ButtonText kButtons[] = {
    {TMsgDlgBtn::mbYes, "&Sim", QMessageBox::YesRole},
    {TMsgDlgBtn::mbNo, "&Não", QMessageBox::NoRole},
    {TMsgDlgBtn::mbOK, "OK", QMessageBox::AcceptRole},
    {TMsgDlgBtn::mbCancel, "Cancelar", QMessageBox::RejectRole},
    {TMsgDlgBtn::mbAbort, "&Abortar", QMessageBox::RejectRole},
    {TMsgDlgBtn::mbRetry, "&Repetir", QMessageBox::AcceptRole},
    {TMsgDlgBtn::mbIgnore, "&Ignorar", QMessageBox::AcceptRole},
    {TMsgDlgBtn::mbAll, "&Todos", QMessageBox::AcceptRole},
    {TMsgDlgBtn::mbNoToAll, "N&ão para todos", QMessageBox::NoRole},
    {TMsgDlgBtn::mbYesToAll, "Sim para t&odos", QMessageBox::YesRole},
    {TMsgDlgBtn::mbHelp, "&Ajuda", QMessageBox::HelpRole},
};

}  // namespace

int QtDialogs::MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) {
  QMessageBox box(IconOf(kind), TitleOf(kind), Q(text), QMessageBox::NoButton, parent_);
  box.setObjectName(kMessageBoxName);
  if (buttons == 0) buttons = mbOKOnly;
  std::vector<std::pair<QAbstractButton*, TMsgDlgBtn>> shown;
  for (const ButtonText& b : kButtons) {
    if (!HasButton(buttons, b.button)) continue;
    shown.emplace_back(box.addButton(QString::fromUtf8(b.caption), b.role), b.button);
  }
  // Escape answers Cancel when offered, else No, else the only button there is.
  QAbstractButton* escape = nullptr;
  for (TMsgDlgBtn pref : {TMsgDlgBtn::mbCancel, TMsgDlgBtn::mbNo}) {
    for (auto& [w, b] : shown) {
      if (!escape && b == pref) escape = w;
    }
  }
  if (!escape && shown.size() == 1) escape = shown.front().first;
  if (escape) box.setEscapeButton(escape);
  box.setDefaultButton(qobject_cast<QPushButton*>(shown.front().first));
  box.exec();
  QAbstractButton* pressed = box.clickedButton();
  if (!pressed) pressed = escape ? escape : shown.front().first;
  for (auto& [w, b] : shown) {
    if (w == pressed) return ModalResultOf(b);
  }
  return ModalResultOf(shown.front().second);
}

int QtDialogs::Alert(std::string_view text, TMsgDlgType kind,
                     const std::vector<std::string>& captions, const std::vector<int>&) {
  QMessageBox box(IconOf(kind), TitleOf(kind), Q(text), QMessageBox::NoButton, parent_);
  box.setObjectName(kMessageBoxName);
  std::vector<QAbstractButton*> buttons;
  for (const std::string& c : captions) buttons.push_back(box.addButton(Q(c), QMessageBox::AcceptRole));
  if (buttons.empty()) buttons.push_back(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
  box.setEscapeButton(buttons.front());
  box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));  // Enter takes it
  box.exec();
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i] == box.clickedButton()) return static_cast<int>(i);
  }
  return 0;
}

void QtDialogs::ErrorBox(std::string_view text) {
  QMessageBox box(QMessageBox::Critical, TitleOf(TMsgDlgType::mtError), Q(text), QMessageBox::NoButton,
                  parent_);
  box.setObjectName(kMessageBoxName);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setEscapeButton(ok);
  box.setDefaultButton(ok);
  box.exec();
}

std::optional<std::vector<int>> QtDialogs::PickList(const PickRequest& request) {
  QDialog dlg(parent_);
  dlg.setObjectName(kPickListName);
  dlg.setWindowTitle(Q(request.title));
  auto* table = new QTableWidget(static_cast<int>(request.rows.size()),
                                 static_cast<int>(request.columns.size()), &dlg);
  QStringList headers;
  for (const std::string& c : request.columns) headers << Q(c);
  table->setHorizontalHeaderLabels(headers);
  for (size_t r = 0; r < request.rows.size(); ++r) {
    for (size_t c = 0; c < request.rows[r].size() && c < request.columns.size(); ++c) {
      table->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(Q(request.rows[r][c])));
    }
  }
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(request.multiple ? QAbstractItemView::MultiSelection
                                           : QAbstractItemView::SingleSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  table->resizeColumnsToContents();
  // A list of many opens with nothing chosen (a row chosen unasked would be exported too);
  // the cursor is on the first row, for Space to choose it. A list of one has its first row.
  if (!request.rows.empty()) {
    if (request.multiple) {
      table->selectionModel()->setCurrentIndex(table->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    } else {
      table->selectRow(0);
    }
  }
  auto* buttons = new QDialogButtonBox(&dlg);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);  // Enter takes it
  buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  if (!request.multiple) {
    QObject::connect(table, &QTableWidget::cellDoubleClicked, &dlg, &QDialog::accept);
  }
  auto* layout = new QVBoxLayout(&dlg);
  layout->addWidget(table);
  layout->addWidget(buttons);
  dlg.resize(520, 360);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<int> chosen;
  for (const QModelIndex& i : table->selectionModel()->selectedRows()) chosen.push_back(i.row());
  std::sort(chosen.begin(), chosen.end());
  if (!request.multiple && chosen.size() > 1) chosen.resize(1);
  return chosen;
}

}  // namespace kve::qt
