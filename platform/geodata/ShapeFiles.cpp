// The main file and its index are read through a window of the main file
// read ahead: a layer is read record after record, a few hundred bytes
// each, and every read of the Env is a call of the system. The index is
// read whole when the layer is opened (eight bytes a record, no more than
// the file holds). A record is checked against the index and the file's
// end before its bytes are taken, and its counts against its own length
// (ShapeCodec.cpp) before anything is allocated for them. The attribute
// table is the dBase codec's.
#include "platform/geodata/ShapeFiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>

#include "platform/dbase/DbfFile.h"
#include "platform/geodata/ShapeCodec.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::geodata {
namespace {

constexpr size_t kReadAhead = 64 * 1024;

std::string Stem(const std::string& shp) {
  return text::EndsWithIgnoreCase(shp, ".shp") ? shp.substr(0, shp.size() - 4) : shp;
}

// The name as the folder spells it: packages come from Windows, where
// "ABCDEF.SHP" and "abcdef.shp" are one file.
std::string Spelled(env::Env& env, const std::string& path) {
  if (env.Stat(path)) return path;
  const std::optional<std::string> found =
      env::FindNoCase(env, env::FolderOf(path), env::NameOf(path));
  return found ? env::JoinPath(env::FolderOf(path), *found) : path;
}

// The companion of a layer in the letter case the folder has, or the
// lower-case name when there is none.
std::string Companion(env::Env& env, const std::string& shp, std::string_view ext) {
  const std::string stem = Stem(shp);
  const std::string wanted = env::NameOf(stem) + std::string(ext);
  const std::optional<std::string> found = env::FindNoCase(env, env::FolderOf(stem), wanted);
  return env::JoinPath(env::FolderOf(stem), found ? *found : wanted);
}

std::string Because(const std::string& error) {
  return error.empty() ? std::string(".") : ":\r" + error;
}

// Each part of a layer must be there as a regular file.
void CheckParts(env::Env& env, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts) {
    const std::optional<env::FileStatus> st = env.LinkStatus(part);
    if (!st) throw GeodataError("Die Datei " + part + " der Geodaten fehlt.");
    if (!st->IsRegular()) {
      throw GeodataError("Die Datei " + part + " der Geodaten ist keine gewöhnliche Datei.");
    }
  }
}

std::string Incomplete(const std::string& path, uint64_t said, uint64_t size) {
  return "Die Datei " + path + " ist unvollständig: ihr Kopf nennt " + std::to_string(said) +
         " Bytes, sie hat " + std::to_string(size) + ".";
}

// Why a record cannot be read, without the file and the record, which the
// caller names in its own words.
class Unreadable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A main file with its index, open for reading.
class MainFile {
 public:
  MainFile(env::Env& env, const std::string& shp, const std::string& shx) : shp_(shp), shx_(shx) {
    const auto unreadable = [&](const std::string& why) {
      return GeodataError("Die Geodaten " + shp + " können nicht gelesen werden" + Because(why));
    };
    unsigned char head[codec::kHeaderSize];
    try {
      file_ = env.Open(shp, env::OpenMode::kRead);
      size_ = file_->Size();
      if (!file_->ReadExactly(0, head, sizeof head)) {
        throw unreadable("Sie ist mit " + std::to_string(size_) +
                         " Bytes kürzer als der Kopf einer Shape-Datei.");
      }
      header_ = codec::ParseHeader(head);
    } catch (const env::EnvError& e) {
      throw unreadable(e.what());
    } catch (const codec::FormatError& e) {
      throw unreadable(e.what());
    }
    // The header's length is what the writer meant to write: a file that is
    // shorter lost its end.
    if (header_.length > size_) throw GeodataError(Incomplete(shp, header_.length, size_));
    ReadIndex(env);
  }

  size_t Count() const { return count_; }
  int Type() const { return header_.type; }

