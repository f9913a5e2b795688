#include "exchange/CheckInLog.h"

#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

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

std::optional<Befund> ParseBefund(std::string_view ansi_line) {
  constexpr std::string_view kObjekt = "objekt";
  std::string_view rest = platform::text::TrimChars(ansi_line, " \t");
  if (rest.size() <= kObjekt.size() ||
      !platform::text::EqualsIgnoreCase(rest.substr(0, kObjekt.size()), kObjekt) ||
      (rest[kObjekt.size()] != ' ' && rest[kObjekt.size()] != '\t')) {
    return std::nullopt;
  }
  rest = platform::text::TrimChars(rest.substr(kObjekt.size()), " \t");
  std::string_view kennung;
  if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
    const size_t close = rest.find(rest.front(), 1);
    if (close == std::string_view::npos) return std::nullopt;
    kennung = rest.substr(1, close - 1);
    rest = platform::text::TrimChars(rest.substr(close + 1), " \t");
    if (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
  } else {
    const size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    kennung = platform::text::TrimChars(rest.substr(0, colon), " \t");
    rest = rest.substr(colon + 1);
  }
  if (kennung.empty()) return std::nullopt;
  return Befund{platform::text::AnsiToUtf8(kennung),
                platform::text::AnsiToUtf8(platform::text::TrimChars(rest, " \t"))};
}

void BefundReader::Feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (c == '\n') {
      if (!after_cr_) EndLine();
      after_cr_ = false;
      continue;
    }
    after_cr_ = c == '\r';
    if (after_cr_) {
      EndLine();
    } else if (line_.size() < kMaxLine) {
      line_.push_back(c);
    }
  }
}

void BefundReader::EndLine() {
  if (std::optional<Befund> befund = ParseBefund(line_)) {
    if (befunde_.size() < kMaxBefunde) {
      befunde_.push_back(std::move(*befund));
    } else {
      truncated_ = true;
    }
  }
  line_.clear();
}

std::vector<Befund> BefundReader::Finish() {
  if (!line_.empty()) EndLine();
  return std::move(befunde_);
}

}  // namespace CheckInLog
