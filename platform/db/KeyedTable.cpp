#include "platform/db/KeyedTable.h"

#include <algorithm>

#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::db {

using dbase::Cell;
using dbase::DbaseError;
using dbase::DbfFile;

namespace {

Value ToValue(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kInteger:
    case Cell::Kind::kLogical:
      return Value(c.integer);
    case Cell::Kind::kReal:
      return Value(c.real);
    case Cell::Kind::kText:
      return Value(c.text);
    default:
      return Value();
  }
}

}  // namespace

KeyedTable::KeyedTable(std::string folder, std::string file_name, std::vector<KeyDef> keys)
    : folder_(std::move(folder)), file_name_(std::move(file_name)), keys_(std::move(keys)) {}

KeyedTable::~KeyedTable() {
  SaveIndexes();
}

std::string KeyedTable::Path() const {
  try {
    if (auto found = DbfFile::Locate(env::Env::Current(), folder_, file_name_))
      return folder_ + *found;
  } catch (const DbaseError&) {
    // Two files answer to the name; the operation that opens it says so.
  }
  return folder_ + file_name_;
}

bool KeyedTable::Exists() const {
  // The file found before is looked at alone; the folder is read only when
  // it went.
  if (file_) {
    try {
      if (env::Env::Current().Stat(file_->Path())) return true;
    } catch (const env::EnvError&) {
      // Told by the operation that opens it.
    }
  }
  try {
    return DbfFile::Locate(env::Env::Current(), folder_, file_name_).has_value();
  } catch (const DbaseError&) {
    // Two files answer to the name: there is a table, and opening it will
    // tell the mapper which files are in each other's way.
    return true;
  }
}

void KeyedTable::Fail(const std::string& what) const {
  throw DbError("Die Tabelle " + Path() + " " + what);
}

void KeyedTable::Create(const std::vector<dbase::FieldSpec>& fields) {
  if (Exists()) return;
  try {
    DbfFile::Create(folder_ + file_name_, dbase::Flavor::kDBase3, fields, env::Env::Current());
  } catch (const DbaseError& e) {
    Fail(std::string("kann nicht angelegt werden: ") + e.what());
  }
}

void KeyedTable::ResetIndexes() {
  indexes_.assign(keys_.size(), ColumnIndex());
  built_.assign(keys_.size(), 0);
  from_file_.assign(keys_.size(), 0);
  unsaved_.assign(keys_.size(), 0);
  if (file_) generation_ = file_->Generation();
}

void KeyedTable::Open(bool write) {
  // A test that swaps the platform seam gets a handle through the new one.
  if (file_ && opened_in_ != &env::Env::Current()) file_.reset();
  for (int attempt = 0;; ++attempt) {
    try {
      if (!file_) {
        std::optional<std::string> found;
        try {
          found = DbfFile::Locate(env::Env::Current(), folder_, file_name_);
        } catch (const DbaseError& e) {
          Fail(std::string("kann nicht geöffnet werden: ") + e.what());
        }
        if (!found) Fail("wurde nicht gefunden.");
        file_ = DbfFile::Open(folder_ + *found, true, env::Env::Current());
        opened_in_ = &env::Env::Current();
        key_fields_.clear();
        for (const KeyDef& k : keys_) {
          const int f = file_->FieldIndex(k.field);
          if (f < 0) {
            file_.reset();
            Fail("hat kein Feld " + k.field + " für den Index " + k.name + ".");
          }
          key_fields_.push_back(f);
        }
        ResetIndexes();
      }
      if (write && !file_->IsWritable()) {
        Fail("ist schreibgeschützt und kann nicht geändert werden.");
      }
      if (write) {
        file_->BeginWrite();
      } else {
        file_->BeginRead();
      }
      break;
    } catch (const dbase::FileGone&) {
      // Deleted or replaced by another program since the last operation:
      // the table is looked for anew.
      file_.reset();
      if (attempt > 0) Fail("wurde nicht gefunden.");
    } catch (const dbase::StructureChanged&) {
      file_.reset();
      if (attempt > 0) Fail("wird gerade von einem anderen Programm neu angelegt.");
    } catch (const DbaseError& e) {
      file_.reset();
      Fail(std::string("ist beschädigt oder kann nicht gelesen werden: ") + e.what());
    }
  }
  // Bring the indexes in line with what other programs changed.
  if (generation_ != file_->Generation()) {
    ResetIndexes();
    file_->TakeChangedRecords();
  } else {
    try {
      for (uint32_t rec : file_->TakeChangedRecords()) Reindex(rec);
    } catch (const DbaseError& e) {
      ResetIndexes();
      Close(write, false);
      Fail(std::string("ist beschädigt oder kann nicht gelesen werden: ") + e.what());
    }
  }
}