  // The content of a record (behind its record header), checked against
  // the index and the file; valid until the next call.
  std::string_view Content(size_t record) {
    if (record >= count_) {
      throw Unreadable("Die Datei hat nur " + std::to_string(count_) + " Formen.");
    }
    const unsigned char* entry =
        reinterpret_cast<const unsigned char*>(index_.data()) + record * codec::kIndexEntrySize;
    const uint64_t offset = static_cast<uint64_t>(codec::Be32(entry)) * 2;
    const uint64_t length = static_cast<uint64_t>(codec::Be32(entry + 4)) * 2;
    const uint64_t end = offset + codec::kRecordHeaderSize + length;
    if (offset < codec::kHeaderSize || end > header_.length) {
      throw Unreadable("Der Index " + shx_ + " nennt für sie die Bytes " + std::to_string(offset) +
                       " bis " + std::to_string(end) + ", die Datei hat " +
                       std::to_string(header_.length) + ".");
    }
    const unsigned char* bytes = Fetch(offset, codec::kRecordHeaderSize + length);
    const uint32_t number = codec::Be32(bytes);
    const uint64_t own_length = static_cast<uint64_t>(codec::Be32(bytes + 4)) * 2;
    // Shapes are numbered from 1; a writer that counts from 0 is taken too,
    // as long as it does so throughout (the first record read decides): what
    // is refused is an index that points at another shape's record.
    if (!numbered_from_ && (number == record + 1 || number == record)) {
      numbered_from_ = number - record;
    }
    if (!numbered_from_ || number != record + *numbered_from_) {
      throw Unreadable("Der Index " + shx_ + " zeigt auf den Datensatz " + std::to_string(number) +
                       ".");
    }
    if (own_length != length) {
      throw Unreadable("Sie ist nach ihrem Kopf " + std::to_string(own_length) +
                       " Bytes lang, nach dem Index " + shx_ + " " + std::to_string(length) + ".");
    }
    return {reinterpret_cast<const char*>(bytes) + codec::kRecordHeaderSize,
            static_cast<size_t>(length)};
  }

  codec::Record Read(size_t record) {
    const std::string_view content = Content(record);
    try {
      return codec::ParseRecord(reinterpret_cast<const unsigned char*>(content.data()),
                                content.size());
    } catch (const codec::FormatError& e) {
      throw Unreadable(e.what());
    }
  }

 private:
  void ReadIndex(env::Env& env) {
    unsigned char head[codec::kHeaderSize];
    uint64_t size = 0;
    codec::Header h;
    try {
      std::unique_ptr<env::File> index = env.Open(shx_, env::OpenMode::kRead);
      size = index->Size();
      if (!index->ReadExactly(0, head, sizeof head)) {
        throw GeodataError("Der Index " + shx_ +
                           " der Geodaten kann nicht gelesen werden:\rEr ist mit " +
                           std::to_string(size) + " Bytes kürzer als sein Kopf.");
      }
      try {
        h = codec::ParseHeader(head);
      } catch (const codec::FormatError& e) {
        throw GeodataError("Der Index " + shx_ + " der Geodaten kann nicht gelesen werden:\r" +
                           e.what());
      }
      if (h.length > size) throw GeodataError(Incomplete(shx_, h.length, size));
      if (h.length < codec::kHeaderSize) {
        throw GeodataError("Der Index " + shx_ +
                           " der Geodaten kann nicht gelesen werden:\rSein Kopf nennt " +
                           std::to_string(h.length) + " Bytes.");
      }
      count_ = static_cast<size_t>((h.length - codec::kHeaderSize) / codec::kIndexEntrySize);
      index_.resize(count_ * codec::kIndexEntrySize);
      if (!index->ReadExactly(codec::kHeaderSize, index_.data(), index_.size())) {
        throw GeodataError(Incomplete(shx_, h.length, index->Size()));
      }
    } catch (const env::EnvError& e) {
      throw GeodataError("Der Index " + shx_ + " der Geodaten kann nicht gelesen werden:\r" +
                         e.what());
    }
    if (h.type != header_.type) {
      throw GeodataError("Der Index " + shx_ + " nennt den Formtyp " + std::to_string(h.type) +
                         ", die Datei " + shp_ + " " + std::to_string(header_.type) + ".");
    }
  }

