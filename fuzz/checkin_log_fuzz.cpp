// The check-in log reader against a plain reading of the same rules: the
// whole text split into lines, each line's first and last word taken by
// searching for blanks. The reader keeps only a few bytes of each line and
// must reach the same verdict whatever the text and however it is cut into
// pieces (the first input byte chooses the piece size). The reader of
// findings about objects must find, line by line, what the parser of a
// single line finds, within its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/CheckInLog.h"

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool PlainVerdict(std::string_view text) {
  bool attribute = false;
  bool geometry = false;
  for (std::string_view line : Lines(text)) {
    const size_t first_blank = line.find(' ');
    const size_t last_blank = line.rfind(' ');
    std::string_view w = line.substr(0, first_blank);
    const std::string_view last =
        last_blank == std::string_view::npos ? line : line.substr(last_blank + 1);
    if (w.substr(0, 15) == CheckInLog::cSachdatenfehler) {
      w = last;
      attribute = w == "0";
    }
    if (w.substr(0, 12) == CheckInLog::cGrafikfehler) {
      w = last;
      geometry = w == "0";
    }
    if (attribute && geometry) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 17;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckInLog::Reader reader;
  for (size_t at = 0; at < text.size(); at += piece) reader.Feed(text.substr(at, piece));
  const bool pieces = reader.Finish();
  if (pieces != PlainVerdict(text) || pieces != CheckInLog::ReportsNoErrors(text)) std::abort();

  CheckInLog::BefundReader befund_reader;
  for (size_t at = 0; at < text.size(); at += piece) befund_reader.Feed(text.substr(at, piece));
  const std::vector<CheckInLog::Befund> befunde = befund_reader.Finish();
  std::vector<CheckInLog::Befund> expected;
  for (std::string_view line : Lines(text)) {
    line = line.substr(0, CheckInLog::BefundReader::kMaxLine);
    if (auto befund = CheckInLog::ParseBefund(line)) expected.push_back(*befund);
  }
  if (befunde != expected) std::abort();
  return 0;
}
