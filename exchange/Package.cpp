#include "exchange/Package.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/ini/IniFile.h"
#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"
#include "platform/text/Strings.h"

using platform::db::SqlText;
using platform::db::dialect::QuoteName;

namespace Package {

std::string PrefixOf(std::string_view file_name) {
  return std::string(platform::text::Utf8Prefix(file_name, kPrefixChars));
}

bool PrefixIsFileName(std::string_view prefix) {
  if (prefix.empty() || prefix == "." || prefix == "..") return false;
  if (!platform::text::IsValidUtf8(prefix) || !platform::text::FitsAnsi(prefix)) return false;
  for (const char c : prefix) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return false;
  }
  return !platform::env::HoldsAnySeparator(prefix);
}

std::string Names::ActionTableShort() const {
  return std::string(platform::text::Utf8Prefix(ActionTable(), 8));
}

namespace {

// The shapefile's companion files the host may write with a layer.
constexpr std::string_view kLayerExtensions[] = {".shp", ".shx", ".dbf", ".prj",
                                                 ".cpg", ".qix", ".sbn", ".sbx"};
constexpr std::string_view kLayerSuffixes[] = {"", "_lin", "_pkt", "_mpt"};

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool IsPackageFile(const Names& names, std::string_view file_name) {
  using platform::text::EqualsIgnoreCase;
  const std::string& P = names.P;
  for (const std::string& own : {P + "_rp.txt", P + ".tid", P + ".xml",
                                 names.ActionTable() + ".dbf", names.ActionTableShort() + ".dbf",
                                 names.PhotoTable() + ".dbf", names.PhotoTable() + ".dbt"}) {
    if (EqualsIgnoreCase(file_name, own)) return true;
  }
  for (std::string_view suffix : kLayerSuffixes) {
    for (std::string_view extension : kLayerExtensions) {
      if (EqualsIgnoreCase(file_name, P + std::string(suffix) + std::string(extension)))
        return true;
    }
  }
  return false;
}

bool IsTemporaryOf(std::string_view name, std::string_view file) {
  constexpr size_t kRandom = 6;
  if (name.size() != file.size() + 1 + kRandom || name.substr(0, file.size()) != file ||
      name[file.size()] != '.') {
    return false;
  }
  const std::string_view random = name.substr(file.size() + 1);
  return std::all_of(random.begin(), random.end(), IsAlnum);
}

std::optional<std::string> IncompletePackage(const Names& names) {
  namespace env = platform::env;
  using platform::text::EqualsIgnoreCase;
  const std::string folder_path = env::WithoutTrailingSeparator(names.D);
  const std::string package =
      "Im Ordner " + folder_path + " liegt ein unvollständiges Paket \"" + names.P + "\": ";
  std::vector<std::string> entries;
  try {
    entries = env::Env::Current().ListFolder(folder_path);
  } catch (const env::EnvError& error) {
    if (error.Code() == ENOENT) return std::nullopt;
    return "Der Ordner " + folder_path + " kann nicht gelesen werden: " + error.Reason();
  }
  const std::string staging = names.P + std::string(kStagingSuffix);
  // Only package P writes these names; others may share a prefix's start.
  const std::string own[] = {names.P + "_rp.txt",
                             names.P + ".xml",
                             names.P + ".shp",
                             names.ActionTable() + ".dbf",
                             names.ActionTableShort() + ".dbf",
                             names.P + "_Fotos"};
  env::Env& e = env::Env::Current();
  // A name counts only as what the package has under it: the photo folder
  // a folder, the others files.
  auto is = [&](const std::string& entry, bool folder) {
    try {
      const std::optional<env::FileStatus> status = e.LinkStatus(env::JoinPath(folder_path, entry));
      return status && status->IsFolder() == folder;
    } catch (const env::EnvError&) {
      return false;
    }
  };
  bool tid = false;
  for (const std::string& entry : entries) {
    if (EqualsIgnoreCase(entry, staging) && is(entry, true)) {
      return package + "ein Export dorthin wurde abgebrochen (der Ordner " + entry +
             " ist noch da).";
    }
    if (EqualsIgnoreCase(entry, names.P + ".tid") && is(entry, false)) tid = true;
  }
  if (tid) return std::nullopt;
  for (const std::string& name : own) {
    for (const std::string& entry : entries) {
      if (EqualsIgnoreCase(entry, name) && is(entry, name == own[std::size(own) - 1])) {
        return package + "die Datei " + names.P + ".tid fehlt, die ein Paket als letzte bekommt (" +
               entry + " ist da).";
      }
    }
  }
  return std::nullopt;
}

std::vector<std::string> ChangeListLines(const TStringList& changed, const TStringList& deleted,
                                         const TStringList& created) {
  std::vector<std::string> lines;
  auto block = [&lines](const std::string& title, const TStringList& kennungen) {
    lines.push_back(title + " (" + std::to_string(kennungen.size()) + ")");
    lines.insert(lines.end(), kennungen.begin(), kennungen.end());
  };
  block("Geänderte Objekte", changed);
  lines.emplace_back();
  block("Gelöschte Objekte", deleted);
  lines.emplace_back();
  block("Neue Objekte", created);
  return lines;
}

std::string ChangeListText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += platform::text::Utf8ToAnsi(line) + "\r\n";
  return text;
}