  // `n` bytes at `offset`, which the caller found within the file.
  const unsigned char* Fetch(uint64_t offset, uint64_t n) {
    if (offset < ahead_at_ || offset + n > ahead_at_ + ahead_.size()) {
      ahead_.resize(std::max<uint64_t>(kReadAhead, n));
      try {
        ahead_.resize(file_->ReadAt(offset, ahead_.data(), ahead_.size()));
      } catch (const env::EnvError& e) {
        ahead_.clear();
        throw Unreadable(e.what());
      }
      ahead_at_ = offset;
      if (ahead_.size() < n) {
        ahead_.clear();
        throw Unreadable("Die Datei endet vor ihrem Ende.");
      }
    }
    return reinterpret_cast<const unsigned char*>(ahead_.data()) + (offset - ahead_at_);
  }

  std::string shp_;
  std::string shx_;
  std::unique_ptr<env::File> file_;
  uint64_t size_ = 0;
  codec::Header header_;
  std::string index_;
  std::optional<uint64_t> numbered_from_;
  size_t count_ = 0;
  std::string ahead_;
  uint64_t ahead_at_ = 0;
};

std::string ShapeUnreadable(size_t record, const std::string& shp, const std::string& why) {
  return "Die Form " + std::to_string(record + 1) + " der Datei " + shp +
         " kann nicht gelesen werden" + Because(why);
}

// The attribute table, checked as long as its header says before the codec
// takes it.
std::unique_ptr<dbase::DbfFile> OpenTable(env::Env& env, const std::string& dbf) {
  try {
    std::unique_ptr<env::File> file = env.Open(dbf, env::OpenMode::kRead);
    dbase::format::Header h;
    if (file->ReadExactly(0, h.bytes, sizeof h.bytes)) {
      const uint64_t needed = static_cast<uint64_t>(h.header_length()) +
                              static_cast<uint64_t>(h.count()) * h.record_length();
      if (file->Size() < needed) {
        throw GeodataError("Die Tabelle " + dbf + " ist unvollständig: ihr Kopf nennt " +
                           std::to_string(h.count()) + " Datensätze, die Datei ist kürzer.");
      }
    }
    return dbase::DbfFile::Open(dbf, false, env);
  } catch (const env::EnvError& e) {
    throw GeodataError("Die Tabelle " + dbf + " der Geodaten kann nicht gelesen werden" +
                       Because(e.what()));
  } catch (const dbase::DbaseError& e) {
    throw GeodataError("Die Tabelle " + dbf + " der Geodaten kann nicht gelesen werden" +
                       Because(e.what()));
  }
}

// Reading the table's records within one statement of the codec.
class TableRead {
 public:
  explicit TableRead(dbase::DbfFile& table) : table_(table) {
    try {
      table_.BeginRead();
    } catch (const dbase::DbaseError& e) {
      throw GeodataError("Die Tabelle " + table.Path() + " der Geodaten kann nicht gelesen werden" +
                         Because(e.what()));
    }
  }
  ~TableRead() {
    // A lock that cannot be given back goes with the handle.
    try {
      table_.EndRead();
    } catch (const std::exception&) {
    }
  }
  TableRead(const TableRead&) = delete;
  TableRead& operator=(const TableRead&) = delete;

 private:
  dbase::DbfFile& table_;
};

void CheckCounts(const std::string& shp, const std::string& dbf, size_t shapes, size_t records) {
  if (records != shapes) {
    throw GeodataError("Die Geodaten " + shp + " haben " + std::to_string(shapes) +
                       " Formen, ihre Tabelle " + dbf + " " + std::to_string(records) +
                       " Datensätze.");
  }
}

