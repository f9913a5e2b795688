// What an import will do, decided before anything changes, as pure
// functions over what was read: which of the package's objects carry local
// work, which are kept, deleted and loaded, how the package's rows merge
// into TA_LIST, which free identifiers come into the pools, and where each
// picture goes. The import run (ImportFuncs.cpp) gathers the inputs and
// carries the plan out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "exchange/ImportPackage.h"
#include "photos/tables/Fotoverwaltung.h"
#include "transaction/TransActTools.h"

namespace ImportPlan {

// What the mapper chose for the objects with local work.
enum class Policy {
  kKeepLocalWork,  // those objects are neither deleted nor loaded, their rows stay
  kTakePackage,    // the package's version replaces them, as the import always did
  kMerge,          // each as its merge decided (MergeWays)
};

// With kMerge: the objects with local work whose package version is loaded
// (the local winning values written into it), and those that stay with the
// package's winning values written into them, their rows merged. Any other
// object with local work is kept as with kKeepLocalWork.
struct MergeWays {
  std::unordered_set<std::string> reloaded;
  std::unordered_set<std::string> in_place;
};

// What the project holds before the import.
struct ProjectState {
  TObjectMetadataList rows;   // every row of TA_LIST
  std::vector<PoolRow> pool;  // every row of TA_KL
  // The host's object id of each of the package's identifiers it has.
  std::unordered_map<std::string, int32_t> objects;
  // Per object id, how many of its links point to photos taken in this
  // project (catalogue state 3).
  std::unordered_map<int32_t, int> local_photos;
};

// An object of the package with work of this project on it, as the
// question lists it.
struct LocalWork {
  std::string Kennung;
  int32_t TID = -1;
  std::string what;  // "geändert", "neu angelegt", "gelöscht", "2 lokale Fotos", joined by ", "
  // Kept whatever the mapper answers: another transaction keeps its row by
  // rank, or the project has its identifier tangled up.
  bool kept_anyway = false;
};

struct Objects {
  std::vector<LocalWork> local_work;
  // Identifiers neither deleted nor loaded: a row the merge keeps by rank
  // (another transaction's, of no lower status), and with kKeepLocalWork
  // the objects with local work.
  std::unordered_set<std::string> kept;
  // Those of them kept for their local work: their rows are not merged.
  std::unordered_set<std::string> local_kept;
  // The host objects the import deletes (identifier, id), in package order.
  std::vector<std::pair<std::string, int32_t>> deleted;
  // A checked-out object the mapper switched to another identifier, whose
  // package version is taken: deleted under that identifier, it comes back
  // under the checked-out one (the map's key), and the other identifier
  // goes back to the pool of the row's transaction, as a switch back gives
  // it. Without this the map would hold the object twice and the other
  // identifier would be in neither list.
  std::unordered_map<std::string, std::string> comes_back_as;  // local identifier -> K
  std::vector<PoolRow> returned;  // the local identifiers and their transactions
  // A row another transaction keeps by rank gets its checked-out
  // identifier back, as the merge resets it; the object the mapper switched
  // to another identifier gets it back too, so that row and object agree,
  // and the other identifier goes back to its pool.
  struct Rename {
    int32_t id = 0;
    std::string from;  // what the object carries now
    std::string to;    // the checked-out identifier
  };
  std::vector<Rename> renamed;
  // Rows of new objects the mapper switched to a package identifier: the
  // object goes with the package's version, and so does its row
  // (identifier, original identifier), as a new object's row goes with it.
  std::vector<std::pair<std::string, std::string>> dropped;
  // Package identifiers the project has tangled up (entered more than
  // once, carried by another checked-out object, linked by a row to another
  // identifier of the package): their objects and rows stay as they are, and
  // the mapper is told. They are among the kept and their rows not merged.
  std::vector<std::string> untouched;
  // The identifiers of the package's geodata and attributes the host loads.
  std::unordered_set<std::string> loaded;
};

// The package's identifiers: the list's, then those only its geodata or
// attributes hold; each once, in that order.
std::vector<std::string> PackageKennungen(const ImportFuncs::PackageContent& content);

Objects PlanObjects(const ImportFuncs::PackageContent& content, const ProjectState& state,
                    Policy policy, const MergeWays& ways = {});

// The merge of the package's rows into the rows as they are now (after the
// host deleted the objects, whose deletion hook may have written rows in
// the earlier builds), by the system's rules: rows are found by their
// original identifier; a row of the same transaction takes the package's
// values, one of another transaction only when the package's status ranks
// higher, else only its identifier is reset. The rows and pool entries of
// objects kept for their local work are left as they are; every other
// package identifier leaves the pools; the transaction
// is registered when TA_ID lacks it (`registered` says whether it has it).
ImportChanges PlanMerge(const ImportFuncs::PackageContent& content, const TObjectMetadataList& rows,
                        const std::vector<PoolRow>& pool, const Objects& objects, bool registered);

// The free identifiers that come into the pools: those no pool holds, no
// object carries (`carried`) and no row holds but a "DELETE" row (`listed`:
// true where only "DELETE" rows hold it), each once. A row whose object is
// gone (its deletion could not be written) still holds its identifier:
// offered again, it would be given to a second object.
std::vector<PoolRow> PlanFreeKennungen(const ImportFuncs::PackageContent& content,
                                       const std::vector<PoolRow>& pool,
                                       const std::unordered_map<std::string, bool>& listed,
                                       const std::function<bool(const std::string&)>& carried);

// Where the package's photos go.
struct PhotoPlan {
  // Catalogue rows to append (Status 2), their final picture names in.
  std::vector<tables::TFotoMetadaten> rows;
  struct Copy {
    const ImportFuncs::PackagePicture* picture = nullptr;
    std::string to;         // the name in KTPhotos
    bool replaces = false;  // a file of that name is there (no regard to case)
    std::string present;    // its name as the folder spells it, when it replaces
  };
  std::vector<Copy> copies;
  // Package pictures left alone because photos of the project show the
  // project's picture of that name, and rows whose picture name the
  // catalogue cannot hold.
  std::vector<std::string> kept;
  std::vector<std::string> unusable;
};

// `pictures`: the names in KTPhotos. A picture whose name another photo of
// the catalogue uses never replaces that photo's picture: a new row's
// picture then goes under a free name and the row names it.
PhotoPlan PlanPhotos(const ImportFuncs::PackageContent& content,
                     const std::vector<CatalogueEntry>& catalogue,
                     const std::vector<std::string>& pictures);

}  // namespace ImportPlan
