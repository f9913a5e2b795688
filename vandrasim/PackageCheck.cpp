// The package check (PackageCheck.h): each file of the package read on its
// own, the findings gathered in the order the files are looked at.
#include "vandrasim/PackageCheck.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

#include "platform/dbase/DbfFile.h"
#include "platform/ini/IniFile.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"
#include "vandrasim/Shapes.h"

namespace vandrasim {

using platform::dbase::Cell;
using platform::dbase::DbaseError;
using platform::dbase::DbfFile;
using platform::env::Env;
using platform::env::EnvError;
using platform::env::JoinPath;

std::vector<std::string> PackageNames::GeodataBases() const {
  return {prefix, prefix + "_lin", prefix + "_pkt", prefix + "_mpt"};
}

std::string PackageNames::ActionTableShortName() const {
  return std::string(platform::text::Utf8Prefix(prefix + "_aktion", 8)) + ".dbf";
}

namespace {

constexpr char kActionCodes[] = "NUDI";

// The actions of the table, by identifier: the set of codes given to it.
// A changed object whose identifier was changed gives its old identifier
// "D" and its new one "N", and a new object may take over the identifier a
// switch gave back, so an identifier may carry "D" and "N" together.
struct Actions {
  std::map<std::string, std::set<char>> codes;
  // Rows with the code D, counted: a deleted identifier may be written
  // once per object that gave it up.
  size_t deleted_rows = 0;
  // Identifiers of rows with a code the export never writes; they are told
  // once and left out of the comparisons.
  std::set<std::string> unknown;

  bool Present(const std::string& kennung) const {
    auto it = codes.find(kennung);
    return it != codes.end() && (it->second.count('N') || it->second.count('U'));
  }
  // Deleted and not given again to another object of the package.
  bool Gone(const std::string& kennung) const {
    auto it = codes.find(kennung);
    return it != codes.end() && it->second.count('D') && !Present(kennung);
  }
  bool Has(const std::string& kennung, char code) const {
    auto it = codes.find(kennung);
    return it != codes.end() && it->second.count(code);
  }
};

// The change list as the export writes it: three blocks, each headed with
// its title and the count of the identifier lines that follow.
struct ChangeList {
  std::vector<std::string> changed;
  std::vector<std::string> deleted;
  std::vector<std::string> created;
};

class Checker {
 public:
  Checker(Env& env, const PackageNames& names) : env_(env), names_(names) {}

  PackageReport Run() {
    CheckTid();
    std::optional<Actions> actions = ReadActions();
    std::optional<std::set<std::string>> xml = ReadXml();
    // A layer that cannot be read hides which objects are missing, but not
    // that a deleted one is still in a layer that can.
    bool geodata_whole = true;
    const std::map<std::string, std::string> geodata = ReadGeodata(geodata_whole);
    if (actions) {
      for (const auto& [kennung, codes] : actions->codes) {
        (void)codes;
        if (actions->Present(kennung)) {
          if (xml && !xml->count(kennung))
            Sach("Objekt " + kennung +
                 ": neu oder geändert gemeldet, fehlt aber in der XML-Datei " + names_.XmlName());
          if (geodata_whole && !geodata.count(kennung))
            Grafik("Objekt " + kennung +
                   ": neu oder geändert gemeldet, fehlt aber in den Geodaten " + names_.prefix +
                   "*.shp");
        } else if (actions->Gone(kennung)) {
          if (xml && xml->count(kennung))
            Sach("Objekt " + kennung +
                 ": als gelöscht gemeldet, steht aber noch in der XML-Datei " + names_.XmlName());
          if (auto layer = geodata.find(kennung); layer != geodata.end())
            Grafik("Objekt " + kennung +
                   ": als gelöscht gemeldet, steht aber noch in den Geodaten " + layer->second);
        }
      }
    }
    const std::optional<ChangeList> change_list = ReadChangeList();
    if (actions && change_list) CompareChangeList(*actions, *change_list);
    if (actions) {
      // Only new and changed objects go out as attributes and geodata; one
      // the action table does not name (or names with an unknown code) is
      // told once, whatever else it is.
      auto unannounced = [&](const std::string& kennung) {
        return !actions->Present(kennung) && !actions->Gone(kennung) &&
               actions->unknown.count(kennung) == 0;
      };
      if (xml) {
        for (const std::string& kennung : *xml) {
          if (unannounced(kennung))
            Sach("Objekt " + kennung + ": steht in der XML-Datei " + names_.XmlName() +
                 ", ist in der Aktionstabelle aber nicht als neu oder geändert gemeldet");
        }
      }
      for (const auto& [kennung, layer] : geodata) {
        if (unannounced(kennung))
          Grafik("Objekt " + kennung + ": steht in den Geodaten " + layer +
                 ", ist in der Aktionstabelle aber nicht als neu oder geändert gemeldet");
      }
    }
    CheckPhotos();
    return std::move(report_);
  }

