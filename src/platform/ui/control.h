#pragma once
// Model of the form framework's controls: plain objects holding what the screen reads and
// writes (text, enabled, colour, checked, caption, keyboard order) and the events it handles.
// A view (the Qt window, the batch driver) mirrors them; tests drive them as an operator would
// through TForm's User* actions.
//
// Controls do not own each other. A screen declares its controls as members, every container
// before what it contains (a control needs its parent when it is built and leaves it when it
// is destroyed).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kve {

class TForm;
class TContainer;

// Colours as the platform numbers them; system colours carry the high byte 0xFF.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0xFF0000;  // stored as 0x00BBGGRR
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clWindow = 0xFF000005;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clInfoBk = 0xFF000018;

using TNotifyEvent = std::function<void()>;
// A key typed by the operator; the handler may replace it, or drop it by setting it to 0.
using TKeyPressEvent = std::function<void(char& key)>;

class TControl {
 public:
  // `parent` is null only for a form.
  TControl(TContainer* parent, std::string name);
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  const std::string& Name() const { return name_; }
  TContainer* Parent() const { return parent_; }
  TForm* Form() const;  // the form at the root; null for a control outside any form

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool tabStop);
  // Position among the parent's controls in keyboard order (0 first).
  int TabOrder() const;
  void SetTabOrder(int order);

  // Enabled and visible, and so is every container up to the form.
  bool Usable() const;
  // A kind of control that takes the focus (not a label, panel or speed button), usable.
  bool CanFocus() const { return IsFocusable() && Usable(); }
  bool Focused() const;
  // Moves the form's focus here: see TForm::FocusControl. Raises Error when the control
  // cannot take the focus, and whatever the exit event of the focused control raises.
  void SetFocus();

  // What an operator's click does to this control (a radio button becomes checked, a check
  // box toggles, a button runs OnClick). TForm::UserClick moves the focus first.
  virtual void Click();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnClick;

 protected:
  virtual bool IsFocusable() const { return false; }
  // Tells the form's observer (a view) that a property changed.
  void Changed();
  void RunOnClick() {
    if (OnClick) OnClick();
  }

 private:
  friend class TContainer;
  TContainer* parent_;
  std::string name_;
  std::string caption_;
  std::string hint_;
  bool enabled_ = true;
  bool visible_ = true;
  bool tabStop_ = true;
  TColor color_ = clWindow;
};

// A control that holds others: group box, panel, and the form itself. The children list is
// kept in keyboard order.
class TContainer : public TControl {
 public:
  using TControl::TControl;
  ~TContainer() override;
  const std::vector<TControl*>& Controls() const { return children_; }
  // Whether `c` is this container or lies somewhere inside it.
  bool Contains(const TControl* c) const;

 private:
  friend class TControl;
  std::vector<TControl*> children_;
};

class TGroupBox : public TContainer {
 public:
  using TContainer::TContainer;
};

class TPanel : public TContainer {
 public:
  using TContainer::TContainer;
};

class TLabel : public TControl {
 public:
  using TControl::TControl;
};

}  // namespace kve
