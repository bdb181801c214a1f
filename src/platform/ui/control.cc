#include "platform/ui/control.h"

#include <algorithm>

#include "platform/common/error.h"
#include "platform/ui/form.h"

namespace kve {

TControl::TControl(TContainer* parent, std::string name) : parent_(parent), name_(std::move(name)) {
  if (parent_) parent_->children_.push_back(this);
}

TControl::~TControl() {
  if (TForm* f = Form(); f && f != this) f->Forget(this);
  if (parent_) {
    auto& v = parent_->children_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

TForm* TControl::Form() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::Changed() {
  if (TForm* f = Form()) f->NotifyChanged(*this);
}

void TControl::SetCaption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  Changed();
}

void TControl::SetHint(std::string hint) {
  if (hint == hint_) return;
  hint_ = std::move(hint);
  Changed();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed();
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TControl::SetTabStop(bool tabStop) {
  if (tabStop == tabStop_) return;
  tabStop_ = tabStop;
  Changed();
}

int TControl::TabOrder() const {
  if (!parent_) return 0;
  const auto& v = parent_->children_;
  return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TControl::SetTabOrder(int order) {
  if (!parent_) return;
  auto& v = parent_->children_;
  v.erase(std::find(v.begin(), v.end(), this));
  order = std::clamp(order, 0, static_cast<int>(v.size()));
  v.insert(v.begin() + order, this);
  Changed();
}

bool TControl::Usable() const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (!c->enabled_ || !c->visible_) return false;
  }
  return true;
}

bool TControl::Focused() const {
  TForm* f = Form();
  return f && f->ActiveControl() == this;
}

void TControl::SetFocus() {
  TForm* f = Form();
  if (!f) throw Error(name_ + ": cannot take the focus outside a form");
  f->FocusControl(this);
}

void TControl::Click() { RunOnClick(); }

TContainer::~TContainer() {
  // Children normally go first (declared after their container); any left over are cut loose
  // so that they do not reach back into a destroyed container.
  for (TControl* c : children_) c->parent_ = nullptr;
}

bool TContainer::Contains(const TControl* c) const {
  for (; c; c = c->Parent()) {
    if (c == this) return true;
  }
  return false;
}

}  // namespace kve
