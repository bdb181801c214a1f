#include "support/scripted_dialogs.h"

#include "platform/common/error.h"

namespace kve {
namespace {

bool ResultOffered(int result, TMsgDlgButtons buttons) {
  for (int b = 0; b <= static_cast<int>(TMsgDlgBtn::mbHelp); ++b) {
    auto btn = static_cast<TMsgDlgBtn>(b);
    if (HasButton(buttons, btn) && ModalResultOf(btn) == result) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> ScriptedDialogs::Errors() const {
  std::vector<std::string> out;
  for (const auto& d : shown_) {
    if (d.kind == ShownDialog::Kind::Error) out.push_back(d.text);
  }
  return out;
}

std::vector<std::string> ScriptedDialogs::Texts() const {
  std::vector<std::string> out;
  for (const auto& d : shown_) out.push_back(d.text);
  return out;
}

void ScriptedDialogs::Clear() {
  shown_.clear();
  answers_.clear();
  picks_.clear();
}

int ScriptedDialogs::MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) {
  ShownDialog d;
  d.kind = ShownDialog::Kind::Message;
  d.text = std::string(text);
  d.type = kind;
  d.buttons = buttons;
  if (!answers_.empty()) {
    d.answer = answers_.front();
    answers_.pop_front();
  } else if (buttons == mbOKOnly) {
    d.answer = mrOk;
  } else {
    shown_.push_back(d);
    throw Error("unexpected question, no answer scripted: " + d.text);
  }
  shown_.push_back(d);
  if (!ResultOffered(d.answer, buttons)) {
    throw Error("scripted answer " + std::to_string(d.answer) + " is not a button of: " + d.text);
  }
  return d.answer;
}

int ScriptedDialogs::Alert(std::string_view text, TMsgDlgType kind,
                           const std::vector<std::string>& captions,
                           const std::vector<int>& settings) {
  ShownDialog d;
  d.kind = ShownDialog::Kind::Alert;
  d.text = std::string(text);
  d.type = kind;
  d.captions = captions;
  d.settings = settings;
  if (!answers_.empty()) {
    d.answer = answers_.front();
    answers_.pop_front();
  } else if (captions.size() == 1) {
    d.answer = 0;
  } else {
    shown_.push_back(d);
    throw Error("unexpected alert, no answer scripted: " + d.text);
  }
  shown_.push_back(d);
  if (d.answer < 0 || d.answer >= static_cast<int>(captions.size())) {
    throw Error("scripted answer " + std::to_string(d.answer) + " is not a button of: " + d.text);
  }
  return d.answer;
}

void ScriptedDialogs::ErrorBox(std::string_view text) {
  ShownDialog d;
  d.kind = ShownDialog::Kind::Error;
  d.text = std::string(text);
  d.type = TMsgDlgType::mtError;
  shown_.push_back(std::move(d));
}

std::optional<std::vector<int>> ScriptedDialogs::PickList(const PickRequest& request) {
  ShownDialog d;
  d.kind = ShownDialog::Kind::Pick;
  d.text = request.title;
  d.captions = request.columns;
  d.pick = request;
  if (picks_.empty()) {
    shown_.push_back(d);
    throw Error("unexpected pick list, no choice scripted: " + request.title);
  }
  std::optional<std::vector<int>> choice = picks_.front();
  picks_.pop_front();
  if (choice) {
    for (int r : *choice) {
      if (r < 0 || r >= static_cast<int>(request.rows.size())) {
        shown_.push_back(d);
        throw Error("scripted pick " + std::to_string(r) + " is not a row of: " + request.title);
      }
    }
    if (!request.multiple && choice->size() > 1) {
      shown_.push_back(d);
      throw Error("several rows scripted for a single-choice list: " + request.title);
    }
    d.picked = *choice;
    d.answer = 0;
  }
  shown_.push_back(std::move(d));
  return choice;
}

}  // namespace kve