void KeyedTable::Close(bool write, bool keep) {
  if (!file_) return;
  if (!write) {
    file_->EndRead();
    return;
  }
  if (keep) {
    try {
      file_->Commit();
      return;
    } catch (const DbaseError& e) {
      // Commit put back what it could; the indexes follow the records.
      ResetIndexes();
      Fail(std::string("kann nicht geschrieben werden: ") + e.what());
    }
  }
  file_->Rollback();
  ResetIndexes();
}

KeyedTable::Operation::Operation(KeyedTable& table, bool write) : table_(table), write_(write) {
  table_.Open(write);
}

KeyedTable::Operation::~Operation() {
  if (!open_) return;
  try {
    table_.Close(write_, false);
  } catch (...) {
    // Dropping changes never fails in a way the caller could still answer.
  }
}

void KeyedTable::Operation::End() {
  open_ = false;
  table_.Close(write_, true);
}

int KeyedTable::FieldOf(std::string_view field) const {
  const int f = file_->FieldIndex(field);
  if (f < 0) Fail("hat kein Feld " + std::string(field) + ".");
  return f;
}

int KeyedTable::KeyOf(std::string_view key_name) const {
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i].name == key_name) return static_cast<int>(i);
  }
  Fail("hat keinen Index " + std::string(key_name) + ".");
}

bool KeyedTable::HasField(std::string_view field) const {
  return file_ && file_->FieldIndex(field) >= 0;
}

namespace {

// The key of a stored field: the text as stored, or the number in decimal.
// Nothing for a deleted record or a null value.
ColumnIndex::Key RecordKey(const DbfFile& file, uint32_t rec, int field, std::string& scratch) {
  if (file.IsDeleted(rec)) return std::nullopt;
  const dbase::Field& f = file.Fields()[field];
  if (f.type == 'C') return text::TrimRightBlanksAndNul(file.Raw(rec, field));
  const Cell c = file.Read(rec, field);
  if (c.kind == Cell::Kind::kInteger) {
    scratch = std::to_string(c.integer);
    return scratch;
  }
  if (c.kind == Cell::Kind::kText) {
    scratch = c.text;
    return scratch;
  }
  return std::nullopt;
}

// The key a looked-up value has in the index, or nothing when no stored
// value can equal it.
std::optional<std::string> LookupKey(const dbase::Field& f, const Value& v) {
  if (v.IsNull()) return std::nullopt;
  if (f.type == 'C') {
    std::optional<std::string> ansi = text::Utf8ToAnsiStrict(v.AsString());
    if (!ansi) return std::nullopt;
    return std::string(text::TrimRightBlanksAndNul(*ansi));
  }
  try {
    return std::to_string(v.AsInt64());
  } catch (const DbError&) {
    return std::nullopt;
  }
}

}  // namespace

key_index::KeyOfRecord KeyedTable::KeyFunction(int field) const {
  const DbfFile& file = *file_;
  return [&file, field](uint32_t rec) -> std::optional<std::string> {
    std::string scratch;
    const ColumnIndex::Key key = RecordKey(file, rec, field, scratch);
    if (!key) return std::nullopt;
    return std::string(*key);
  };
}

bool KeyedTable::Large() const {
  return file_->RecordCount() >= key_index::MinRecords();
}

ColumnIndex& KeyedTable::Index(int key) {
  ColumnIndex& idx = indexes_[key];
  if (!built_[key]) {
    const int field = key_fields_[key];
    if (Large() && key_index::Load(*file_, field, kKeyKind, KeyFunction(field), idx)) {
      built_[key] = 1;
      from_file_[key] = 1;
      unsaved_[key] = 0;
      return idx;
    }
    Build(key);
  }
  return idx;
}

void KeyedTable::Build(int key) {
  ColumnIndex& idx = indexes_[key];
  const int field = key_fields_[key];
  try {
    idx.Build(file_->RecordCount(),
              [&](uint32_t rec) { return RecordKey(*file_, rec, field, scratch_); });
  } catch (const DbaseError& e) {
    idx = ColumnIndex();
    built_[key] = 0;
    Fail(std::string("ist beschädigt oder kann nicht gelesen werden: ") + e.what());
  }
  built_[key] = 1;
  from_file_[key] = 0;
  unsaved_[key] = Large() && !key_index::Save(*file_, field, kKeyKind, KeyFunction(field), idx);
}

std::span<const uint32_t> KeyedTable::Lookup(int key, const std::string& wanted) {
  std::span<const uint32_t> found;
  try {
    found = Index(key).Find(wanted);
  } catch (const ColumnIndex::Unreadable&) {
    Build(key);
    return indexes_[key].Find(wanted);
  }
  if (!from_file_[key]) return found;
  // An index read from its file is checked against the records it answers
  // with (a long list by its first ones); one that lies is built anew.
  constexpr size_t kChecked = 64;
  for (size_t i = 0; i < found.size() && i < kChecked; ++i) {
    if (RecordKey(*file_, found[i], key_fields_[key], scratch_) != std::string_view(wanted)) {
      Build(key);
      return indexes_[key].Find(wanted);
    }
  }
  return found;
}

