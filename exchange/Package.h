// The exchange package with the central system VANDRA: the names of its
// files, the change list, the transaction file (.tid), the action table and
// the photo table. The export writes a package; the import and the check-in
// read packages of the same family through the same definitions, so a name
// or a column is spelt in one place only.
//
// Statements are the system's own texts, but table names go between double
// quotes: a prefix may hold a dot, a hyphen, a quote or a letter outside
// ASCII, and an unquoted "ab.xml_a" would name a table of a database "ab".
// Text values have their single quotes doubled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "photos/tables/PhotoRows.h"
#include "platform/env/Path.h"
#include "transaction/TransActTools.h"

namespace Package {

// A prefix names every file of a package: its first six characters
// (counted as characters, not bytes).
inline constexpr size_t kPrefixChars = 6;
// The longest path the host takes for its geodata export, in ANSI bytes.
inline constexpr size_t kMaxHostPath = 255;

// The prefix of a chosen file name: its first six characters, the extension
// counting as part of the name ("ab.xml" stays whole, "abcdefgh" gives
// "abcdef").
std::string PrefixOf(std::string_view file_name);
// Whether a prefix can name files at all (it is neither empty, "." nor "..",
// holds no path delimiter or control character, and has only characters the
// host's code page has, since the host gets the names as ANSI). A blank is
// a file name character; the export refuses it on its own rule.
bool PrefixIsFileName(std::string_view prefix);

// The folder beside a package's files in which the export writes the whole
// package before it moves the files into their folder: P + this suffix.
inline constexpr std::string_view kStagingSuffix = "_Export.tmp";

// The files of one package in folder D (ending with the path delimiter)
// under prefix P.
struct Names {
  std::string D;
  std::string P;

  std::string StagingFolder() const { return D + P + std::string(kStagingSuffix); }
  // The same package as the export writes it into the staging folder.
  Names Staged() const { return {platform::env::WithTrailingSeparator(StagingFolder()), P}; }

  std::string ChangeListFile() const { return D + P + "_rp.txt"; }
  std::string TidFile() const { return D + P + ".tid"; }
  std::string XmlFile() const { return D + P + ".xml"; }
  std::string ShpFile() const { return D + P + ".shp"; }
  // The action table's full name and the name it is created under (its
  // first eight characters); the table file is the name + ".dbf".
  std::string ActionTable() const { return P + "_aktion"; }
  std::string ActionTableShort() const;
  std::string PhotoTable() const { return P + "pc"; }
  std::string PhotoFolder() const { return D + P + "_Fotos"; }
};

// ---- A package whole or not ---------------------------------------------------------

// Whether a file name (without folder) is a file of the package in its
// folder, compared without regard to case as the host's file system
// compares: the plug-in's files (change list, .tid, .xml, the action table
// under its full and its short name, the photo table with its memo file)
// and the host's geodata layers under the prefix (P, P + "_lin", "_pkt",
// "_mpt", each with the shapefile's companion extensions). These are the
// files an earlier export of P left that a new one replaces or removes.
bool IsPackageFile(const Names& names, std::string_view file_name);
// Whether a file name is a temporary file that a write of `file` left
// behind: `file` + "." + six letters or digits.
bool IsTemporaryOf(std::string_view name, std::string_view file);

// Why the package P in folder D is incomplete, as the mapper is told it in
// German; nothing when it is whole or there is none. A package gets its
// .tid last, so it is incomplete when its folder holds the staging folder of
// an export that was cut, or files that only package P writes (its change
// list, attribute file, area layer, action table, photo folder) without the
// .tid. A folder that cannot be read is told as such. Never throws.
std::optional<std::string> IncompletePackage(const Names& names);

// ---- Change list (P + "_rp.txt") -----------------------------------------------

// The change list's lines: the changed, the deleted and the new identifiers,
// each block headed with its count, an empty line between the blocks.
std::vector<std::string> ChangeListLines(const TStringList& changed, const TStringList& deleted,
                                         const TStringList& created);
// The lines as the file holds them: Windows-1252, each ended by CR LF.
std::string ChangeListText(const std::vector<std::string>& lines);

// ---- Transaction file (P + ".tid") -----------------------------------------------

inline constexpr std::string_view kTidSection = "Transaktionsdaten";

struct TidData {
  int32_t Transaktion = -1;
  std::string Name = "unbekannt";
  std::string Owner = "unbekannt";
  int32_t GKStreifen = 0;
};
// Sets the two keys the export writes; the file's other keys stay. Throws
// what the ini file's write throws.
void WriteTidFile(const std::string& path, int32_t tid, int32_t strip);
// The keys as the import reads them, with their defaults.
TidData ReadTidFile(const std::string& path);

// ---- Action table (P + "_aktion.dbf") -------------------------------------------------

// Action codes.
inline constexpr char kNeu = 'N';
inline constexpr char kGeaendert = 'U';
inline constexpr char kGeloescht = 'D';
inline constexpr char kUnveraendert = 'I';

// The width of the column KENNUNG.
inline constexpr size_t kActionKennungWidth = 41;

struct ActionRow {
  std::string Kennung;
  char Aktion = kUnveraendert;
  bool operator==(const ActionRow&) const = default;
};
// The rows one transaction list row gives (none for a read-only row): an
// identifier changed since the checkout of a changed object goes out as its
// old identifier deleted and its new one created.
std::vector<ActionRow> ActionRowsOf(const TObjectMetadata& row);
std::string CreateActionTableSql(std::string_view table);
std::string InsertActionSql(std::string_view table, const ActionRow& row);

// ---- Photo table (P + "pc.dbf") -----------------------------------------------------------

// One photo's metadata, as the catalogue holds it too.
using tables::TFotoMetadaten;

// The width of the column Quelle: 254 in the full build, 255 in the earlier
// one (the dBase length byte allows 255).
std::string CreatePhotoTableSql(std::string_view table, int quelle_width);
std::string InsertPhotoSql(std::string_view table, const TFotoMetadaten& foto);
// A date value as the statements write it ("#3-5-2024#"); empty when the
// value is no date.
std::string DateLiteral(double date_time);

}  // namespace Package