 private:
  void Sach(std::string text) {
    report_.findings.push_back({FindingKind::kSachdaten, std::move(text)});
  }
  void Grafik(std::string text) {
    report_.findings.push_back({FindingKind::kGrafik, std::move(text)});
  }

  // The real name of a package file, and the file taken into the list of
  // the package's files.
  std::optional<std::string> Find(const std::string& name) {
    std::optional<std::string> found = platform::env::FindNoCase(env_, names_.folder, name);
    if (found) report_.files.push_back(JoinPath(names_.folder, *found));
    return found;
  }

  void CheckTid() {
    std::optional<std::string> tid = Find(names_.TidName());
    if (!tid) {
      Sach("Datei " + names_.TidName() + ": fehlt; die Transaktion ist unbekannt");
      return;
    }
    platform::ini::IniFile ini(JoinPath(names_.folder, *tid));
    const std::string value = ini.ReadString("Transaktionsdaten", "Transaktion", "");
    if (!ini.LastError().empty()) {
      Sach("Datei " + *tid + ": nicht lesbar: " + ini.LastError());
      return;
    }
    if (value.empty()) {
      Sach("Datei " + *tid + ": Abschnitt [Transaktionsdaten], Schlüssel Transaktion fehlt");
      return;
    }
    // Digits only: a sign, a fraction or a number the central system's
    // 32-bit counters cannot hold is no transaction number.
    const bool digits = value.size() <= 10 && std::all_of(value.begin(), value.end(), [](char c) {
                          return c >= '0' && c <= '9';
                        });
    const int64_t number = digits ? std::stoll(value) : -1;
    if (!digits || number > INT32_MAX) {
      Sach("Datei " + *tid + ": Transaktion=" + value + " ist keine Transaktionsnummer");
      return;
    }
    report_.transaktion = number;
  }

  // The change list is written for people, but it is written from the same
  // rows as the action table: a list that does not fit the table belongs to
  // another export, or to one that was cut.
  std::optional<ChangeList> ReadChangeList() {
    const std::optional<std::string> file = Find(names_.ChangeListName());
    if (!file) {
      Sach("Datei " + names_.ChangeListName() + ": fehlt");
      return std::nullopt;
    }
    std::string text;
    try {
      text = platform::env::ReadFile(env_, JoinPath(names_.folder, *file));
    } catch (const EnvError& e) {
      Sach("Datei " + *file + ": nicht lesbar: " + e.what());
      return std::nullopt;
    }
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(platform::text::AnsiToUtf8(line));
      pos = end + 1;
    }
    ChangeList list;
    size_t at = 0;
    const std::pair<const char*, std::vector<std::string>*> blocks[] = {
        {"Geänderte Objekte", &list.changed},
        {"Gelöschte Objekte", &list.deleted},
        {"Neue Objekte", &list.created}};
    for (size_t b = 0; b < std::size(blocks); ++b) {
      const std::string title = blocks[b].first;
      if (b > 0) {
        if (at >= lines.size() || !lines[at].empty()) {
          Sach("Datei " + *file + ", Zeile " + std::to_string(at + 1) + ": keine Leerzeile vor \"" +
               title + "\"; die Liste ist unvollständig");
          return std::nullopt;
        }
        ++at;
      }
      const std::string head = at < lines.size() ? lines[at] : std::string();
      size_t count = 0;
      const bool headed =
          head.size() > title.size() + 3 && head.rfind(title + " (", 0) == 0 && head.back() == ')';
      const std::string digits =
          headed ? head.substr(title.size() + 2, head.size() - title.size() - 3) : std::string();
      if (!headed || digits.empty() || digits.size() > 9 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        Sach("Datei " + *file + ", Zeile " + std::to_string(at + 1) + ": \"" + title +
             " (Anzahl)\" erwartet; die Liste ist unvollständig");
        return std::nullopt;
      }
      count = std::stoul(digits);
      ++at;
      if (lines.size() - at < count) {
        Sach("Datei " + *file + ": \"" + head + "\", aber nur " +
             std::to_string(lines.size() - at) + " Zeilen folgen; die Liste ist unvollständig");
        return std::nullopt;
      }
      for (size_t i = 0; i < count; ++i, ++at) {
        blocks[b].second->push_back(std::string(platform::text::Trim(lines[at])));
      }
    }
    // After the last block the file ends (its last line end leaves one
    // empty piece).
    if (at < lines.size() && !(at + 1 == lines.size() && lines[at].empty())) {
      Sach("Datei " + *file + ", Zeile " + std::to_string(at + 1) +
           ": mehr Zeilen, als \"Neue Objekte\" zählt");
      return std::nullopt;
    }
    return list;
  }

