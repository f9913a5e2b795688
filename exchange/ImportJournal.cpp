#include "exchange/ImportJournal.h"

#include <cerrno>
#include <charconv>
#include <memory>

#include "platform/env/Env.h"

namespace {

constexpr std::string_view kHeader = "VANDRA-IMPORT\t2";
// The journals of earlier versions, which the mapper may still take back.
constexpr std::string_view kHeaderVersion1 = "VANDRA-IMPORT\t1";
constexpr std::string_view kNull = "\\N";

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A line's fields, unescaped; a field that is exactly \N is nothing.
std::vector<std::optional<std::string>> Fields(std::string_view line) {
  std::vector<std::optional<std::string>> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    const std::string_view raw =
        line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    if (raw == kNull) {
      fields.emplace_back(std::nullopt);
    } else {
      std::string text;
      for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
          text += raw[i];
          continue;
        }
        const char e = raw[++i];
        text += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
      }
      fields.emplace_back(std::move(text));
    }
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return fields;
}

class Line {
 public:
  explicit Line(std::string_view record) : text_(record) {}
  Line& Add(const std::string& field) {
    text_ += '\t';
    text_ += Escaped(field);
    return *this;
  }
  Line& Add(int64_t number) { return Add(std::to_string(number)); }
  Line& Maybe(const std::optional<std::string>& field) {
    if (!field) {
      text_ += '\t';
      text_ += kNull;
      return *this;
    }
    return Add(*field);
  }
  std::string End() const { return text_ + "\n"; }

 private:
  std::string text_;
};

struct Malformed {};

int32_t Int(const std::optional<std::string>& field) {
  if (!field) throw Malformed{};
  int32_t value = 0;
  const char* end = field->data() + field->size();
  const auto [at, error] = std::from_chars(field->data(), end, value);
  if (error != std::errc() || at != end) throw Malformed{};
  return value;
}

const std::string& Str(const std::optional<std::string>& field) {
  if (!field) throw Malformed{};
  return *field;
}

}  // namespace

std::string ImportJournal::FileIn(const std::string& project_dir) {
  return project_dir + "TA_IMPORT.jnl";
}

std::string ImportJournal::LockFileIn(const std::string& project_dir) {
  return project_dir + "TA_IMPORT.lck";
}

std::string ImportJournal::FolderIn(const std::string& project_dir) {
  return project_dir + "TA_IMPORT.tmp";
}

std::string ImportJournal::PictureName(const std::string& name) {
  return platform::env::PortablePath({"KTPhotos", name});
}

std::string ImportJournal::BackupName(const std::string& name) {
  return platform::env::PortablePath({"TA_IMPORT.tmp", "bilder", name});
}

std::optional<std::string> ImportJournal::PathIn(const std::string& project_dir,
                                                 const std::string& name) {
  const std::optional<std::vector<std::string>> parts = platform::env::PortableParts(name);
  if (!parts) return std::nullopt;
  const std::vector<std::string>& p = *parts;
  const bool picture = p.size() == 2 && p[0] == "KTPhotos";
  const bool backup = p.size() == 3 && p[0] == "TA_IMPORT.tmp" && p[1] == "bilder";
  if (!picture && !backup) return std::nullopt;
  std::string path = project_dir;
  for (const std::string& part : p) path = platform::env::JoinPath(path, part);
  return path;
}

void ImportJournal::Adopt(const std::string& project_dir, const std::string& id) {
  platform::env::Env& env = platform::env::Env::Current();
  if (version != 1) {
    // Only the id changes; what was appended stays as it is.
    std::string text = platform::env::ReadFile(env, FileIn(project_dir));
    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (second == std::string::npos) throw platform::env::EnvError(EINVAL, "read", FileIn(project_dir));
    text.replace(first + 1, second - first - 1, "projekt\t" + id);
    platform::env::ReplaceFile(env, FileIn(project_dir), text);
    project_id = id;
    return;
  }
  const auto relative = [&project_dir](std::string& path) {
    if (const std::optional<std::string> below = platform::env::PortableBelow(project_dir, path)) {
      path = *below;
    }
  };
  for (Picture& picture : pictures) {
    relative(picture.path);
    relative(picture.backup);
  }
  version = 2;
  project_id = id;
  Write(project_dir);
}

