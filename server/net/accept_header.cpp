#include "server/net/accept_header.h"

#include "platform/text.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Takes the text up to the next `separator` (or the end) off `*rest`, trimmed.
std::string_view TakePiece(std::string_view* rest, char separator) {
  const size_t end = rest->find(separator);
  const std::string_view piece = rest->substr(0, end);
  *rest = end == std::string_view::npos ? std::string_view() : rest->substr(end + 1);
  return Trimmed(piece);
}

// True for the parameter "q=0" (or "q=0.000"): the client refuses the type.
bool Refuses(std::string_view parameter) {
  const std::string_view name = TakePiece(&parameter, '=');
  const std::string_view value = Trimmed(parameter);
  return platform::EqualsIgnoreCase(name, "q") && !value.empty() &&
         value.find_first_not_of("0.") == std::string_view::npos;
}

}  // namespace

bool AcceptNamesType(std::string_view accept, std::string_view type) {
  while (!accept.empty()) {
    std::string_view element = TakePiece(&accept, ',');
    if (!platform::EqualsIgnoreCase(TakePiece(&element, ';'), type)) continue;
    bool refused = false;
    while (!element.empty()) refused = Refuses(TakePiece(&element, ';')) || refused;
    if (!refused) return true;
  }
  return false;
}