  void CompareChangeList(const Actions& actions, const ChangeList& list) {
    const std::string where = "in der Änderungsliste " + names_.ChangeListName();
    const std::set<std::string> changed(list.changed.begin(), list.changed.end());
    const std::set<std::string> created(list.created.begin(), list.created.end());
    auto known = [&](const std::string& k) { return actions.unknown.count(k) == 0; };
    for (const std::string& k : created) {
      if (known(k) && !actions.Has(k, 'N'))
        Sach("Objekt " + k + ": " + where + " neu, in der Aktionstabelle aber nicht mit N");
    }
    // A changed object whose identifier changed goes out as its old
    // identifier deleted and the new one created.
    size_t renamed = 0;
    for (const std::string& k : changed) {
      if (!known(k)) continue;
      if (actions.Has(k, 'U')) continue;
      if (actions.Has(k, 'N')) {
        ++renamed;
      } else {
        Sach("Objekt " + k + ": " + where + " geändert, in der Aktionstabelle aber nicht mit U");
      }
    }
    for (const auto& [k, codes] : actions.codes) {
      if (codes.count('U') && !changed.count(k))
        Sach("Objekt " + k + ": in der Aktionstabelle mit U, fehlt aber " + where);
      if (codes.count('N') && !created.count(k) && !changed.count(k))
        Sach("Objekt " + k + ": in der Aktionstabelle mit N, fehlt aber " + where);
    }
    // Each deleted object, and each changed one under a new identifier,
    // gives exactly one row D.
    const size_t expected = list.deleted.size() + renamed;
    if (actions.deleted_rows != expected) {
      Sach("Tabelle " + names_.ActionTableName() + ": " + std::to_string(actions.deleted_rows) +
           " Zeilen mit D, " + where + " stehen " + std::to_string(list.deleted.size()) +
           " gelöschte und " + std::to_string(renamed) + " umbenannte Objekte");
    }
  }

  // Reads a table; a damaged one is one finding naming the file (and the
  // record and field where the codec tells them).
  template <typename Row>
  bool ReadTable(const std::string& file, const std::vector<std::string>& columns, Row&& row) {
    try {
      std::unique_ptr<DbfFile> table = DbfFile::Open(JoinPath(names_.folder, file), false, env_);
      std::vector<int> at;
      for (const std::string& c : columns) {
        const int i = table->FieldIndex(c);
        if (i < 0) {
          Sach("Tabelle " + file + ": Feld " + c + " fehlt");
          return false;
        }
        at.push_back(i);
      }
      table->BeginRead();
      try {
        for (uint32_t rec = 0; rec < table->RecordCount(); ++rec) {
          if (table->IsDeleted(rec)) continue;
          // Every field is read, memos included: a table is whole only when
          // each of its values can be read, not just those looked at here.
          std::vector<Cell> all;
          for (int i = 0; i < static_cast<int>(table->Fields().size()); ++i)
            all.push_back(table->Read(rec, i));
          std::vector<Cell> cells;
          for (int i : at) cells.push_back(all[static_cast<size_t>(i)]);
          row(rec, cells);
        }
      } catch (...) {
        table->EndRead();
        throw;
      }
      table->EndRead();
      return true;
    } catch (const DbaseError& e) {
      Sach("Tabelle " + file + ": nicht lesbar: " + e.what());
    } catch (const EnvError& e) {
      Sach("Tabelle " + file + ": nicht lesbar: " + e.what());
    }
    return false;
  }

