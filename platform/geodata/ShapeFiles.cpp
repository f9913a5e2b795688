// shapelib reaches files only through its table of hooks, which carries no
// pointer of the caller's: the Env of the running call and the last error
// shapelib reported are kept per thread for the length of one call. No
// exception may cross shapelib's C frames, so every hook catches what the
// Env throws and answers as the C library would.
#include "platform/geodata/ShapeFiles.h"

#include <shapefil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>

#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::geodata {
namespace {

struct HookFile {
  std::unique_ptr<env::File> file;
  uint64_t pos = 0;
  bool writable = false;
  // What was read ahead of a file opened for reading, from `ahead_at`:
  // shapelib reads a record at a time, a few bytes each, and every read of
  // the Env is a call of the system.
  std::string ahead;
  uint64_t ahead_at = 0;
};

constexpr size_t kReadAhead = 64 * 1024;

thread_local env::Env* t_env = nullptr;
thread_local std::string* t_error = nullptr;

HookFile* Of(SAFile file) {
  return reinterpret_cast<HookFile*>(file);
}

void Note(const std::string& text) {
  if (t_error && t_error->empty()) *t_error = text;
}

// The name as the folder spells it: packages come from Windows, where
// "ABCDEF.SHX" and "abcdef.shx" are one file.
std::string Spelled(const std::string& path) {
  if (t_env->Stat(path)) return path;
  const std::optional<std::string> found =
      env::FindNoCase(*t_env, env::FolderOf(path), env::NameOf(path));
  return found ? env::JoinPath(env::FolderOf(path), *found) : path;
}

SAFile Open(const char* name, const char* access) {
  try {
    std::unique_ptr<HookFile> f = std::make_unique<HookFile>();
    env::OpenMode mode = env::OpenMode::kRead;
    if (std::strchr(access, 'w')) {
      mode = env::OpenMode::kTruncate;
    } else if (std::strchr(access, '+')) {
      mode = env::OpenMode::kReadWrite;
    }
    f->writable = mode != env::OpenMode::kRead;
    const std::string path = mode == env::OpenMode::kTruncate ? name : Spelled(name);
    const std::optional<env::FileStatus> st = t_env->Stat(path);
    if (mode != env::OpenMode::kTruncate && (!st || !st->IsRegular())) return nullptr;
    f->file = t_env->Open(path, mode);
    return reinterpret_cast<SAFile>(f.release());
  } catch (const env::EnvError& e) {
    Note(e.what());
    return nullptr;
  }
}

SAOffset Read(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  HookFile* f = Of(file);
  if (size == 0 || nmemb == 0) return 0;
  try {
    const size_t wanted = static_cast<size_t>(size * nmemb);
    size_t n = 0;
    if (f->writable || wanted >= kReadAhead) {
      n = f->file->ReadAt(f->pos, p, wanted);
    } else {
      if (f->pos < f->ahead_at || f->pos + wanted > f->ahead_at + f->ahead.size()) {
        f->ahead.resize(kReadAhead);
        f->ahead.resize(f->file->ReadAt(f->pos, f->ahead.data(), kReadAhead));
        f->ahead_at = f->pos;
      }
      n = std::min<uint64_t>(wanted, f->ahead_at + f->ahead.size() - f->pos);
      std::memcpy(p, f->ahead.data() + (f->pos - f->ahead_at), n);
    }
    f->pos += n;
    return static_cast<SAOffset>(n / size);
  } catch (const env::EnvError& e) {
    Note(e.what());
    return 0;
  }
}

SAOffset Write(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
  HookFile* f = Of(file);
  try {
    f->file->WriteAt(f->pos, p, static_cast<size_t>(size * nmemb));
    f->pos += size * nmemb;
    return nmemb;
  } catch (const env::EnvError& e) {
    Note(e.what());
    return 0;
  }
}

SAOffset Seek(SAFile file, SAOffset offset, int whence) {
  HookFile* f = Of(file);
  try {
    switch (whence) {
      case SEEK_SET:
        f->pos = offset;
        break;
      case SEEK_CUR:
        f->pos += offset;
        break;
      case SEEK_END:
        f->pos = f->file->Size() + offset;
        break;
      default:
        return static_cast<SAOffset>(-1);
    }
    return 0;
  } catch (const env::EnvError& e) {
    Note(e.what());
    return static_cast<SAOffset>(-1);
  }
}

SAOffset Tell(SAFile file) {
  return static_cast<SAOffset>(Of(file)->pos);
}

int Flush(SAFile) {
  return 0;
}

int Close(SAFile file) {
  delete Of(file);
  return 0;
}

int Remove(const char* name) {
  try {
    t_env->Remove(name);
    return 0;
  } catch (const env::EnvError&) {
    return -1;
  }
}

void Error(const char* message) {
  Note(message ? message : "");
}

double Atof(const char* text) {
  return std::atof(text);
}

SAHooks Hooks() {
  SAHooks hooks;
  SASetupDefaultHooks(&hooks);
  hooks.FOpen = Open;
  hooks.FRead = Read;
  hooks.FWrite = Write;
  hooks.FSeek = Seek;
  hooks.FTell = Tell;
  hooks.FFlush = Flush;
  hooks.FClose = Close;
  hooks.Remove = Remove;
  hooks.Error = Error;
  hooks.Atof = Atof;
  return hooks;
}

// The Env and the error slot of one call, put back when it ends (calls may
// nest only in tests, never across threads).
class CallScope {
 public:
  explicit CallScope(env::Env& env) : env_(t_env), error_(t_error) {
    t_env = &env;
    t_error = &error;
  }
  ~CallScope() {
    t_env = env_;
    t_error = error_;
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  std::string error;

 private:
  env::Env* env_;
  std::string* error_;
};

struct ShpCloser {
  void operator()(SHPInfo* h) const { SHPClose(h); }
};
struct DbfCloser {
  void operator()(DBFInfo* h) const { DBFClose(h); }
};
struct ShapeDestroyer {
  void operator()(SHPObject* s) const { SHPDestroyObject(s); }
};
using ShpHandle = std::unique_ptr<SHPInfo, ShpCloser>;
using DbfHandle = std::unique_ptr<DBFInfo, DbfCloser>;
using ShapeObject = std::unique_ptr<SHPObject, ShapeDestroyer>;

std::string Stem(const std::string& shp) {
  return text::EndsWithIgnoreCase(shp, ".shp") ? shp.substr(0, shp.size() - 4) : shp;
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

ShpHandle OpenShapes(env::Env& env, const std::string& shp, SAHooks& hooks,
                     const CallScope& scope) {
  ShpHandle h(SHPOpenLL(shp.c_str(), "rb", &hooks));
  if (!h) {
    throw GeodataError("Die Geodaten " + shp + " können nicht gelesen werden" +
                       Because(scope.error));
  }
  // The header's length is what the writer meant to write: a file that is
  // shorter lost its end.
  const uint64_t size = env.Stat(shp)->size;
  if (static_cast<uint64_t>(h->nFileSize) > size) {
    throw GeodataError("Die Datei " + shp + " ist unvollständig: ihr Kopf nennt " +
                       std::to_string(h->nFileSize) + " Bytes, sie hat " + std::to_string(size) +
                       ".");
  }
  return h;
}

DbfHandle OpenTable(env::Env& env, const std::string& dbf, SAHooks& hooks, const CallScope& scope) {
  DbfHandle d(DBFOpenLL(dbf.c_str(), "rb", &hooks));
  if (!d) {
    throw GeodataError("Die Tabelle " + dbf + " der Geodaten kann nicht gelesen werden" +
                       Because(scope.error));
  }
  const int records = DBFGetRecordCount(d.get());
  const uint64_t needed = static_cast<uint64_t>(d->nHeaderLength) +
                          static_cast<uint64_t>(records) * static_cast<uint64_t>(d->nRecordLength);
  if (env.Stat(dbf)->size < needed) {
    throw GeodataError("Die Tabelle " + dbf + " ist unvollständig: ihr Kopf nennt " +
                       std::to_string(records) + " Datensätze, die Datei ist kürzer.");
  }
  return d;
}

void CheckCounts(const std::string& shp, const std::string& dbf, int shapes, int records) {
  if (records != shapes) {
    throw GeodataError("Die Geodaten " + shp + " haben " + std::to_string(shapes) +
                       " Formen, ihre Tabelle " + dbf + " " + std::to_string(records) +
                       " Datensätze.");
  }
}

int FieldOf(DBFInfo* d, const std::string& dbf, std::string_view field) {
  const int index = DBFGetFieldIndex(d, std::string(field).c_str());
  if (index < 0) {
    throw GeodataError("Die Tabelle " + dbf + " der Geodaten hat kein Feld " + std::string(field) +
                       ".");
  }
  return index;
}

// The text of a field of a record, without the blanks dBase pads with, in
// UTF-8.
std::string TextOf(DBFInfo* d, const std::string& dbf, int record, int field,
                   const CallScope& scope) {
  const char* value = DBFReadStringAttribute(d, record, field);
  if (!value) {
    throw GeodataError("Der Datensatz " + std::to_string(record + 1) + " der Tabelle " + dbf +
                       " kann nicht gelesen werden" + Because(scope.error));
  }
  return std::string(text::TrimChars(text::AnsiToUtf8(value), " "));
}

}  // namespace

ShapeLayer ReadLayer(env::Env& env, const std::string& shp, std::string_view id_field,
                     std::string_view class_field) {
  CallScope scope(env);
  SAHooks hooks = Hooks();
  ShapeLayer layer;
  layer.shp = shp;
  const std::string shx = Companion(env, shp, ".shx");
  const std::string dbf = Companion(env, shp, ".dbf");
  CheckParts(env, {shp, shx, dbf});
  ShpHandle h = OpenShapes(env, shp, hooks, scope);
  int count = 0;
  SHPGetInfo(h.get(), &count, &layer.shape_type, nullptr, nullptr);
  for (int i = 0; i < count; ++i) {
    ShapeObject shape(SHPReadObject(h.get(), i));
    if (!shape) {
      throw GeodataError("Die Form " + std::to_string(i + 1) + " der Datei " + shp +
                         " kann nicht gelesen werden" + Because(scope.error));
    }
    if (shape->nSHPType != SHPT_NULL && shape->nSHPType != layer.shape_type) {
      throw GeodataError("Die Form " + std::to_string(i + 1) + " der Datei " + shp +
                         " hat einen anderen Typ als die Datei.");
    }
  }
  DbfHandle d = OpenTable(env, dbf, hooks, scope);
  const int records = DBFGetRecordCount(d.get());
  CheckCounts(shp, dbf, count, records);
  const int field = FieldOf(d.get(), dbf, id_field);
  const int klasse =
      class_field.empty() ? -1 : DBFGetFieldIndex(d.get(), std::string(class_field).c_str());
  layer.ids.reserve(static_cast<size_t>(records));
  for (int i = 0; i < records; ++i) {
    if (klasse >= 0) {
      layer.classes.push_back(
          DBFIsAttributeNULL(d.get(), i, klasse) ? 0 : DBFReadIntegerAttribute(d.get(), i, klasse));
    }
    layer.ids.push_back(TextOf(d.get(), dbf, i, field, scope));
  }
  return layer;
}

Form FormOf(int shape_type) {
  switch (shape_type) {
    case SHPT_POINT:
    case SHPT_POINTZ:
    case SHPT_POINTM:
    case SHPT_MULTIPOINT:
    case SHPT_MULTIPOINTZ:
    case SHPT_MULTIPOINTM:
      return Form::kPoints;
    case SHPT_ARC:
    case SHPT_ARCZ:
    case SHPT_ARCM:
      return Form::kLine;
    case SHPT_POLYGON:
    case SHPT_POLYGONZ:
    case SHPT_POLYGONM:
      return Form::kArea;
    default:
      return Form::kNone;
  }
}

struct LayerReader::Handles {
  std::string dbf;
  ShpHandle shapes;
  DbfHandle table;
};

LayerReader::LayerReader(env::Env& env, const std::string& shp) : env_(env), shp_(shp) {
  CallScope scope(env);
  SAHooks hooks = Hooks();
  handles_ = std::make_unique<Handles>();
  handles_->dbf = Companion(env, shp, ".dbf");
  CheckParts(env, {shp, Companion(env, shp, ".shx"), handles_->dbf});
  handles_->shapes = OpenShapes(env, shp, hooks, scope);
  handles_->table = OpenTable(env, handles_->dbf, hooks, scope);
  int count = 0;
  SHPGetInfo(handles_->shapes.get(), &count, nullptr, nullptr, nullptr);
  CheckCounts(shp, handles_->dbf, count, DBFGetRecordCount(handles_->table.get()));
  count_ = static_cast<size_t>(count);
}

LayerReader::~LayerReader() {
  CallScope scope(env_);
  handles_.reset();
}

std::vector<std::string> LayerReader::Texts(std::string_view field) {
  CallScope scope(env_);
  DBFInfo* d = handles_->table.get();
  const int index = FieldOf(d, handles_->dbf, field);
  std::vector<std::string> texts;
  texts.reserve(count_);
  for (size_t i = 0; i < count_; ++i) {
    texts.push_back(TextOf(d, handles_->dbf, static_cast<int>(i), index, scope));
  }
  return texts;
}

Shape LayerReader::Read(size_t record) {
  CallScope scope(env_);
  ShapeObject read(SHPReadObject(handles_->shapes.get(), static_cast<int>(record)));
  if (!read) {
    throw GeodataError("Die Form " + std::to_string(record + 1) + " der Datei " + shp_ +
                       " kann nicht gelesen werden" + Because(scope.error));
  }
  Shape shape;
  shape.type = read->nSHPType;
  const size_t vertices = read->nVertices > 0 ? static_cast<size_t>(read->nVertices) : 0;
  shape.points.reserve(vertices);
  for (size_t v = 0; v < vertices; ++v) shape.points.push_back({read->padfX[v], read->padfY[v]});
  if (read->nParts > 0) {
    for (int part = 0; part < read->nParts; ++part) {
      shape.parts.push_back(static_cast<size_t>(std::max(0, read->panPartStart[part])));
    }
  } else if (vertices > 0) {
    shape.parts.push_back(0);
  }
  return shape;
}

void CopyLayer(env::Env& env, const std::string& from, const std::string& to,
               const std::function<bool(size_t record)>& keep) {
  CallScope scope(env);
  SAHooks hooks = Hooks();
  ShpHandle source(SHPOpenLL(from.c_str(), "rb", &hooks));
  if (!source) {
    throw GeodataError("Die Geodaten " + from + " können nicht gelesen werden" +
                       Because(scope.error));
  }
  const std::string from_dbf = Companion(env, from, ".dbf");
  DbfHandle source_table(DBFOpenLL(from_dbf.c_str(), "rb", &hooks));
  if (!source_table) {
    throw GeodataError("Die Tabelle " + from_dbf + " kann nicht gelesen werden" +
                       Because(scope.error));
  }
  int count = 0, type = 0;
  SHPGetInfo(source.get(), &count, &type, nullptr, nullptr);
  const std::string to_stem = Stem(to);
  ShpHandle target(SHPCreateLL(to.c_str(), type, &hooks));
  DbfHandle target_table(DBFCloneEmpty(source_table.get(), (to_stem + ".dbf").c_str()));
  if (!target || !target_table) {
    throw GeodataError("Die Geodaten " + to + " können nicht geschrieben werden" +
                       Because(scope.error));
  }
  int written = 0;
  std::string tuple;
  for (int i = 0; i < count; ++i) {
    if (!keep(static_cast<size_t>(i))) continue;
    ShapeObject shape(SHPReadObject(source.get(), i));
    const void* read = shape ? DBFReadTuple(source_table.get(), i) : nullptr;
    if (!shape || !read) {
      throw GeodataError("Der Datensatz " + std::to_string(i + 1) + " der Geodaten " + from +
                         " kann nicht gelesen werden" + Because(scope.error));
    }
    // shapelib hands out its record buffer read-only but takes a writable one.
    tuple.assign(static_cast<const char*>(read), static_cast<size_t>(source_table->nRecordLength));
    if (SHPWriteObject(target.get(), -1, shape.get()) < 0 ||
        !DBFWriteTuple(target_table.get(), written, tuple.data()) || !scope.error.empty()) {
      throw GeodataError("Die Geodaten " + to + " können nicht geschrieben werden" +
                         Because(scope.error));
    }
    ++written;
  }
  target.reset();
  target_table.reset();
  if (!scope.error.empty()) {
    throw GeodataError("Die Geodaten " + to + " können nicht geschrieben werden" +
                       Because(scope.error));
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
