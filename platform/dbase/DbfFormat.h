// The dBase III/IV file format as bytes, without any I/O: the table header
// and its field descriptors, field values in records, the blocks of a .dbt
// memo file, and the undo block this driver saves behind the end-of-file
// mark while it rewrites records in place. The table layer (DbfFile.h) reads
// and writes the bytes; everything here works on buffers it is handed, so it
// can be tested and fuzzed on its own.
//
// Every error is a DbaseError whose text names the file and, where there is
// one, the record (counted from 1) and the field, as the caller's Where says:
// "<file>, Datensatz 3, Feld PHOTOID: <what is wrong>." The mapper reads it
// inside a message, so it is German.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::dbase {

class DbaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The table's field layout no longer matches the one it was opened with:
// another process recreated the file. The handle must be opened anew.
class StructureChanged : public DbaseError {
 public:
  using DbaseError::DbaseError;
};

// The file went away (deleted or renamed by another process).
class FileGone : public DbaseError {
 public:
  using DbaseError::DbaseError;
};

// Which dBase a new table is written as: the version byte (0x03 without
// memo fields; 0x83 or 0x8B with them) and the layout of the .dbt.
enum class Flavor { kDBase3, kDBase4 };

struct FieldSpec {
  std::string name;  // at most 10 characters: letters, digits, '_', a letter first
  char type = 'C';   // C, N, F, D, L or M
  int length = 0;    // ignored for D (8), L (1) and M (10)
  int decimals = 0;  // N and F only
};

struct Field {
  std::string name;  // upper case as stored
  char type = 'C';
  int length = 0;
  int decimals = 0;
  int offset = 0;  // from the start of the record, deletion flag included
};

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
  bool operator==(const Date&) const = default;
};

bool IsValidDate(int year, int month, int day);

// One field value as the codec reads and writes it.
struct Cell {
  enum class Kind { kNull, kInteger, kReal, kText, kDate, kLogical };
  Kind kind = Kind::kNull;
  int64_t integer = 0;  // kInteger; kLogical as 0 or 1
  double real = 0;      // kReal
  std::string text;     // kText, UTF-8
  Date date;            // kDate

  static Cell Null() { return {}; }
  static Cell Integer(int64_t v) {
    Cell c;
    c.kind = Kind::kInteger;
    c.integer = v;
    return c;
  }
  static Cell Real(double v) {
    Cell c;
    c.kind = Kind::kReal;
    c.real = v;
    return c;
  }
  static Cell Text(std::string v) {
    Cell c;
    c.kind = Kind::kText;
    c.text = std::move(v);
    return c;
  }
  static Cell MakeDate(Date d) {
    Cell c;
    c.kind = Kind::kDate;
    c.date = d;
    return c;
  }
  static Cell Logical(bool v) {
    Cell c;
    c.kind = Kind::kLogical;
    c.integer = v ? 1 : 0;
    return c;
  }
};