  std::optional<Actions> ReadActions() {
    std::optional<std::string> file = Find(names_.ActionTableName());
    if (!file) file = Find(names_.ActionTableShortName());
    if (!file) {
      Sach("Tabelle " + names_.ActionTableName() + ": fehlt");
      return std::nullopt;
    }
    Actions actions;
    const bool read =
        ReadTable(*file, {"KENNUNG", "AKTION"}, [&](uint32_t rec, const std::vector<Cell>& c) {
          const std::string where = "Tabelle " + *file + ", Satz " + std::to_string(rec + 1);
          const std::string kennung(platform::text::Trim(c[0].text));
          const std::string code(platform::text::Trim(c[1].text));
          if (kennung.empty()) {
            Sach(where + ", Feld KENNUNG: keine Kennung");
            return;
          }
          if (code.size() != 1 || !std::strchr(kActionCodes, code[0])) {
            Sach("Objekt " + kennung + ": unbekannter Aktionscode \"" + code + "\" (" + where +
                 ", Feld AKTION)");
            actions.unknown.insert(kennung);
            return;
          }
          actions.codes[kennung].insert(code[0]);
          if (code[0] == 'D') ++actions.deleted_rows;
        });
    if (!read) return std::nullopt;
    return actions;
  }

  std::optional<std::set<std::string>> ReadXml() {
    std::optional<std::string> file = Find(names_.XmlName());
    if (!file) {
      Sach("Datei " + names_.XmlName() + ": fehlt");
      return std::nullopt;
    }
    try {
      std::vector<std::string> all =
          XmlObjectKennungen(platform::env::ReadFile(env_, JoinPath(names_.folder, *file)), *file);
      return std::set<std::string>(all.begin(), all.end());
    } catch (const EnvError& e) {
      Sach("Datei " + *file + ": nicht lesbar: " + e.what());
    } catch (const std::runtime_error& e) {
      Sach("Datei " + *file + ": kein gültiges XML: " + e.what());
    }
    return std::nullopt;
  }

  // One layer: the shapes and their attribute table, which must match
  // record for record; false when the layer cannot be used.
  bool ReadLayer(const std::string& shp, const std::string& dbf,
                 std::map<std::string, std::string>& out) {
    const std::unique_ptr<ShapeFile> shapes = ShapeFile::Open(env_, JoinPath(names_.folder, shp));
    if (!shapes) {
      Grafik("Geodaten " + shp + ": nicht lesbar (Kopf oder Index .shx beschädigt oder fehlend)");
      return false;
    }
    std::vector<std::string> kennungen;
    bool ok = true;
    try {
      std::unique_ptr<DbfFile> table = DbfFile::Open(JoinPath(names_.folder, dbf), false, env_);
      const int f = table->FieldIndex("KENNUNG");
      if (f < 0) {
        Grafik("Geodaten " + dbf + ": Feld KENNUNG fehlt");
        ok = false;
      } else {
        table->BeginRead();
        try {
          for (uint32_t rec = 0; rec < table->RecordCount(); ++rec) {
            for (int i = 0; i < static_cast<int>(table->Fields().size()); ++i) table->Read(rec, i);
            kennungen.push_back(std::string(platform::text::Trim(table->Read(rec, f).text)));
          }
        } catch (...) {
          table->EndRead();
          throw;
        }
        table->EndRead();
      }
    } catch (const DbaseError& e) {
      Grafik("Geodaten " + dbf + ": nicht lesbar: " + e.what());
      ok = false;
    } catch (const EnvError& e) {
      Grafik("Geodaten " + dbf + ": nicht lesbar: " + e.what());
      ok = false;
    }
    if (ok && shapes->Count() != kennungen.size()) {
      Grafik("Geodaten " + shp + ": " + std::to_string(shapes->Count()) + " Geometrien, aber " +
             std::to_string(kennungen.size()) + " Sätze in " + dbf);
      ok = false;
    }
    for (size_t i = 0; ok && i < shapes->Count(); ++i) {
      const ShapeState state = shapes->Read(i);
      const std::string& kennung = kennungen[i];
      if (state == ShapeState::kUnreadable) {
        Grafik((kennung.empty() ? "Geodaten " + shp : "Objekt " + kennung + ": Geodaten " + shp) +
               ", Satz " + std::to_string(i + 1) + ": Geometrie nicht lesbar");
        continue;
      }
      const bool empty = state == ShapeState::kNoPoints;
      if (kennung.empty()) {
        Grafik("Geodaten " + dbf + ", Satz " + std::to_string(i + 1) +
               ", Feld KENNUNG: keine Kennung");
      } else {
        // Present all the same: its empty geometry is the one finding.
        if (empty)
          Grafik("Objekt " + kennung + ": Geodaten " + shp + ", Satz " + std::to_string(i + 1) +
                 ": Geometrie ohne Punkte");
        out.emplace(kennung, shp);
      }
    }
    return ok;
  }

