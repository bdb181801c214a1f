#pragma once
// The widgets of the view: Qt controls that report what the operator does to the view instead
// of changing their own state. A radio button or check box does not check itself; an edit does
// not edit its text; both wait for the model to say what they show.

#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPalette>
#include <QRadioButton>
#include <QToolButton>

#include "platform/maker/date_edit.h"
#include "platform/ui/buttons.h"
#include "platform/ui/edits.h"

namespace kve::qt {

class ExpDadosView;

// A colour of the platform as Qt shows it; system colours take the palette's matching role.
QColor ToQColor(TColor c, const QPalette& palette);

class EditWidget final : public QLineEdit {
 public:
  EditWidget(ExpDadosView& view, TCustomEdit& edit, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;

 private:
  ExpDadosView& view_;
  TCustomEdit& edit_;
};

class RadioWidget final : public QRadioButton {
 public:
  RadioWidget(ExpDadosView& view, TControl& control, QWidget* parent);

 protected:
  void nextCheckState() override {}  // the model checks it
  void focusInEvent(QFocusEvent* e) override;

 private:
  ExpDadosView& view_;
  TControl& control_;
};

class CheckWidget final : public QCheckBox {
 public:
  CheckWidget(ExpDadosView& view, TControl& control, QWidget* parent);

 protected:
  void nextCheckState() override {}
  void focusInEvent(QFocusEvent* e) override;

 private:
  ExpDadosView& view_;
  TControl& control_;
};

// A tool button that never takes the focus, as the platform's speed buttons.
class SpeedWidget final : public QToolButton {
 public:
  SpeedWidget(ExpDadosView& view, TControl& control, QWidget* parent);
};

// The calendar button of a date edit: a pop-up month whose pick goes to the model as a date.
class CalendarButton final : public QToolButton {
 public:
  CalendarButton(ExpDadosView& view, TDateEditPlus& edit, QWidget* parent);
  // Opens the month under the date's own edit: on the date shown, or today for none.
  void Popup();

 private:
  ExpDadosView& view_;
  TDateEditPlus& edit_;
};

}  // namespace kve::qt
