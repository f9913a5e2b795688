// The import's journal: what an import is about to change, written to the
// project folder and synced before its first change, and removed after its
// last. A journal found when a project is loaded says that an import was
// cut off (the program killed, the machine down) or could not be taken back
// whole; with it and the snapshot in the import's folder, the project is
// put back as it was before, as far as nothing has changed since.
//
// A journal belongs to one running import of one project folder:
// - the lock file "TA_IMPORT.lck" beside it (ImportLock) is locked by the
//   import for its whole run, before the journal is written and until the
//   journal is gone, and by whoever takes a journal back; a journal whose
//   lock another process holds is that process's and is left alone;
// - it records the project's id (ProjectIdentity.h), so that a journal
//   copied into another project is never applied there;
// - every path in it inside the project is relative to the project folder,
//   so that a copied project never reaches into the original's folder.
//
// Crash contract: the plan is written whole into a temporary file that is
// synced and renamed over "TA_IMPORT.jnl" (the folder synced after), so it
// is there whole or not at all. Records are appended as the import and its
// undo go on, each block synced before the work it announces; a line cut
// short by a kill is no record. The import's folder "TA_IMPORT.tmp" holds
// the snapshot (the host's objects, the pictures to be replaced) and the
// copies the host loads; it goes with the journal.
//
// The format is text (UTF-8), one record a line, its fields separated by a
// tab; a backslash, tab, line feed or carriage return inside a field is
// written as \\, \t, \n, \r, and a field without a value as \N:
//   VANDRA-IMPORT 2                 first line (1: a journal of earlier
//                                   versions: no id, absolute paths, no
//                                   records after the snapshot step)
//   projekt <id>                    the project folder's id
//   paket <D + P>                   the package, for the mapper's information
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
//   foto <FotoID> <Datei>           a catalogue row the import appends, with
//                                   its picture's name
//   bild <Datei> <Sicherung> <FP>   a picture of KTPhotos the import writes
//                                   ("KTPhotos/name"); the copy of the old one
//                                   in the import's folder, \N for a new one;
//                                   the old one's print, "-" for none
//   vorort <K> <id> (<Feld> <vorher> <nachher>)...
//                                   an object a re-import's merge keeps, the
//                                   package's values written into its "linfos"
//                                   row: each field as it was and as written
//   basis <FP>                      the import rewrites the record of bases
//                                   ("TA_BASIS.dat", ImportBases.h): the old
//                                   file's print ("-" for none); its copy is
//                                   "TA_BASIS.dat" in the import's folder
//   ende                            the plan is complete
// Appended as the import and its undo go on:
//   schritt schnappschuss           the snapshot is taken: changes begin, and
//                                   until an "abschluss" everything the plan
//                                   names may differ from its state before
//   schritt zeilen                  the rows are merged: every row the import
//                                   wrote since carries "IGNORED" or its old mark
//   schritt fertig                  the import went through: nothing to take back
//   beginn                          an undo begins to put back the items
//   fluss <Art> <Schluessel>        ... named so; they may be anywhere between
//                                   what the import left and what was before
//   behalten <Art> <Schluessel>     an item changed since the import: it stays
//   stand <Art> <Schluessel> <FP>   an item as the import and its undo left it
//   zurueck <K> <id>                an object the undo loaded back from the
//                                   snapshot, under its new id
//   abschluss                       the undo ended: its "stand" records are
//                                   complete, nothing is in flux any more
// The kinds of items (Art): liste, pool, fp (rows of an identifier in TA_LIST,
// TA_KL, TA_FP), objekt (the host's object of an identifier: its id, and its
// geometry and attribute fingerprints where the host gave them), umbenannt
// (an object given its checked-out identifier back, by its id), foto (a
// catalogue row by FotoID), bild (a picture by its path in the project); an
// undo names an identifier's items together as schluessel.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "photos/tables/Fotoverwaltung.h"
#include "platform/env/Env.h"
#include "transaction/TransActTools.h"