std::string ImportJournal::Text() const {
  std::string out(version == 1 ? kHeaderVersion1 : kHeader);
  out += '\n';
  if (version != 1) out += Line("projekt").Add(project_id).End();
  out += Line("paket").Add(package).End();
  out += Line("tabellen")
             .Add(int64_t{before.list_exists})
             .Add(int64_t{before.pool_exists})
             .Add(int64_t{before.ids_exists})
             .Add(int64_t{before.fingerprints_exist})
             .End();
  for (const std::string& K : keys) out += Line("schluessel").Add(K).End();
  for (const TObjectMetadata& r : before.list) {
    out += Line("zeile")
               .Add(r.TID)
               .Add(r.KartulID)
               .Add(r.Vorgangsnummer)
               .Add(r.Schreibend)
               .Add(r.Kennung)
               .Add(r.Changed)
               .Add(r.Originalkennung)
               .End();
  }
  for (const PoolRow& r : before.pool) out += Line("pool").Add(r.TID).Add(r.Kennung).End();
  for (const FingerprintRow& r : before.fingerprints) {
    out += Line("fp").Add(r.TID).Add(r.Kennung).Add(r.Geometrie).Add(r.Attribute).End();
  }
  if (registered) out += Line("tid").Add(*registered).End();
  for (const auto& [K, id] : deleted) out += Line("geloescht").Add(K).Add(id).End();
  for (const std::string& K : loaded) out += Line("geladen").Add(K).End();
  for (const Rename& r : renamed) {
    out += Line("umbenannt").Add(int64_t{r.id}).Add(r.from).Add(r.to).End();
  }
  for (const ObjectRow& row : object_rows) {
    Line line("objektzeile");
    line.Add(row.table).Add(row.KartulID);
    for (const auto& [field, value] : row.fields) line.Add(field).Maybe(value);
    out += line.End();
  }
  for (const Foto& foto : fotos) {
    Line line("foto");
    line.Add(foto.FotoID);
    if (version != 1) line.Add(foto.Datei);
    out += line.End();
  }
  for (const Picture& p : pictures) {
    Line line("bild");
    line.Add(p.path).Maybe(p.backup.empty() ? std::optional<std::string>()
                                            : std::optional(p.backup));
    if (version != 1) line.Add(p.before);
    out += line.End();
  }
  if (version != 1) {
    for (const InPlace& object : in_place) {
      Line line("vorort");
      line.Add(object.Kennung).Add(int64_t{object.id});
      for (const InPlace::Value& v : object.values) line.Add(v.field).Add(v.before).Add(v.after);
      out += line.End();
    }
  }
  if (bases_before && version != 1) out += Line("basis").Add(*bases_before).End();
  out += "ende\n";
  if (snapshot_taken) out += Record({"schritt", "schnappschuss"});
  return out;
}

