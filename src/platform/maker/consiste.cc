#include "platform/maker/consiste.h"

#include "platform/common/error.h"

namespace kve::Consiste {

void MensErro(Dialogs& dialogs, std::string_view text, bool abort) {
  dialogs.ErrorBox(text);
  if (abort) throw EAbort();
}

bool EmptyString(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return true;
  // The picture an empty date edit shows: slashes stand in their places, nothing typed.
  return text == "  /  /    ";
}

std::string Ajusta(std::string_view code, int width) {
  size_t b = code.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = code.find_last_not_of(' ');
  std::string_view t = code.substr(b, e - b + 1);
  if (static_cast<int>(t.size()) >= width) return std::string(t);
  return std::string(width - t.size(), '0') + std::string(t);
}

}  // namespace kve::Consiste