void KeyedTable::SaveIndexes() noexcept {
  // A handle opened through an Env that is no longer the current one may
  // outlive it (a test's): it is left alone.
  if (!file_ || opened_in_ != &env::Env::Current() ||
      std::find(unsaved_.begin(), unsaved_.end(), 1) == unsaved_.end()) {
    return;
  }
  try {
    // Only when no other program holds the table just now: the file saves
    // time, it is not worth a wait.
    if (!file_->TryBeginRead()) return;
  } catch (...) {
    return;
  }
  try {
    if (generation_ == file_->Generation()) {
      for (uint32_t rec : file_->TakeChangedRecords()) Reindex(rec);
      for (size_t k = 0; k < keys_.size(); ++k) {
        if (!built_[k] || !unsaved_[k] || !Large()) continue;
        const int field = key_fields_[k];
        if (key_index::Save(*file_, field, kKeyKind, KeyFunction(field), indexes_[k])) {
          unsaved_[k] = 0;
        }
      }
    }
  } catch (...) {
  }
  file_->EndRead();
}

void KeyedTable::Reindex(uint32_t rec) {
  for (size_t k = 0; k < keys_.size(); ++k) {
    if (!built_[k]) continue;
    try {
      indexes_[k].Set(rec, RecordKey(*file_, rec, key_fields_[k], scratch_));
    } catch (const ColumnIndex::Unreadable&) {
      Build(static_cast<int>(k));  // from the records as they now are
    }
    unsaved_[k] = 1;
  }
}

std::vector<uint32_t> KeyedTable::Seek(std::string_view key_name, const Value& key) {
  const int k = KeyOf(key_name);
  const std::optional<std::string> wanted = LookupKey(file_->Fields()[key_fields_[k]], key);
  if (!wanted) return {};
  const std::span<const uint32_t> found = Lookup(k, *wanted);
  return {found.begin(), found.end()};
}

int64_t KeyedTable::SeekFirst(std::string_view key_name, const Value& key) {
  const int k = KeyOf(key_name);
  const std::optional<std::string> wanted = LookupKey(file_->Fields()[key_fields_[k]], key);
  if (!wanted) return -1;
  const std::span<const uint32_t> found = Lookup(k, *wanted);
  return found.empty() ? -1 : static_cast<int64_t>(found.front());
}

std::vector<uint32_t> KeyedTable::Records() const {
  std::vector<uint32_t> records;
  const uint32_t n = file_->RecordCount();
  records.reserve(n);
  for (uint32_t rec = 0; rec < n; ++rec) {
    if (!file_->IsDeleted(rec)) records.push_back(rec);
  }
  return records;
}

Value KeyedTable::Get(uint32_t rec, std::string_view field) const {
  const int f = FieldOf(field);
  try {
    return ToValue(file_->Read(rec, f));
  } catch (const DbaseError& e) {
    Fail(std::string("ist beschädigt oder kann nicht gelesen werden: ") + e.what());
  }
}

void KeyedTable::Set(uint32_t rec, std::string_view field, const Value& value) {
  const int f = FieldOf(field);
  const dbase::Field& def = file_->Fields()[f];
  Cell cell;
  try {
    if (value.IsNull()) {
      cell = Cell::Null();
    } else if (def.type == 'C' || def.type == 'M') {
      cell = Cell::Text(value.AsString());
    } else if (def.type == 'N' && def.decimals == 0) {
      cell = Cell::Integer(value.AsInt64());
    } else {
      cell = Cell::Real(value.AsDouble());
    }
  } catch (const DbError& e) {
    Fail("kann in Datensatz " + std::to_string(rec + 1) + ", Feld " + def.name +
         " den Wert nicht aufnehmen: " + e.what());
  }
  try {
    file_->Write(rec, f, cell);
  } catch (const DbaseError& e) {
    Fail(std::string("kann nicht geändert werden: ") + e.what());
  }
  Reindex(rec);
}

uint32_t KeyedTable::Append() {
  uint32_t rec = 0;
  try {
    rec = file_->Append();
  } catch (const DbaseError& e) {
    Fail(std::string("kann nicht geändert werden: ") + e.what());
  }
  Reindex(rec);
  return rec;
}

void KeyedTable::Delete(uint32_t rec) {
  try {
    file_->Delete(rec);
  } catch (const DbaseError& e) {
    Fail(std::string("kann nicht geändert werden: ") + e.what());
  }
  Reindex(rec);
}

}  // namespace platform::db