namespace format {

inline constexpr unsigned char kHeaderEnd = 0x0D;
inline constexpr unsigned char kEofMark = 0x1A;
inline constexpr unsigned char kMemoEnd3 = 0x1A;
inline constexpr unsigned char kMemoEnd4 = 0x1F;
// The header's bytes 16 to 27 are reserved for multi-user dBase; this
// driver keeps a change count in 16-19 and the place of an undo block in
// 20-23. Byte 14 is dBase IV's "incomplete transaction" flag.
inline constexpr int kChangeCountOffset = 16;
inline constexpr int kIncompleteFlagAt = 14;
inline constexpr int kUndoOffsetAt = 20;
inline constexpr int kUndoFlagBytes = kUndoOffsetAt + 4 - kIncompleteFlagAt;
inline constexpr uint32_t kMaxRecordLength = 65535;
inline constexpr uint64_t kMaxMemo = 16u << 20;  // longer memos are taken for garbled files

uint32_t Le32(const unsigned char* p);
uint16_t Le16(const unsigned char* p);
void PutLe32(unsigned char* p, uint32_t v);
void PutLe16(unsigned char* p, uint32_t v);
// "0x1A"
std::string Hex(unsigned v);
// Printable ASCII as it is, other bytes as \xHH.
std::string Printable(std::string_view raw);

// Where an error lies: the file, and the record (from 0) and field when
// there is one. Only turned into text when an error is thrown.
struct Where {
  const std::string& file;
  int64_t record = -1;
  const Field* field = nullptr;
  std::string Text() const;  // "<file>, Datensatz <n>, Feld <name>"
};

// Throws the DbaseError "<where>: <what>.", `what` being a German sentence
// without its full stop.
[[noreturn]] void Throw(const Where& where, const std::string& what);

// What a record number that names no record is told.
inline constexpr const char* kNoSuchRecord = "Diesen Datensatz gibt es nicht";

// "C(12)", "N(8,2)"
std::string FieldTypeText(const Field& f);

// The first 32 bytes of a .dbf.
struct Header {
  unsigned char bytes[32] = {};
  uint8_t version() const { return bytes[0]; }
  uint32_t count() const { return Le32(bytes + 4); }
  uint32_t header_length() const { return Le16(bytes + 8); }
  uint32_t record_length() const { return Le16(bytes + 10); }
  uint32_t changes() const { return Le32(bytes + kChangeCountOffset); }
  bool incomplete() const { return bytes[kIncompleteFlagAt] != 0; }
  uint32_t undo_offset() const { return Le32(bytes + kUndoOffsetAt); }
};

// Checks the first 32 bytes against the file's size; returns the header
// length the descriptors need. Throws DbaseError naming `file`.
uint32_t CheckHeader(const std::string& file, const Header& h, uint64_t file_size);

// Reads the field descriptors from the whole header (header_length bytes)
// and checks them against the record length, the version byte and the
// file's size (the counted records must fit).
std::vector<Field> ParseFields(const std::string& file, const Header& h,
                               const std::vector<unsigned char>& header_bytes, uint64_t file_size);

bool HasMemo(const std::vector<Field>& fields);

// A new table: the fields checked and laid out, the bytes of its header
// (with `today` as year-1900, month, day) and the end mark behind it.
struct NewTable {
  std::vector<Field> fields;
  std::vector<unsigned char> bytes;
  bool has_memo = false;
};
NewTable BuildTable(const std::string& file, Flavor flavor, const std::vector<FieldSpec>& specs,
                    const unsigned char today[3]);
// The first block of a new .dbt for the table file named `table_name`.
std::vector<unsigned char> BuildMemoHeader(Flavor flavor, const std::string& table_name);

// A record's deletion flag is blank or '*'; throws DbaseError otherwise.
void CheckDeletionFlag(const std::string& file, uint32_t rec, unsigned char flag);

// --- field values ---------------------------------------------------------

// Reads a field's bytes. Text comes without trailing blanks; blank numbers,
// dates and logicals are null. A memo field comes back as its block number
// (kInteger; 0 for none): the caller reads the memo. Throws DbaseError
// naming where when the bytes are no value of the field's type.
Cell DecodeCell(const Field& f, std::string_view raw, const Where& where);

// The bytes of a value for a field (f.length of them); throws DbaseError
// when it does not fit (never cuts it). A memo field takes the block number
// its text was written to (kInteger; 0 or null for none).
std::string EncodeCell(const Field& f, const Cell& value, const Where& where);

// A memo text in Windows-1252 as it may be stored: throws DbaseError when it
// holds a memo end mark.
void CheckMemoText(std::string_view bytes, const Where& where);

// A text (UTF-8) as the Windows-1252 bytes a field stores; throws DbaseError
// naming the first character the code page lacks.
std::string FieldBytes(std::string_view text, const Where& where);

// Throws the DbaseError for a value that a field of f's type cannot hold;
// `what` names the value ("Dieser Wert", "Ein Text").
[[noreturn]] void RefuseValue(const Field& f, const std::string& what, const Where& where);

// --- memo files -------------------------------------------------------------

struct MemoLayout {
  uint32_t block_size = 512;
  bool dbase4 = false;
};
// The layout of a .dbt from its first 32 bytes and the table's version byte.
MemoLayout ParseMemoHeader(const unsigned char h[32], uint8_t table_version);
// The blocks a memo text is written as (whole blocks, padded).
std::vector<unsigned char> EncodeMemo(const MemoLayout& layout, std::string_view bytes);
// dBase IV: the length of the memo text in a block from its first 8 bytes;
// throws DbaseError when they are no memo block header or the length runs
// past `file_size`.
uint32_t MemoTextLength(const unsigned char h[8], uint64_t block, uint64_t start,
                        uint64_t file_size, const std::string& memo_file, const Where& where);
// Throws the DbaseError for a block of a .dbt that holds no memo.
[[noreturn]] void RefuseMemoBlock(uint64_t block, const std::string& memo_file, const Where& where);
// The memo text up to its end mark, if the bytes hold one.
std::optional<size_t> MemoEnd(std::string_view bytes, bool dbase4);

// --- the undo block -----------------------------------------------------------

// Old images of records: the record number and its bytes.
using RecordImages = std::vector<std::pair<uint32_t, std::string>>;
// "VUND", the count, (record, bytes)..., a checksum.
std::vector<unsigned char> EncodeUndo(const RecordImages& images);
// The length of an undo block of `n` records from its first 8 bytes; nothing
// when they are no undo block's start.
std::optional<uint64_t> UndoLength(const unsigned char head[8], uint32_t record_length);
// The records of a whole undo block, or nothing when it was cut short or
// names records past `count`.
std::optional<RecordImages> DecodeUndo(const std::vector<unsigned char>& block,
                                       uint32_t record_length, uint32_t count);

}  // namespace format
}  // namespace platform::dbase
