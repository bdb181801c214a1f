#include "batch/terminal_dialogs.h"

#include <algorithm>

namespace kve::batch {
namespace {

std::string_view Label(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::mtWarning: return "warning";
    case TMsgDlgType::mtError: return "error";
    case TMsgDlgType::mtInformation: return "information";
    case TMsgDlgType::mtConfirmation: return "question";
    case TMsgDlgType::mtCustom: break;
  }
  return "message";
}

std::string Trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

}  // namespace

TerminalDialogs::TerminalDialogs(std::ostream& out, bool yes, std::vector<std::string> picks)
    : out_(out), yes_(yes), picks_(std::move(picks)) {}

void TerminalDialogs::Print(std::string_view label, std::string_view text) {
  messages_.emplace_back(text);
  out_ << label << ": " << text << '\n' << std::flush;
}

int TerminalDialogs::MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) {
  if (HasButton(buttons, TMsgDlgBtn::mbYes) && HasButton(buttons, TMsgDlgBtn::mbNo)) {
    messages_.emplace_back(text);
    out_ << Label(kind) << ": " << text << "\n  -> " << (yes_ ? "Yes" : "No (--yes answers Yes)")
         << '\n' << std::flush;
    answeredNo_ = answeredNo_ || !yes_;
    return yes_ ? mrYes : mrNo;
  }
  Print(Label(kind), text);
  // Acknowledge with the button an operator would press to go on.
  for (TMsgDlgBtn b : {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbYes, TMsgDlgBtn::mbIgnore}) {
    if (HasButton(buttons, b)) return ModalResultOf(b);
  }
  for (int b = 0; b <= static_cast<int>(TMsgDlgBtn::mbHelp); ++b) {
    if (HasButton(buttons, static_cast<TMsgDlgBtn>(b))) return ModalResultOf(static_cast<TMsgDlgBtn>(b));
  }
  return mrNone;
}

int TerminalDialogs::Alert(std::string_view text, TMsgDlgType kind, const std::vector<std::string>&,
                           const std::vector<int>&) {
  Print(Label(kind), text);
  closing_ = std::string(text);
  return 0;
}

void TerminalDialogs::ErrorBox(std::string_view text) { Print("error", text); }

std::optional<std::vector<int>> TerminalDialogs::PickList(const PickRequest& request) {
  std::vector<std::string> offered;
  for (const auto& row : request.rows) offered.push_back(row.empty() ? "" : Trimmed(row[0]));
  out_ << "list: " << request.title << ": " << Joined(offered) << '\n';
  std::vector<int> chosen;
  std::vector<std::string> missing;
  for (const std::string& code : picks_) {
    auto it = std::find(offered.begin(), offered.end(), code);
    if (it == offered.end()) {
      missing.push_back(code);
    } else if (std::find(chosen.begin(), chosen.end(), it - offered.begin()) == chosen.end()) {
      chosen.push_back(static_cast<int>(it - offered.begin()));
    }
  }
  if (picks_.empty() || !missing.empty() || (!request.multiple && chosen.size() > 1)) {
    pickProblem_ = picks_.empty() ? "nothing to choose in \"" + request.title + "\""
                   : !missing.empty()
                       ? Joined(missing) + (missing.size() == 1 ? " is" : " are") +
                             " not in the list \"" + request.title + "\" (" + Joined(offered) + ")"
                       : "the list \"" + request.title + "\" takes one row only";
    out_ << "  -> cancelled: " << pickProblem_ << '\n' << std::flush;
    return std::nullopt;
  }
  std::sort(chosen.begin(), chosen.end());
  std::vector<std::string> names;
  for (int i : chosen) names.push_back(offered[i]);
  out_ << "  -> " << Joined(names) << '\n' << std::flush;
  return chosen;
}

}  // namespace kve::batch