void WriteTidFile(const std::string& path, int32_t tid, int32_t strip) {
  platform::ini::IniFile ini(path);
  ini.WriteInteger(kTidSection, "Transaktion", tid);
  ini.WriteInteger(kTidSection, "GK-Streifen", strip);
}

TidData ReadTidFile(const std::string& path) {
  const platform::ini::IniFile ini(path);
  TidData data;
  data.Transaktion = ini.ReadInteger(kTidSection, "Transaktion", -1);
  data.Name = ini.ReadString(kTidSection, "Name", "unbekannt");
  data.Owner = ini.ReadString(kTidSection, "Owner", "unbekannt");
  data.GKStreifen = ini.ReadInteger(kTidSection, "GK-Streifen", 0);
  return data;
}

std::vector<ActionRow> ActionRowsOf(const TObjectMetadata& row) {
  if (row.Schreibend == TransActTools::kLesend) return {};
  const std::string& K = row.Kennung;
  const std::string& O = row.Originalkennung;
  const std::string M = row.Changed.empty() ? std::string(TransActTools::kIgnored) : row.Changed;
  if (K == O || O.empty()) return {{K, M.front()}};
  if (M == TransActTools::kDelete) return {{O, kGeloescht}};
  if (M == TransActTools::kUpdate) return {{O, kGeloescht}, {K, kNeu}};
  return {{K, M.front()}};
}

std::string CreateActionTableSql(std::string_view table) {
  return "create Table " + QuoteName(table) + "(KENNUNG char(" +
         std::to_string(kActionKennungWidth) + "), AKTION char(1))";
}

std::string InsertActionSql(std::string_view table, const ActionRow& row) {
  return "insert into " + QuoteName(table) + " (KENNUNG,AKTION) values ('" + SqlText(row.Kennung) +
         "','" + SqlText(std::string(1, row.Aktion)) + "')";
}

std::string CreatePhotoTableSql(std::string_view table, int quelle_width) {
  return "create Table " + QuoteName(table) +
         "(PhotoID integer, Kurzname char(50),Datei char(50),RW integer,HW integer,Richtung "
         "integer,Datum date,Quelle char(" +
         std::to_string(quelle_width) + "),Beschr memo)";
}

std::string DateLiteral(double date_time) {
  return platform::text::StatementDate(date_time);
}

namespace {

std::string NumberOrNull(const std::optional<int32_t>& value) {
  return value ? std::to_string(*value) : "null";
}

}  // namespace

std::string InsertPhotoSql(std::string_view table, const TFotoMetadaten& foto) {
  std::string date = foto.Aufnahmedatum ? DateLiteral(*foto.Aufnahmedatum) : std::string();
  if (date.empty()) date = "null";
  return "insert into " + QuoteName(table) +
         " (PhotoID,Kurzname,Datei,RW,HW,Richtung,Datum,Quelle,Beschr) values (" +
         std::to_string(foto.FotoID) + ",'" + SqlText(foto.Kurzname) + "','" +
         SqlText(foto.Dateiname) + "'," + NumberOrNull(foto.Rechtswert) + "," +
         NumberOrNull(foto.Hochwert) + "," + NumberOrNull(foto.Blickrichtung) + "," + date + ",'" +
         SqlText(foto.Quelle) + "','" + SqlText(foto.Beschreibung) + "')";
}

}  // namespace Package