std::optional<ImportJournal> ImportJournal::Parse(const std::string& text, std::string& error) {
  ImportJournal journal;
  bool header = false, complete = false;
  // An undo's records count once it ends; until then its items are in flux.
  bool in_undo = false;
  std::set<Item> undo_flux;
  std::map<Item, std::string> undo_stands;
  size_t start = 0, number = 0;
  try {
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      // A last line without its end was cut off while it was written.
      if (end == std::string::npos) break;
      const std::string_view line(text.data() + start, end - start);
      start = end + 1;
      ++number;
      if (!header) {
        if (line == kHeaderVersion1) {
          journal.version = 1;
        } else if (line != kHeader) {
          error = "Die erste Zeile ist keine Kopfzeile eines Importjournals.";
          return std::nullopt;
        }
        header = true;
        continue;
      }
      const std::vector<std::optional<std::string>> f = Fields(line);
      const std::string& record = Str(f[0]);
      const auto need = [&](size_t n) {
        if (f.size() != n) throw Malformed{};
      };
      if (complete) {
        if (record == "schritt") {
          need(2);
          if (Str(f[1]) == "schnappschuss") {
            journal.snapshot_taken = true;
            journal.all_in_flux = true;
          } else if (Str(f[1]) == "fertig") {
            journal.committed = true;
          } else if (Str(f[1]) == "zeilen" && journal.version != 1) {
            journal.rows_merged = true;
          } else {
            throw Malformed{};
          }
        } else if (journal.version == 1) {
          throw Malformed{};
        } else if (record == "beginn") {
          need(1);
          in_undo = true;
          journal.undo_begun = true;
          undo_flux.clear();
          undo_stands.clear();
        } else if (record == "fluss" && in_undo) {
          need(3);
          undo_flux.emplace(Str(f[1]), Str(f[2]));
        } else if (record == "behalten") {
          need(3);
          journal.kept.emplace(Str(f[1]), Str(f[2]));
        } else if (record == "stand" && in_undo) {
          need(4);
          undo_stands[{Str(f[1]), Str(f[2])}] = Str(f[3]);
        } else if (record == "zurueck") {
          need(3);
          journal.restored[Str(f[1])].insert(Int(f[2]));
        } else if (record == "abschluss" && in_undo) {
          need(1);
          for (auto& [item, stand] : undo_stands) journal.stands[item] = std::move(stand);
          journal.all_in_flux = false;
          journal.in_flux.clear();
          in_undo = false;
          undo_flux.clear();
          undo_stands.clear();
        } else {
          throw Malformed{};
        }
        continue;
      }
      if (record == "projekt" && journal.version != 1) {
        need(2);
        journal.project_id = Str(f[1]);
      } else if (record == "paket") {
        need(2);
        journal.package = Str(f[1]);
      } else if (record == "tabellen") {
        need(5);
        journal.before.list_exists = Int(f[1]) != 0;
        journal.before.pool_exists = Int(f[2]) != 0;
        journal.before.ids_exists = Int(f[3]) != 0;
        journal.before.fingerprints_exist = Int(f[4]) != 0;
      } else if (record == "schluessel") {
        need(2);
        journal.keys.push_back(Str(f[1]));
      } else if (record == "zeile") {
        need(8);
        journal.before.list.push_back(
            {Int(f[1]), Int(f[2]), Int(f[3]), Int(f[4]), Str(f[5]), Str(f[6]), Str(f[7])});
      } else if (record == "pool") {
        need(3);
        journal.before.pool.push_back({Int(f[1]), Str(f[2])});
      } else if (record == "fp") {
        need(5);
        journal.before.fingerprints.push_back({Int(f[1]), Str(f[2]), Str(f[3]), Str(f[4])});
      } else if (record == "tid") {
        need(2);
        journal.registered = Int(f[1]);
      } else if (record == "geloescht") {
        need(3);
        journal.deleted.emplace_back(Str(f[1]), Int(f[2]));
      } else if (record == "geladen") {
        need(2);
        journal.loaded.push_back(Str(f[1]));
      } else if (record == "umbenannt") {
        need(4);
        journal.renamed.push_back({Int(f[1]), Str(f[2]), Str(f[3])});
      } else if (record == "objektzeile") {
        if (f.size() < 3 || f.size() % 2 != 1) throw Malformed{};
        ObjectRow& row = journal.object_rows.emplace_back();
        row.table = Str(f[1]);
        row.KartulID = Int(f[2]);
        for (size_t i = 3; i + 1 < f.size(); i += 2) row.fields.emplace_back(Str(f[i]), f[i + 1]);
      } else if (record == "foto") {
        need(journal.version == 1 ? 2 : 3);
        journal.fotos.push_back({Int(f[1]), journal.version == 1 ? std::string() : Str(f[2])});
      } else if (record == "bild") {
        need(journal.version == 1 ? 3 : 4);
        journal.pictures.push_back(
            {Str(f[1]), f[2].value_or(""), journal.version == 1 ? std::string() : Str(f[3])});
      } else if (record == "vorort" && journal.version != 1) {
        if (f.size() < 3 || f.size() % 3 != 0) throw Malformed{};
        InPlace& object = journal.in_place.emplace_back();
        object.Kennung = Str(f[1]);
        object.id = Int(f[2]);
        for (size_t i = 3; i + 2 < f.size(); i += 3) {
          object.values.push_back({Str(f[i]), Str(f[i + 1]), Str(f[i + 2])});
        }
      } else if (record == "basis" && journal.version != 1) {
        need(2);
        journal.bases_before = Str(f[1]);
      } else if (record == "ende") {
        need(1);
        complete = true;
      } else {
        throw Malformed{};
      }
    }
  } catch (const Malformed&) {
    error = "Die Zeile " + std::to_string(number + 1) + " ist nicht lesbar.";
    return std::nullopt;
  }
  if (!complete) {
    error = header ? "Der Plan endet vor seinem Ende." : "Die Datei ist leer.";
    return std::nullopt;
  }
  if (journal.version != 1 && journal.project_id.empty()) {
    error = "Das Journal nennt sein Projekt nicht.";
    return std::nullopt;
  }
  // An undo cut off: what it was putting back may be anywhere between.
  if (in_undo) journal.in_flux.insert(undo_flux.begin(), undo_flux.end());
  return journal;
}

