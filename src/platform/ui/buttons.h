#pragma once
// Buttons and indicators: radio button, check box, push button, speed button, progress bar.

#include "platform/ui/control.h"

namespace kve {

// Radio buttons of the same parent form one group: checking one unchecks the others. OnClick
// runs whenever the button becomes checked, by the operator or by the program; checking a
// checked button does nothing.
class TRadioButton : public TControl {
 public:
  using TControl::TControl;
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void Click() override { SetChecked(true); }

 protected:
  bool IsFocusable() const override { return true; }

 private:
  bool checked_ = false;
};

// OnClick runs whenever the checked state changes, by the operator or by the program.
class TCheckBox : public TControl {
 public:
  using TControl::TControl;
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void Click() override { SetChecked(!checked_); }

 protected:
  bool IsFocusable() const override { return true; }

 private:
  bool checked_ = false;
};

// A push button: takes the focus, so clicking it runs the exit event of the focused field.
class TButton : public TControl {
 public:
  using TControl::TControl;
  void Click() override { RunOnClick(); }

 protected:
  bool IsFocusable() const override { return true; }
};

// A tool button: never takes the focus, so clicking it leaves the focused field as it is
// (its exit event does not run).
class TSpeedButton : public TControl {
 public:
  TSpeedButton(TContainer* parent, std::string name);
  void Click() override { RunOnClick(); }
};

class TProgressBar : public TControl {
 public:
  using TControl::TControl;
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int min, int max);  // REQUIRES: min <= max
  int Position() const { return position_; }
  void SetPosition(int p);           // held inside [Min, Max]
  int Step() const { return step_; }
  void SetStep(int s) { step_ = s; }
  void StepIt() { SetPosition(position_ + step_); }

 private:
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  int step_ = 1;
};

}  // namespace kve
