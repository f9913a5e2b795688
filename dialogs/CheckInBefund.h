// A finding of the check-in program's log about one object, as the list
// "Befunde des Check-Ins" shows it. Texts are UTF-8.
#pragma once

#include <string>

namespace DialogTools {

struct CheckInBefund {
  std::string Kennung;
  std::string Text;
  bool operator==(const CheckInBefund&) const = default;
};

}  // namespace DialogTools