void ImportJournal::Write(const std::string& project_dir) const {
  platform::env::ReplaceFile(platform::env::Env::Current(), FileIn(project_dir), Text());
}

std::string ImportJournal::Record(std::initializer_list<std::string> fields) {
  auto field = fields.begin();
  Line line(*field);
  for (++field; field != fields.end(); ++field) line.Add(*field);
  return line.End();
}

void ImportJournal::Append(const std::string& project_dir, const std::string& records) {
  platform::env::Env& env = platform::env::Env::Current();
  std::unique_ptr<platform::env::File> file =
      env.Open(FileIn(project_dir), platform::env::OpenMode::kReadWrite);
  file->WriteAt(file->Size(), records.data(), records.size());
  file->Sync();
}

void ImportJournal::AppendStep(const std::string& project_dir, const std::string& step) {
  Append(project_dir, Record({"schritt", step}));
}

ImportLock::~ImportLock() {
  try {
    file_->Unlock();
  } catch (...) {
    // Closing the file below drops the lock all the same.
  }
}

std::unique_ptr<ImportLock> ImportLock::Try(const std::string& project_dir,
                                            platform::env::LockAnswer& answer) {
  platform::env::Env& env = platform::env::Env::Current();
  const std::string path = ImportJournal::LockFileIn(project_dir);
  std::unique_ptr<platform::env::File> file;
  // Made by the first that needs it; two making it at once both open the
  // one that stays.
  for (int attempt = 0; !file; ++attempt) {
    try {
      file = env.Open(path, platform::env::OpenMode::kReadWrite);
    } catch (const platform::env::EnvError& e) {
      if (e.Code() != ENOENT || attempt > 0) throw;
      try {
        file = env.Open(path, platform::env::OpenMode::kCreateNew);
      } catch (const platform::env::EnvError& made) {
        if (made.Code() != EEXIST) throw;
      }
    }
  }
  answer = file->TryLockAnswer(platform::env::LockKind::kExclusive);
  if (answer == platform::env::LockAnswer::kBusy) return nullptr;
  return std::unique_ptr<ImportLock>(new ImportLock(std::move(file)));
}