int FieldOf(const dbase::DbfFile& d, std::string_view field) {
  const int index = d.FieldIndex(field);
  if (index < 0) {
    throw GeodataError("Die Tabelle " + d.Path() + " der Geodaten hat kein Feld " +
                       std::string(field) + ".");
  }
  return index;
}

// A field's bytes as other dBase readers give them: up to a NUL, if any.
std::string_view Stored(const dbase::DbfFile& d, uint32_t record, int field) {
  std::string_view raw = d.Raw(record, field);
  return raw.substr(0, raw.find('\0'));
}

// The text of a field of a record, without the blanks dBase pads with, in
// UTF-8.
std::string TextOf(const dbase::DbfFile& d, uint32_t record, int field) {
  return std::string(text::TrimChars(text::AnsiToUtf8(Stored(d, record, field)), " "));
}

// The whole number of a field, 0 where it is blank (or a number field is
// filled with '*', dBase's overflow).
int32_t NumberOf(const dbase::DbfFile& d, uint32_t record, int field) {
  const std::string value(text::TrimChars(Stored(d, record, field), " "));
  if (value.empty() || value[0] == '*') return 0;
  const long long n = std::strtoll(value.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(n, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

ShapeLayer ReadLayer(env::Env& env, const std::string& shp, std::string_view id_field,
                     std::string_view class_field) {
  ShapeLayer layer;
  layer.shp = shp;
  const std::string shx = Companion(env, shp, ".shx");
  const std::string dbf = Companion(env, shp, ".dbf");
  CheckParts(env, {shp, shx, dbf});
  MainFile shapes(env, shp, shx);
  layer.shape_type = shapes.Type();
  for (size_t i = 0; i < shapes.Count(); ++i) {
    codec::Record shape;
    try {
      shape = shapes.Read(i);
    } catch (const Unreadable& e) {
      throw GeodataError(ShapeUnreadable(i, shp, e.what()));
    }
    if (shape.shape.type != codec::kNull && shape.shape.type != layer.shape_type) {
      throw GeodataError("Die Form " + std::to_string(i + 1) + " der Datei " + shp +
                         " hat einen anderen Typ als die Datei.");
    }
  }
  std::unique_ptr<dbase::DbfFile> d = OpenTable(env, dbf);
  TableRead read(*d);
  const uint32_t records = d->RecordCount();
  CheckCounts(shp, dbf, shapes.Count(), records);
  const int field = FieldOf(*d, id_field);
  const int klasse = class_field.empty() ? -1 : d->FieldIndex(class_field);
  layer.ids.reserve(records);
  if (klasse >= 0) layer.classes.reserve(records);
  for (uint32_t i = 0; i < records; ++i) {
    if (klasse >= 0) layer.classes.push_back(NumberOf(*d, i, klasse));
    layer.ids.push_back(TextOf(*d, i, field));
  }
  return layer;
}

Form FormOf(int shape_type) {
  switch (shape_type) {
    case codec::kPoint:
    case codec::kPointZ:
    case codec::kPointM:
    case codec::kMultiPoint:
    case codec::kMultiPointZ:
    case codec::kMultiPointM:
      return Form::kPoints;
    case codec::kArc:
    case codec::kArcZ:
    case codec::kArcM:
      return Form::kLine;
    case codec::kPolygon:
    case codec::kPolygonZ:
    case codec::kPolygonM:
      return Form::kArea;
    default:
      return Form::kNone;
  }
}

struct LayerReader::Handles {
  std::unique_ptr<MainFile> shapes;
  std::unique_ptr<dbase::DbfFile> table;
};

LayerReader::LayerReader(env::Env& env, const std::string& shp) : env_(env), shp_(shp) {
  const std::string shx = Companion(env, shp, ".shx");
  const std::string dbf = Companion(env, shp, ".dbf");
  CheckParts(env, {shp, shx, dbf});
  handles_ = std::make_unique<Handles>();
  handles_->shapes = std::make_unique<MainFile>(env, shp, shx);
  handles_->table = OpenTable(env, dbf);
  TableRead read(*handles_->table);
  CheckCounts(shp, dbf, handles_->shapes->Count(), handles_->table->RecordCount());
  count_ = handles_->shapes->Count();
}

LayerReader::~LayerReader() = default;

std::vector<std::string> LayerReader::Texts(std::string_view field) {
  dbase::DbfFile& d = *handles_->table;
  TableRead read(d);
  const int index = FieldOf(d, field);
  if (d.RecordCount() != count_) {
    CheckCounts(shp_, d.Path(), count_, d.RecordCount());
  }
  std::vector<std::string> texts;
  texts.reserve(count_);
  for (size_t i = 0; i < count_; ++i) texts.push_back(TextOf(d, static_cast<uint32_t>(i), index));
  return texts;
}

Shape LayerReader::Read(size_t record) {
  try {
    return handles_->shapes->Read(record).shape;
  } catch (const Unreadable& e) {
    throw GeodataError(ShapeUnreadable(record, shp_, e.what()));
  }
}

namespace {

// A file written front to back through a buffer, its first bytes last.
class Output {
 public:
  Output(env::Env& env, const std::string& path)
      : file_(env.Open(path, env::OpenMode::kTruncate)) {}
  void Put(const void* data, size_t n) {
    buffer_.append(static_cast<const char*>(data), n);
    if (buffer_.size() >= kReadAhead) Flush();
  }
  uint64_t Position() const { return written_ + buffer_.size(); }
  void Flush() {
    file_->WriteAt(written_, buffer_.data(), buffer_.size());
    written_ += buffer_.size();
    buffer_.clear();
  }
  void PutAt(uint64_t offset, const void* data, size_t n) { file_->WriteAt(offset, data, n); }

 private:
  std::unique_ptr<env::File> file_;
  std::string buffer_;
  uint64_t written_ = 0;
};

// The whole header of a table, as it is stored.
std::string TableHeader(env::Env& env, const dbase::DbfFile& table) {
  std::unique_ptr<env::File> file = env.Open(table.Path(), env::OpenMode::kRead);
  dbase::format::Header h;
  if (!file->ReadExactly(0, h.bytes, sizeof h.bytes))
    throw env::EnvError(EIO, "read", table.Path());
  std::string bytes(h.header_length(), '\0');
  if (!file->ReadExactly(0, bytes.data(), bytes.size())) {
    throw env::EnvError(EIO, "read", table.Path());
  }
  return bytes;
}

}  // namespace

void CopyLayer(env::Env& env, const std::string& from, const std::string& to,
               const std::function<bool(size_t record)>& keep) {
  const std::string source_shp = Spelled(env, from);
  std::optional<MainFile> source;
  source.emplace(env, source_shp, Companion(env, from, ".shx"));
  const std::string from_dbf = Companion(env, from, ".dbf");
  std::unique_ptr<dbase::DbfFile> table;
  std::string table_header;
  try {
    table = dbase::DbfFile::Open(from_dbf, false, env);
    table_header = TableHeader(env, *table);
  } catch (const dbase::DbaseError& e) {
    throw GeodataError("Die Tabelle " + from_dbf + " kann nicht gelesen werden" +
                       Because(e.what()));
  } catch (const env::EnvError& e) {
    throw GeodataError("Die Tabelle " + from_dbf + " kann nicht gelesen werden" +
                       Because(e.what()));
  }
  TableRead read(*table);
  CheckCounts(from, from_dbf, source->Count(), table->RecordCount());
  const std::vector<dbase::Field>& fields = table->Fields();
  const size_t record_length =
      dbase::format::Le16(reinterpret_cast<const unsigned char*>(table_header.data()) + 10);

  const std::string to_stem = Stem(to);
  const auto unwritable = [&](const std::string& why) {
    return GeodataError("Die Geodaten " + to + " können nicht geschrieben werden" + Because(why));
  };
  try {
    Output shp(env, to_stem + ".shp");
    Output dbf(env, to_stem + ".dbf");
    std::string index(codec::kHeaderSize, '\0');
    const std::string blank(codec::kHeaderSize, '\0');
    shp.Put(blank.data(), blank.size());
    dbf.Put(table_header.data(), table_header.size());
    codec::Header header;
    header.type = source->Type();
    uint32_t written = 0;
    std::string tuple;
    for (size_t i = 0; i < source->Count(); ++i) {
      if (!keep(i)) continue;
      std::string_view content;
      try {
        const codec::Record record = source->Read(i);
        if (record.shape.type != codec::kNull && record.shape.type != header.type) {
          throw Unreadable("Sie hat einen anderen Typ als die Datei.");
        }
        codec::Widen(header.bounds, record, written == 0);
        content = source->Content(i);
      } catch (const Unreadable& e) {
        throw GeodataError("Der Datensatz " + std::to_string(i + 1) + " der Geodaten " + from +
                           " kann nicht gelesen werden" + Because(e.what()));
      }
      ++written;
      unsigned char head[codec::kRecordHeaderSize];
      codec::PutBe32(head, written);
      codec::PutBe32(head + 4, static_cast<uint32_t>(content.size() / 2));
      unsigned char entry[codec::kIndexEntrySize];
      codec::PutBe32(entry, static_cast<uint32_t>(shp.Position() / 2));
      codec::PutBe32(entry + 4, static_cast<uint32_t>(content.size() / 2));
      index.append(reinterpret_cast<const char*>(entry), sizeof entry);
      shp.Put(head, sizeof head);
      shp.Put(content.data(), content.size());
      // The attribute record as it is, its deletion flag included.
      tuple.assign(record_length, ' ');
      if (table->IsDeleted(static_cast<uint32_t>(i))) tuple[0] = '*';
      for (size_t f = 0; f < fields.size(); ++f) {
        const std::string_view raw = table->Raw(static_cast<uint32_t>(i), static_cast<int>(f));
        tuple.replace(static_cast<size_t>(fields[f].offset), raw.size(), raw);
      }
      dbf.Put(tuple.data(), tuple.size());
    }
    const unsigned char eof = dbase::format::kEofMark;
    dbf.Put(&eof, 1);
    shp.Flush();
    dbf.Flush();

    header.length = shp.Position();
    unsigned char bytes[codec::kHeaderSize];
    codec::EncodeHeader(header, bytes);
    shp.PutAt(0, bytes, sizeof bytes);
    header.length = index.size();
    codec::EncodeHeader(header, bytes);
    index.replace(0, sizeof bytes, reinterpret_cast<const char*>(bytes), sizeof bytes);
    Output shx(env, to_stem + ".shx");
    shx.Put(index.data(), index.size());
    shx.Flush();

    // The table's header with the new count, without what belongs to the
    // source file alone (the codec's change count and undo mark, the flag of
    // a production index that is not copied).
    std::string table_head = table_header.substr(0, 32);
    unsigned char* h = reinterpret_cast<unsigned char*>(table_head.data());
    dbase::format::PutLe32(h + 4, written);
    std::memset(h + 12, 0, 17);
    dbf.PutAt(0, table_head.data(), table_head.size());
  } catch (const env::EnvError& e) {
    throw unwritable(e.what());
  }
  for (const std::string_view ext : kCompanionFiles) {
    const std::optional<std::string> found =
        env::FindNoCase(env, env::FolderOf(Stem(from)), env::NameOf(Stem(from)) + std::string(ext));
    if (!found) continue;
    try {
      env::ReplaceFile(env, to_stem + std::string(ext),
                       env::ReadFile(env, env::JoinPath(env::FolderOf(Stem(from)), *found)));
    } catch (const env::EnvError& e) {
      throw GeodataError("Die Datei " + to_stem + std::string(ext) +
                         " kann nicht geschrieben werden:\r" + e.what());
    }
  }
}

}  // namespace platform::geodata
