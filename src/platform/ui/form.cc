#include "platform/ui/form.h"

#include <exception>

#include "platform/common/error.h"
#include "platform/ui/edits.h"

namespace kve {
namespace {

// Containers from the form down to `c`'s parent, outermost first (the form excluded).
std::vector<TContainer*> ContainersOf(const TControl* c) {
  std::vector<TContainer*> out;
  if (!c) return out;
  for (TContainer* p = c->Parent(); p && p->Parent(); p = p->Parent()) out.insert(out.begin(), p);
  return out;
}

void CollectTabList(const TContainer& box, std::vector<TControl*>& out) {
  for (TControl* c : box.Controls()) {
    if (!c->Usable()) continue;
    if (auto* inner = dynamic_cast<TContainer*>(c)) {
      CollectTabList(*inner, out);
    } else if (c->CanFocus() && c->TabStop()) {
      out.push_back(c);
    }
  }
}

// Clears the moving flag however the move ends.
struct MoveScope {
  bool& moving;
  bool& redirected;
  MoveScope(bool& m, bool& r) : moving(m), redirected(r) {
    moving = true;
    redirected = false;
  }
  ~MoveScope() { moving = false; }
};

}  // namespace

TForm::TForm(std::string name, Dialogs& dialogs) : TContainer(nullptr, std::move(name)), dialogs_(dialogs) {
  SetColor(clBtnFace);
}

TForm::~TForm() = default;

void TForm::Forget(TControl* c) {
  if (focused_ == c) focused_ = nullptr;
}

void TForm::NotifyChanged(TControl& c) {
  if (observer_) observer_->ControlChanged(c);
}

void TForm::FocusControl(TControl* target) {
  if (target == focused_) return;
  if (target && (target->Form() != this || !target->CanFocus())) {
    throw Error(target->Name() + ": cannot take the focus (disabled, hidden or not focusable)");
  }
  if (moving_) {
    // An exit or enter event moves the focus itself: it takes the focus at once, and the
    // move that ran that event stops where it is.
    focused_ = target;
    redirected_ = true;
    if (auto* e = dynamic_cast<TCustomEdit*>(target); e && e->AutoSelect()) e->SelectAll();
    if (observer_) observer_->FocusChanged(focused_);
    return;
  }
  MoveScope scope(moving_, redirected_);
  TControl* old = focused_;
  if (old) {
    try {
      if (old->OnExit) old->OnExit();
      if (redirected_) return;
      auto boxes = ContainersOf(old);
      for (auto it = boxes.rbegin(); it != boxes.rend(); ++it) {
        if (target && (*it)->Contains(target)) break;
        if ((*it)->OnExit) (*it)->OnExit();
        if (redirected_) return;
      }
    } catch (...) {
      // The edit refused to be left keeps the focus with its text selected, as when the
      // focus comes to it: what the operator types next replaces the value it refused.
      if (!redirected_ && focused_ == old) {
        if (auto* e = dynamic_cast<TCustomEdit*>(old); e && e->AutoSelect()) e->SelectAll();
        if (observer_) observer_->FocusChanged(focused_);
      }
      throw;
    }
  }
  focused_ = target;
  if (auto* e = dynamic_cast<TCustomEdit*>(target); e && e->AutoSelect()) e->SelectAll();
  if (observer_) observer_->FocusChanged(focused_);
  if (!target) return;
  for (TContainer* box : ContainersOf(target)) {
    if (old && box->Contains(old)) continue;
    if (box->OnEnter) box->OnEnter();
    if (redirected_) return;
  }
  if (target->OnEnter) target->OnEnter();
}

std::vector<TControl*> TForm::TabList() const {
  std::vector<TControl*> out;
  CollectTabList(*this, out);
  return out;
}

bool TForm::RunEvent(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& e) {
    ShowError(e);
    return false;
  }
}

void TForm::ShowError(const std::exception& e) { dialogs_.ErrorBox(e.what()); }

bool TForm::UserFocus(TControl& c) {
  return RunEvent([&] { FocusControl(&c); });
}

bool TForm::UserTab() {
  return RunEvent([&] {
    auto list = TabList();
    if (list.empty()) return;
    size_t next = 0;
    for (size_t i = 0; i < list.size(); ++i) {
      if (list[i] == focused_) next = (i + 1) % list.size();
    }
    FocusControl(list[next]);
  });
}

bool TForm::UserClick(TControl& c) {
  return RunEvent([&] {
    if (!c.Usable()) return;  // a disabled control does not react
    if (c.CanFocus()) {
      FocusControl(&c);
      if (focused_ != &c) return;  // an event took the focus elsewhere
    }
    c.Click();
  });
}

bool TForm::UserType(TCustomEdit& e, std::string_view text) {
  return RunEvent([&] {
    FocusControl(&e);
    if (focused_ != &e) return;
    for (std::string_view ch : SplitChars(text)) {
      e.KeyPress(ch);
      if (focused_ != &e) return;  // a key event moved the focus away
    }
  });
}

bool TForm::UserKey(TCustomEdit& e, char key) {
  return RunEvent([&] {
    FocusControl(&e);
    if (focused_ == &e) e.KeyPress(std::string_view(&key, 1));
  });
}

bool TForm::UserSpin(TSpinEdit& e, int steps) {
  return RunEvent([&] {
    if (!e.Usable()) return;
    FocusControl(&e);
    if (focused_ == &e) e.Spin(steps);
  });
}

void TForm::Show() {
  if (!showing_) {
    showing_ = true;
    Changed();
  }
  if (OnActivate) OnActivate();
}

void TForm::SetWindowState(TWindowState s) {
  if (s == windowState_) return;
  windowState_ = s;
  Changed();
}

void TForm::Close() {
  if (OnClose) OnClose();
  showing_ = false;
  Changed();
}

void TForm::Repaint() {
  ++repaints_;
  Changed();
}

void TForm::BringToFront() {
  ++fronts_;
  Changed();
}

}  // namespace kve
