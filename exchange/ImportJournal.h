// The import's journal: what an import is about to change, written to the
// project folder and synced before its first change, and removed after its
// last. A journal found when a project is loaded says that an import was
// cut off (the program killed, the machine down); with it and the snapshot
// in the import's folder, the project is put back as it was before.
//
// Crash contract: the journal is written whole into a temporary file that
// is synced and renamed over "TA_IMPORT.jnl" (the folder synced after), so
// it is there whole or not at all. Steps are appended as they are reached,
// each line synced before the work it announces; a line cut short by a
// kill is no step. The import's folder "TA_IMPORT.tmp" holds the snapshot
// (the host's objects, the pictures to be replaced) and the copies the host
// loads; it goes with the journal.
//
// The format is text (UTF-8), one record a line, its fields separated by a
// tab; a backslash, tab, line feed or carriage return inside a field is
// written as \\, \t, \n, \r, and a field without a value as \N:
//   VANDRA-IMPORT 1                 first line
//   paket <D + P>                   the package
//   tabellen <l> <k> <i> <f>        which of TA_LIST, TA_KL, TA_ID, TA_FP were there (0/1)
//   schluessel <K>                  an identifier whose rows the import may change
//   zeile <TID> <KARTULID> <VGNR> <SCHREIBEND> <KENNUNG> <CHANGED> <KENNUNGO>
//   pool <TID> <KENNUNG>            the rows of those identifiers as they were
//   fp <TID> <KENNUNG> <GEOMETRIE> <ATTRIBUTE>
//   tid <TID>                       the transaction the import registers in TA_ID
//   geloescht <K> <id>              an object the import deletes, with its id
//   geladen <K>                     an identifier the host loads from the package
//   umbenannt <id> <alt> <K>        an object the import gives its checked-out
//                                   identifier back
//   objektzeile <Tabelle> <id> (<Feld> <Wert>)...   a row of Objektphotos or
//                                   Pflanzenliste of a deleted object
//   foto <FotoID>                   a catalogue row the import appends
//   bild <Datei> <Sicherung>        a picture of KTPhotos the import writes; the
//                                   copy of the old one in the import's folder,
//                                   \N for a picture that is new
//   ende                            the plan is complete
//   schritt schnappschuss           (appended) the snapshot is taken: changes begin
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "photos/Fotoverwaltung.h"
#include "transaction/TransactionStore.h"

struct ImportJournal {
  std::string package;
  std::vector<std::string> keys;
  RowsOfKeys before;
  std::optional<int32_t> registered;
  std::vector<std::pair<std::string, int32_t>> deleted;
  std::vector<std::string> loaded;
  struct Rename {
    int32_t id = 0;
    std::string from;
    std::string to;
    bool operator==(const Rename&) const = default;
  };
  std::vector<Rename> renamed;
  std::vector<ObjectRow> object_rows;
  std::vector<int32_t> fotos;
  struct Picture {
    std::string path;
    std::string backup;  // empty: the picture is new
    bool operator==(const Picture&) const = default;
  };
  std::vector<Picture> pictures;
  // Appended as the import goes: the snapshot is complete.
  bool snapshot_taken = false;

  // The file and the folder in the project folder (with its delimiter).
  static std::string FileIn(const std::string& project_dir);
  static std::string FolderIn(const std::string& project_dir);

  // The journal as its file holds it.
  std::string Text() const;
  // Reads a journal; nothing when the text is not a whole journal (a plan
  // without its end), with the reason in `error`.
  static std::optional<ImportJournal> Parse(const std::string& text, std::string& error);

  // Writes the journal file as the crash contract says. Throws EnvError.
  void Write(const std::string& project_dir) const;
  // Appends a step to the file and syncs it. Throws EnvError.
  static void AppendStep(const std::string& project_dir, const std::string& step);
};
