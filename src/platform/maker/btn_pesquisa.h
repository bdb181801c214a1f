#pragma once
// The look-up button (TBtnPesquisa): a tool button that lists the rows of its data source and
// hands the operator's pick to its after event.

#include <string>

#include "platform/dataset/dataset.h"
#include "platform/maker/pesquisa_lista.h"
#include "platform/ui/buttons.h"

namespace kve {

class TBtnPesquisa : public TSpeedButton {
 public:
  TBtnPesquisa(TContainer* parent, std::string name);

  const std::string& Title() const { return title_; }
  void SetTitle(std::string t) { title_ = std::move(t); }
  // Shown instead of the list when the data source has no rows.
  const std::string& EmptyError() const { return emptyError_; }
  void SetEmptyError(std::string t) { emptyError_ = std::move(t); }
  // The rows listed; null for a button whose click is its OnClick alone.
  TClientDataSet* DataSource() const { return source_; }
  void SetDataSource(TClientDataSet* ds) { source_ = ds; }
  const PickColumns& Columns() const { return columns_; }
  void SetColumns(PickColumns c) { columns_ = std::move(c); }
  // The field the button fills; a view may place the button beside it. Nothing more.
  TControl* Associate() const { return associate_; }
  void SetAssociate(TControl* c) { associate_ = c; }

  // With a data source: OnBeforePesq (which prepares the rows), then the list titled Title
  // (or the EmptyError text in an information box when there are no rows), then, when the
  // operator picks a row, OnAfterPesq with the data source's cursor on that row. Without a
  // data source: OnClick. Needs the button to be on a form (for its dialogs).
  void Click() override;

  TNotifyEvent OnBeforePesq;
  TNotifyEvent OnAfterPesq;

 private:
  std::string title_;
  std::string emptyError_;
  TClientDataSet* source_ = nullptr;
  PickColumns columns_;
  TControl* associate_ = nullptr;
};

}  // namespace kve
