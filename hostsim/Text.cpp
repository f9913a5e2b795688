// Case and blank handling of the host stand-in's names (see Text.h).
#include "hostsim/Text.h"

#include <cctype>

namespace hostsim {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view text, std::string_view blanks) {
  size_t b = text.find_first_not_of(blanks);
  if (b == std::string_view::npos) return "";
  size_t e = text.find_last_not_of(blanks);
  return std::string(text.substr(b, e - b + 1));
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() > suffix.size() &&
         Lower(text.substr(text.size() - suffix.size())) == Lower(suffix);
}

}  // namespace hostsim