struct ImportJournal {
  // 2 for journals written now; 1 for those of earlier versions.
  int version = 2;
  std::string project_id;  // empty in version 1
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
  struct Foto {
    int32_t FotoID = 0;
    std::string Datei;  // empty in version 1
    bool operator==(const Foto&) const = default;
  };
  std::vector<Foto> fotos;
  struct Picture {
    std::string path;    // relative to the project folder (version 1: absolute)
    std::string backup;  // the same; empty: the picture is new
    // The old picture's print (ImportUndo::PicturePrint), so that it is
    // known as before without its backup (a copy of the project may lack
    // it); empty in version 1.
    std::string before;
    bool operator==(const Picture&) const = default;
  };
  std::vector<Picture> pictures;
  struct InPlace {
    std::string Kennung;
    int32_t id = 0;
    struct Value {
      std::string field;
      std::string before;
      std::string after;
      bool operator==(const Value&) const = default;
    };
    std::vector<Value> values;
    bool operator==(const InPlace&) const = default;
  };
  std::vector<InPlace> in_place;
  // The old record of bases' print (ImportUndo::PicturePrint), when the
  // import rewrites the record; nothing when it leaves it alone.
  std::optional<std::string> bases_before;

  // ---- What was appended --------------------------------------------------------
  // One item of the project the import may have changed.
  using Item = std::pair<std::string, std::string>;  // kind, key
  bool snapshot_taken = false;  // changes may have begun
  bool committed = false;       // the import went through
  // The import merged its rows: from then on it writes no change mark,
  // and a mark it did not find is someone else's - until an undo begins,
  // whose deletions the earlier builds' deletion hook marks.
  bool rows_merged = false;
  bool undo_begun = false;
  // Whether everything the plan names may be in flux: from the snapshot
  // until an undo's "abschluss".
  bool all_in_flux = false;
  std::set<Item> in_flux;                   // named by an undo that did not end
  std::set<Item> kept;                      // changed since the import: they stay
  std::map<Item, std::string> stands;       // the last ended undo's, by item
  std::map<std::string, std::set<int32_t>> restored;  // K -> ids loaded back

  // The file, its lock file and the folder in the project folder (with its
  // delimiter).
  static std::string FileIn(const std::string& project_dir);
  static std::string LockFileIn(const std::string& project_dir);
  static std::string FolderIn(const std::string& project_dir);

  // The names the journal gives a picture of KTPhotos and its backup in
  // the import's folder: relative to the project folder, "/" between the
  // parts whatever the platform.
  static std::string PictureName(const std::string& name);
  static std::string BackupName(const std::string& name);
  // The path in `project_dir` of a name the journal holds; nothing for a
  // name that is no picture of KTPhotos or of the import's folder (an
  // absolute path of an earlier version outside this folder, or one that
  // would climb out of it).
  static std::optional<std::string> PathIn(const std::string& project_dir,
                                           const std::string& name);

  // Makes the journal this project's: its id, and (for a journal of an
  // earlier version) the paths relative that lie in the project folder.
  // The file is rewritten whole, as the crash contract says, with what was
  // appended to it. Throws EnvError.
  void Adopt(const std::string& project_dir, const std::string& id);

  // The journal's plan as its file begins.
  std::string Text() const;
  // Reads a journal with what was appended; nothing when the text is not a
  // whole journal (a plan without its end), with the reason in `error`.
  static std::optional<ImportJournal> Parse(const std::string& text, std::string& error);

  // Writes the plan as the crash contract says. Throws EnvError.
  void Write(const std::string& project_dir) const;
  // Appends records (whole lines) and syncs them. Throws EnvError.
  static void Append(const std::string& project_dir, const std::string& records);
  static void AppendStep(const std::string& project_dir, const std::string& step);

  // One appended record, as Append takes it.
  static std::string Record(std::initializer_list<std::string> fields);
};

// The lock that makes a journal one running import's. The file is never
// removed (a process that opened it before it went would lock a file no one
// else sees); its lock ends with the process that holds it.
class ImportLock {
 public:
  ImportLock(const ImportLock&) = delete;
  ImportLock& operator=(const ImportLock&) = delete;
  ~ImportLock();

  // Tries the lock without waiting. kTaken: this object holds it; kBusy:
  // another process (or another open file of this one) holds it; kNoLocks:
  // the file system keeps no locks, so that nothing can be told about
  // other processes (the object is answered all the same). Throws EnvError
  // when the lock file cannot be opened or made.
  static std::unique_ptr<ImportLock> Try(const std::string& project_dir,
                                         platform::env::LockAnswer& answer);

 private:
  explicit ImportLock(std::unique_ptr<platform::env::File> file) : file_(std::move(file)) {}
  std::unique_ptr<platform::env::File> file_;
};
