// The log the check-in program leaves next to the package, read the way the
// check-in (VandraCheckIn) judges a run. A line counts when its first word
// begins with "Sachdatenfehler" or "Grafikfehler"; the word after the line's
// last blank is the count, and only "0" means none. Each counting line
// overwrites its flag, and the run succeeded as soon as both flags are set
// together.
//
// The log is the program's, not ours: it may be empty, binary, without line
// ends or hundreds of megabytes long. The reader therefore keeps of a line
// only what the verdict needs (the start of its first word, the start and
// length of its last), so it reads any log in a few bytes of memory. Lines
// end at CR LF, LF or a lone CR; a blank is the space character only.
// Comparisons are of bytes: the markers are ASCII, which the ANSI code page
// the program writes in shares.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/CheckInBefund.h"

namespace CheckInLog {

inline constexpr std::string_view cSachdatenfehler = "Sachdatenfehler";
inline constexpr std::string_view cGrafikfehler = "Grafikfehler";

class Reader {
 public:
  // Reads the next piece of the log; a line may span pieces.
  void Feed(std::string_view bytes);
  // The end of the log: the last line counts even without a line end.
  // Answers the verdict.
  bool Finish();
  // True once both flags were set together: the rest of the log cannot
  // change the verdict.
  bool Decided() const { return success_; }

 private:
  void EndLine();

  // The first word's first bytes, as many as the longer marker has.
  std::string first_;
  bool in_first_word_ = true;
  // The text after the line's last blank so far: its first bytes and its length.
  std::string last_;
  size_t last_length_ = 0;
  bool after_cr_ = false;
  bool line_open_ = false;
  bool attribute_ok_ = false;
  bool geometry_ok_ = false;
  bool success_ = false;
};

// The verdict on a whole log text.
bool ReportsNoErrors(std::string_view log);

// ---- Findings about objects ---------------------------------------------------

// A line of the log about one object: "Objekt <identifier>: <text>". The
// reader is tolerant, since the log is another program's: leading blanks and
// tabs, any letter case of "Objekt", the identifier in double or single
// quotes or up to the first colon, blanks around it. Texts are UTF-8.
using Befund = DialogTools::CheckInBefund;

// The finding of one line (without its line end, in the ANSI code page);
// nothing when the line names no object.
std::optional<Befund> ParseBefund(std::string_view ansi_line);

// Collects the findings about objects from a log read piece by piece. A line
// is kept only up to kMaxLine bytes and at most kMaxBefunde findings are
// kept, so any log is read in bounded memory; Truncated() tells when
// findings were left out.
class BefundReader {
 public:
  static constexpr size_t kMaxLine = 4096;
  static constexpr size_t kMaxBefunde = 10000;

  void Feed(std::string_view bytes);
  // The end of the log; answers the findings in log order.
  std::vector<Befund> Finish();
  bool Truncated() const { return truncated_; }

 private:
  void EndLine();

  std::string line_;
  bool after_cr_ = false;
  bool truncated_ = false;
  std::vector<Befund> befunde_;
};

}  // namespace CheckInLog
