#include "dialogs/CheckInLog.h"

namespace CheckInLog {
namespace {

// What of a word is kept: enough for the longer marker.
constexpr size_t kKept = cSachdatenfehler.size();

bool StartsWith(std::string_view kept, std::string_view marker) {
  return kept.size() >= marker.size() && kept.substr(0, marker.size()) == marker;
}

}  // namespace

void Reader::Feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (success_) return;
    if (c == '\n') {
      // The LF of a CR LF: the CR ended the line already.
      if (!after_cr_) EndLine();
      after_cr_ = false;
      continue;
    }
    after_cr_ = false;
    if (c == '\r') {
      EndLine();
      after_cr_ = true;
      continue;
    }
    line_open_ = true;
    if (c == ' ') {
      in_first_word_ = false;
      last_.clear();
      last_length_ = 0;
      continue;
    }
    if (in_first_word_ && first_.size() < kKept) first_.push_back(c);
    if (last_.size() < kKept) last_.push_back(c);
    ++last_length_;
  }
}

void Reader::EndLine() {
  // W is the first word; a marker replaces it by the last word, and the
  // geometry test looks at W as it then stands. A kept prefix shorter than
  // a marker is a word shorter than it, so comparing prefixes is exact.
  std::string_view w = first_;
  const bool last_is_zero = last_length_ == 1 && last_ == "0";
  if (StartsWith(w, cSachdatenfehler)) {
    w = last_;
    attribute_ok_ = last_is_zero;
  }
  if (StartsWith(w, cGrafikfehler)) {
    w = last_;
    geometry_ok_ = last_is_zero;
  }
  if (attribute_ok_ && geometry_ok_) success_ = true;
  first_.clear();
  in_first_word_ = true;
  last_.clear();
  last_length_ = 0;
  line_open_ = false;
}

bool Reader::Finish() {
  if (!success_ && line_open_) EndLine();
  return success_;
}

bool ReportsNoErrors(std::string_view log) {
  Reader reader;
  reader.Feed(log);
  return reader.Finish();
}

}  // namespace CheckInLog
