// The preflight ("Vorprüfung") of one transaction before its package
// leaves: what the hand-over would lose or get wrong, found while the
// mapper can still mend it.
//
//   - local photos whose picture file is missing from KTPhotos;
//   - catalogue rows that no link of Objektphotos points to;
//   - links to photo ids the catalogue lacks;
//   - rows of the transaction whose objects the host no longer has;
//   - objects listed in no transaction although their class needs one: an
//     object's class needs one when an object of that class is listed in the
//     transaction, or when a free identifier of the transaction fits the
//     class;
//   - identifiers both listed in the transaction list and free in a pool;
//   - objects changed since the import without a change mark: their
//     fingerprints (HostSnapshot.h) differ from those the import stored while
//     their row is neither "UPDATE" nor "NEW".
//
// The check reads and changes nothing but the host's selection, and that
// only when the mapper asks for it in the list dialog. It runs from its own
// menu command (VD1Vorpruefung) and, when applicat.ini [VANDRA]
// Vorpruefung is 1, inside the export before anything is written; the
// import then also stores the fingerprints of the objects it loads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "exchange/HostSnapshot.h"
#include "transaction/TransActTools.h"

namespace Preflight {

// The kinds of findings, in the order the dialog lists them.
enum class Art {
  kFotodateiFehlt,
  kFotoOhneVerknuepfung,
  kVerknuepfungOhneFoto,
  kObjektFehlt,
  kNichtInTransaktion,
  kGelistetUndFrei,
  kUnmarkierteAenderung,
  kHinweis,  // a part of the check that could not run, and why
};

// The German name of a kind, as the dialog's lines begin.
std::string_view ArtText(Art art);

struct Finding {
  Art art = Art::kHinweis;
  std::string text;              // names the object, photo or file
  std::vector<int32_t> objects;  // host ids the finding is about
};

// ---- What the check reads ------------------------------------------------------

struct ListRow {
  int32_t TID = 0;
  std::string Kennung;
  std::string Originalkennung;
  int32_t Schreibend = 0;
  std::string Changed;
};

using PoolRow = ::PoolRow;

struct Foto {
  int32_t FotoID = 0;
  std::string Kurzname;
  std::string PicFileName;
  int32_t IsNew = 0;
};

struct Link {
  int32_t KartulID = 0;
  int32_t PhotoID = 0;
};

struct Inputs {
  int32_t TID = -1;
  std::vector<ListRow> list;  // every row of TA_LIST, all transactions
  std::vector<PoolRow> pool;  // every row of TA_KL
  // Every object of the host; snapshot_taken tells an empty project from
  // a host that could not be read (then the object checks are left out).
  std::vector<HostSnapshot::HostObject> objects;
  bool snapshot_taken = false;
  // Class short names by class id, for the lines.
  std::unordered_map<int32_t, std::string> class_names;
  std::vector<Foto> fotos;
  std::vector<Link> links;
  // The names in KTPhotos, lower case (pictures are found without regard
  // to case, as they come from Windows).
  std::unordered_set<std::string> pictures;
  // Whether the fingerprints could be read, and the rows.
  bool fingerprints_read = false;
  std::unordered_map<std::string, HostSnapshot::Stored> stored;
  // Whether a free identifier fits a class (the identifier rules of the
  // state code); null: none fits.
  std::function<bool(int32_t klasse, const std::string& K)> fits;
  // Parts of the project that could not be read, each a text for the
  // mapper naming the file; they become findings of kind kHinweis.
  std::vector<std::string> notes;
};

// The findings of the transaction Inputs::TID, by kind, each kind in the
// order its source delivers.
std::vector<Finding> Check(const Inputs& in);

// Reads the inputs of a transaction from the project, the host and the
// photo catalogue. Missing or damaged parts become notes; nothing throws
// but a failed host snapshot, which is turned into a note as well.
Inputs Gather(int32_t TID);

// ---- The mapper's side -----------------------------------------------------------

// Whether applicat.ini asks for the preflight (section "VANDRA", key
// "Vorpruefung", a value above 0).
bool PreflightAsked();

// The preflight inside the export: true to go on (nothing found, or the
// mapper chose to go on), false when the mapper stopped the export.
bool BeforeExport(int32_t TID);

// The menu command: the mapper picks the transaction, sees the findings (or
// that there are none) and may select their objects. False when there is no
// transaction to check.
bool VD1VorpruefungProc();

}  // namespace Preflight
