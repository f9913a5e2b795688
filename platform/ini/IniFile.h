// Windows ini files (applicat.ini, KTProjekt.ktp, the transaction info file)
// with the semantics of the Windows profile functions, as TIniFile offers
// them: sections and keys are found without regard to case, values are
// trimmed (and one pair of enclosing quotes removed), the first of duplicate
// keys counts, integers are decimal text and booleans "1"/"0".
//
// The file holds Windows-1252 text; this class takes and gives UTF-8, and
// characters the code page cannot hold are written as '?'. Every read reads
// the file afresh, so changes by the host show at once. A write changes only
// the line of its key (or adds one line, or a section at the end): other
// sections, keys, their order, comments and unknown lines stay byte for byte.
// The file is created on the first write and replaced atomically.
//
// A file that cannot be read (missing, a folder, unreadable, garbage) gives
// the defaults; LastError() then tells why when there was a reason besides
// the file being missing. A write to a file that cannot be read or written
// throws platform::files::FileError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini/FileUpdate.h"

namespace platform::ini {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& FileName() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view default_value) const;
  // A value that is no whole number (see text::StrToInt) gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view ident,
                      int32_t default_value) const;
  // Read as an integer: anything but 0 is true.
  bool ReadBool(std::string_view section, std::string_view ident, bool default_value) const;

  // Line breaks in a value are written as blanks: they would split the line.
  // Throws std::invalid_argument for a section or key name that the file
  // could not hold (empty, line breaks, "]" in a section, "=" in a key).
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view ident, int32_t value);
  void WriteBool(std::string_view section, std::string_view ident, bool value);

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  // Section names, in file order.
  std::vector<std::string> ReadSections() const;
  // Key names of a section, in file order.
  std::vector<std::string> ReadSection(std::string_view section) const;

  // Removes the key's line; nothing happens when it is missing.
  void DeleteKey(std::string_view section, std::string_view ident);
  // Removes the section with all its lines.
  void EraseSection(std::string_view section);

  // Why the last read found no usable file; empty after a good read or when
  // the file simply does not exist yet.
  const std::string& LastError() const { return last_error_; }

 private:
  std::string LoadText() const;

  std::string path_;
  mutable std::string last_error_;
};

}  // namespace platform::ini
