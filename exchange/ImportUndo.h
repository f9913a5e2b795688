// Taking an import back, from its journal (ImportJournal.h): when a step of
// the import fails, and when a project is loaded with the journal of an
// import that was cut off or could not be taken back whole.
//
// Taking back compares before it changes. Each item the import may have
// changed (the rows of an identifier in TA_LIST, TA_KL and TA_FP, the
// host's object of an identifier, a catalogue row, a picture) is put back
// only where it still holds what the import left: while the import ran,
// and while an undo was under way, everything it names is the import's (it
// kept other processes off the tables and off its journal); once an undo
// could not finish, the journal records each item as that undo left it,
// and an item that differs from that record later was changed by the
// mapper or another program and stays as it is, named. An identifier's
// rows and object go back together or stay together, as do a catalogue row
// and its picture, so that no object is left without its row.
//
// A journal is acted on only by the process that holds its lock
// (ImportJournal.h): a load or an import that finds the lock held leaves the
// journal to its import; one of another project (a journal copied in) is
// set aside; one of an earlier version, or one whose project cannot be
// confirmed, or one on a file system without locks, is taken back only when
// the mapper says so.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exchange/ImportJournal.h"

namespace ImportUndo {

// The import's snapshot of the host's objects, in the import's folder.
inline constexpr const char* kSnapshotName = "objekte";
// The copy of the old pictures the import replaces.
inline constexpr const char* kPictureBackups = "bilder";
// The copy of the record of bases (ImportBases.h) the import rewrites, in
// its folder.
std::string BasesBackupIn(const std::string& project_dir);
// Space kept free for the records an undo that cannot finish must append,
// in the import's folder: removed before they are written.
inline constexpr const char* kReserveName = "reserve";

// What taking back did.
struct Outcome {
  // What could not be put back: half imported, one text each, naming the
  // object, table, photo or file.
  std::vector<std::string> failed;
  // What was changed since the import and stays as it is.
  std::vector<std::string> kept;
  // The journal could not record how this undo left the project: the next
  // take-back finds the items this one touched in flux.
  bool unrecorded = false;
};

// The size of the reserve for a journal: room for a record of each item.
uint64_t ReserveSize(const ImportJournal& journal);

// A picture's print as the journal records it: its size and the hash of
// its bytes; kNoPicture when there is none. Throws EnvError when it cannot
// be read.
inline constexpr const char* kNoPicture = "-";
std::string PicturePrint(const std::string& path);

// Takes the import back as far as nothing changed since, appending its
// records to the journal file in the project folder. Nothing is taken back
// when the journal says the import changed nothing yet or went through.
// The caller holds the import lock (or the mapper decided where none can
// be held) and removes the journal (Finish) when nothing failed.
// `keep_marked_rows`: for a journal of an earlier version, which records no
// undo, rows marked since the import count as changed since.
Outcome TakeBack(const std::string& project_dir, const ImportJournal& journal,
                 bool keep_marked_rows = false);

// Removes the journal (first: from then on nothing is taken back) and the
// import's folder, with the temporary files of the journal's writes.
// Throws EnvError when the journal cannot go.
void Finish(const std::string& project_dir);

// At project load: what the journal in the project calls for, as the
// header says, told to the mapper. Does nothing when there is none but
// removing a folder of the import that outlived it.
void RecoverAtLoad();

// At the start of an import: the lock for its run, after a journal left
// in the project was dealt with as at a load; nothing when no import can
// run now (another program imports, a journal stays), after telling the
// mapper why.
std::unique_ptr<ImportLock> PrepareImport();

// The import's own changes failed with `failure`: takes them back and
// tells the mapper; when not everything could be put back, the journal
// stays and the mapper may set it aside.
void TakeBackFailedImport(const std::string& project_dir, const ImportJournal& journal,
                          const std::string& failure);

}  // namespace ImportUndo