  // The identifiers of every layer that can be read, each with its layer's
  // file; `usable` turns false when a layer cannot.
  std::map<std::string, std::string> ReadGeodata(bool& usable) {
    std::map<std::string, std::string> kennungen;
    usable = true;
    bool first = true;
    for (const std::string& base : names_.GeodataBases()) {
      std::optional<std::string> shp = Find(base + ".shp");
      // The areas' layer is always written; the others only when there are
      // such objects.
      if (!shp) {
        if (first) {
          Grafik("Geodaten " + base + ".shp: fehlen");
          usable = false;
        }
        first = false;
        continue;
      }
      first = false;
      std::optional<std::string> shx = Find(base + ".shx");
      std::optional<std::string> dbf = Find(base + ".dbf");
      for (const char* ext : {".prj", ".cpg"}) Find(base + ext);
      if (!shx || !dbf) {
        Grafik("Geodaten " + *shp + ": " + (shx ? base + ".dbf" : base + ".shx") + " fehlt");
        usable = false;
        continue;
      }
      if (!ReadLayer(*shp, *dbf, kennungen)) usable = false;
    }
    return kennungen;
  }

  // The photo folder, found without regard to case.
  std::optional<std::string> PhotoFolder() {
    const std::string wanted = names_.PhotoFolderName();
    std::vector<std::string> entries;
    try {
      entries = env_.ListFolder(names_.folder);
    } catch (const EnvError&) {
      return std::nullopt;
    }
    std::sort(entries.begin(), entries.end());
    auto is_folder = [&](const std::string& e) {
      auto st = env_.Stat(JoinPath(names_.folder, e));
      return st && st->IsFolder();
    };
    if (std::find(entries.begin(), entries.end(), wanted) != entries.end() && is_folder(wanted))
      return JoinPath(names_.folder, wanted);
    for (const std::string& e : entries)
      if (platform::text::EqualsIgnoreCase(e, wanted) && is_folder(e))
        return JoinPath(names_.folder, e);
    return std::nullopt;
  }

  void CheckPhotos() {
    std::optional<std::string> table = Find(names_.PhotoTableName());
    if (!table) {
      Sach("Tabelle " + names_.PhotoTableName() + ": fehlt");
      return;
    }
    Find(names_.PhotoMemoName());
    const std::optional<std::string> folder = PhotoFolder();
    std::set<std::string> copied;
    ReadTable(*table, {"PHOTOID", "DATEI"}, [&](uint32_t rec, const std::vector<Cell>& c) {
      const std::string datei(platform::text::Trim(c[1].text));
      const std::string id = c[0].kind == Cell::Kind::kInteger ? std::to_string(c[0].integer) : "?";
      const std::string where = "Tabelle " + *table + ", Satz " + std::to_string(rec + 1);
      if (datei.empty()) {
        Sach("Foto " + id + ": keine Datei angegeben (" + where + ", Feld DATEI)");
        return;
      }
      // A name with a path would reach outside the photo folder.
      if (datei.find_first_of("/\\") != std::string::npos || datei == "." || datei == "..") {
        Sach("Foto " + id + ": Dateiname \"" + datei + "\" ist kein einfacher Dateiname (" + where +
             ", Feld DATEI)");
        return;
      }
      std::optional<std::string> found =
          folder ? platform::env::FindNoCase(env_, *folder, datei) : std::nullopt;
      if (!found) {
        Sach("Foto " + id + ": Datei " + datei + " fehlt im Fotoordner " +
             names_.PhotoFolderName() + " (" + where + ")");
        return;
      }
      if (copied.insert(*found).second) report_.files.push_back(JoinPath(*folder, *found));
    });
  }

  Env& env_;
  const PackageNames& names_;
  PackageReport report_;
};

}  // namespace

PackageReport CheckPackage(Env& env, const PackageNames& names) {
  return Checker(env, names).Run();
}

}  // namespace vandrasim
