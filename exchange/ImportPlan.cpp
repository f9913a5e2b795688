#include "exchange/ImportPlan.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "exchange/ImportFuncs.h"
#include "photos/PictureName.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

using ImportFuncs::PackageContent;
using ImportFuncs::TTransaktionslistenDaten;
using namespace TransActTools;

namespace ImportPlan {
namespace {

// The rows the merge and the question look at, found by identifier: the
// first row entered under one (KENNUNGO), how many were, and the first that
// carries it now (KENNUNG). Rows whose identifier changed since they were
// entered are few and kept apart. Keys view the rows' own texts.
struct FirstRows {
  struct Entered {
    const TObjectMetadata* first = nullptr;
    int count = 0;
  };
  std::unordered_map<std::string_view, Entered> by_original;
  std::unordered_map<std::string_view, const TObjectMetadata*> by_current;
  std::unordered_map<std::string_view, std::vector<const TObjectMetadata*>> switched_by_original;
  std::unordered_map<std::string_view, std::vector<const TObjectMetadata*>> switched_by_current;

  explicit FirstRows(const TObjectMetadataList& rows) {
    by_original.reserve(rows.size());
    by_current.reserve(rows.size());
    for (const TObjectMetadata& row : rows) {
      Entered& entered = by_original[row.Originalkennung];
      if (entered.count++ == 0) entered.first = &row;
      by_current.emplace(row.Kennung, &row);
      if (row.Kennung != row.Originalkennung) {
        switched_by_original[row.Originalkennung].push_back(&row);
        switched_by_current[row.Kennung].push_back(&row);
      }
    }
  }
  const TObjectMetadata* Original(std::string_view K) const {
    if (by_original.empty()) return nullptr;
    const auto it = by_original.find(K);
    return it == by_original.end() ? nullptr : it->second.first;
  }
  int EnteredCount(std::string_view K) const {
    if (by_original.empty()) return 0;
    const auto it = by_original.find(K);
    return it == by_original.end() ? 0 : it->second.count;
  }
  // `original`: what Original(K) gave.
  const TObjectMetadata* Either(std::string_view K, const TObjectMetadata* original) const {
    if (original || by_current.empty()) return original;
    const auto it = by_current.find(K);
    return it == by_current.end() ? nullptr : it->second;
  }
  const std::vector<const TObjectMetadata*>& SwitchedFrom(std::string_view K) const {
    return Find(switched_by_original, K);
  }
  const std::vector<const TObjectMetadata*>& SwitchedTo(std::string_view K) const {
    return Find(switched_by_current, K);
  }

 private:
  static const std::vector<const TObjectMetadata*>& Find(
      const std::unordered_map<std::string_view, std::vector<const TObjectMetadata*>>& map,
      std::string_view K) {
    static const std::vector<const TObjectMetadata*> kNone;
    if (map.empty()) return kNone;  // as mostly: no identifier was switched
    const auto it = map.find(K);
    return it == map.end() ? kNone : it->second;
  }
};

// A lookup that spares hashing the key where the set is empty, as most of
// the plan's sets are for most packages.
template <class Set>
bool In(const Set& set, std::string_view K) {
  return !set.empty() && set.count(typename Set::key_type(K)) > 0;
}

std::string LocalPhotos(int count) {
  return count == 1 ? "1 lokales Foto" : std::to_string(count) + " lokale Fotos";
}

std::string Lower(const std::string& name) {
  return platform::text::ToLowerAscii(name);
}

}  // namespace

std::vector<std::string> PackageKennungen(const PackageContent& content) {
  std::vector<std::string> kennungen;
  std::unordered_set<std::string_view> seen;
  seen.reserve(content.rows.size() + content.xml_ids.size());
  kennungen.reserve(content.rows.size());
  const auto add = [&](const std::string& K) {
    if (seen.insert(K).second) kennungen.push_back(K);
  };
  for (const TTransaktionslistenDaten& R : content.rows) add(R.Kennung);
  for (const ImportFuncs::GeoLayer& layer : content.layers) {
    for (const std::string& K : layer.ids) add(K);
  }
  for (const std::string& K : content.xml_ids) add(K);
  return kennungen;
}

Objects PlanObjects(const PackageContent& content, const ProjectState& state, Policy policy,
                    const MergeWays& ways) {
  Objects plan;
  const FirstRows first(state.rows);
  const std::vector<std::string> kennungen = PackageKennungen(content);
  // The first package row of each identifier decides, as the merge meets it
  // first.
  std::unordered_map<std::string_view, const TTransaktionslistenDaten*> package_row;
  for (const TTransaktionslistenDaten& R : content.rows) package_row.emplace(R.Kennung, &R);

  std::unordered_set<std::string> local;
  for (const std::string& K : kennungen) {
    int32_t id = 0;
    if (!state.objects.empty()) {
      const auto found = state.objects.find(K);
      if (found != state.objects.end()) id = found->second;
    }
    const TObjectMetadata* merged = first.Original(K);
    const TObjectMetadata* row = first.Either(K, merged);
    std::string what;
    const auto add = [&what](std::string_view part) {
      if (!what.empty()) what += ", ";
      what += part;
    };
    if (row) {
      if (row->Changed == kUpdate) add("geändert");
      if (row->Changed == kNew) add("neu angelegt");
      if (row->Changed == kDelete) add("gelöscht");
    }
    if (id > 0) {
      const auto photos = state.local_photos.find(id);
      if (photos != state.local_photos.end() && photos->second > 0)
        add(LocalPhotos(photos->second));
    }
    if (!what.empty()) {
      plan.local_work.push_back({K, row ? row->TID : -1, std::move(what)});
      local.insert(K);
    }
    // A row of another transaction that the package's status does not
    // outrank stays: its object is the project's, not the package's.
    const auto R = merged ? package_row.find(K) : package_row.end();
    if (R != package_row.end() && merged && merged->TID >= 0 && merged->TID != R->second->TID &&
        !ImportFuncs::IsHigherState(R->second->Schreibend, merged->Schreibend)) {
      plan.kept.insert(K);
    }
    // A new object switched to K goes with the package's version, and its
    // row with it.
    for (const TObjectMetadata* carrier : first.SwitchedTo(K)) {
      if (carrier->Schreibend == kNeu) {
        plan.dropped.emplace_back(K, carrier->Originalkennung);
        break;
      }
    }
  }
  // Identifiers the project has tangled up: rows entered under K more than
  // once, another checked-out object switched to K, a row that links K to
  // another identifier of the package. Whatever the import did there would
  // take a row from an object or an identifier from every list; such
  // objects stay as they are and the mapper is told.
  for (const auto& [K, R] : package_row) {
    bool tangled = first.EnteredCount(K) > 1;
    for (const TObjectMetadata* row : first.SwitchedFrom(K)) {
      tangled = tangled || package_row.count(row->Kennung) > 0;
    }
    for (const TObjectMetadata* row : first.SwitchedTo(K)) {
      tangled = tangled || package_row.count(row->Originalkennung) > 0 ||
                row->Schreibend == kLesend || row->Schreibend == kSchreibend;
    }
    if (!tangled) continue;
    plan.kept.emplace(K);
    plan.local_kept.emplace(K);
    plan.untouched.emplace_back(K);
  }
  std::sort(plan.untouched.begin(), plan.untouched.end());
  for (LocalWork& work : plan.local_work) work.kept_anyway = plan.kept.count(work.Kennung) > 0;
  if (policy == Policy::kKeepLocalWork) {
    plan.kept.insert(local.begin(), local.end());
    plan.local_kept.insert(local.begin(), local.end());
  }
  if (policy == Policy::kMerge) {
    for (const std::string& K : local) {
      if (ways.reloaded.count(K)) continue;
      plan.kept.insert(K);
      if (!ways.in_place.count(K)) plan.local_kept.insert(K);
    }
  }
  // Where the package's version does not come in, the new object carrying
  // the identifier stays, and its row with it.
  std::erase_if(plan.dropped, [&](const auto& row) { return plan.kept.count(row.first) > 0; });
  // Asked only for identifiers switched or kept, which are few.
  std::optional<std::unordered_set<std::string_view>> in_package_set;
  const auto in_package = [&](std::string_view K) {
    if (!in_package_set) in_package_set.emplace(kennungen.begin(), kennungen.end());
    return in_package_set->count(K) > 0;
  };
  for (const std::string& K : kennungen) {
    if (In(plan.kept, K)) continue;
    if (!state.objects.empty()) {
      const auto found = state.objects.find(K);
      if (found != state.objects.end() && found->second > 0)
        plan.deleted.emplace_back(K, found->second);
    }
    if (first.SwitchedFrom(K).empty() || !package_row.count(K)) continue;
    // The rows the merge gives K back to may carry other identifiers now:
    // the objects the mapper switched away from K.
    for (const TObjectMetadata* row : first.SwitchedFrom(K)) {
      if (row->Kennung.empty() || in_package(row->Kennung) ||
          plan.comes_back_as.count(row->Kennung)) {
        continue;
      }
      const auto local_object = state.objects.find(row->Kennung);
      if (local_object != state.objects.end() && local_object->second > 0) {
        plan.deleted.emplace_back(row->Kennung, local_object->second);
      }
      plan.comes_back_as.emplace(row->Kennung, K);
      if (row->TID > 0) plan.returned.push_back({row->TID, row->Kennung});
    }
  }
  plan.loaded.reserve(content.xml_ids.size());
  for (const ImportFuncs::GeoLayer& layer : content.layers) {
    for (const std::string& K : layer.ids) {
      if (!In(plan.kept, K)) plan.loaded.insert(K);
    }
  }
  for (const std::string& K : content.xml_ids) {
    if (!In(plan.kept, K)) plan.loaded.insert(K);
  }
  // Kept by rank, its row's identifier is reset: the object must follow.
  // Where it cannot (another object carries the identifier, or the row's
  // object is gone), the row stays as it is: reset, it would name an object
  // it is not, and its own identifier would be in neither list.
  for (const std::string& K : kennungen) {
    if (!In(plan.kept, K) || plan.local_kept.count(K)) continue;
    const TObjectMetadata* row = first.Original(K);
    if (!row || row->Kennung == K || row->Kennung.empty()) continue;
    const auto object = state.objects.find(row->Kennung);
    if (state.objects.count(K) || in_package(row->Kennung) || object == state.objects.end() ||
        object->second <= 0) {
      plan.local_kept.insert(K);
      continue;
    }
    plan.renamed.push_back({object->second, row->Kennung, K});
    if (row->TID > 0) plan.returned.push_back({row->TID, row->Kennung});
  }
  return plan;
}

ImportChanges PlanMerge(const PackageContent& content, const TObjectMetadataList& rows,
                        const std::vector<PoolRow>& pool, const Objects& objects, bool registered) {
  ImportChanges changes;
  struct Listed {
    int32_t TID = -1;
    int32_t Schreibend = -1;
  };
  // The first row of each original identifier, as the lookups by KENNUNGO
  // would find it, kept up to date as the merge goes.
  std::unordered_map<std::string, Listed> listed;
  // The rows of new objects that go with the package's version, as far as
  // the deletion hook of the earlier builds has not taken them already.
  std::set<std::pair<std::string, std::string>> planned(objects.dropped.begin(),
                                                        objects.dropped.end());
  std::set<std::pair<std::string, std::string>> going;
  for (const TObjectMetadata& row : rows) {
    const std::pair<std::string, std::string> key{row.Kennung, row.Originalkennung};
    if (row.Schreibend == kNeu && planned.count(key) && going.insert(key).second) {
      changes.dropped.push_back(key);
    }
  }
  for (const TObjectMetadata& row : rows) {
    if (going.count({row.Kennung, row.Originalkennung})) continue;
    listed.emplace(row.Originalkennung, Listed{row.TID, row.Schreibend});
  }
  std::unordered_set<std::string> pooled;
  for (const PoolRow& row : pool) pooled.insert(row.Kennung);

  for (const TTransaktionslistenDaten& R : content.rows) {
    const std::string& K = R.Kennung;
    // Kept local work keeps its row as it is, and with it the pools: an
    // object switched away from the identifier gave it back to a pool.
    if (objects.local_kept.count(K)) continue;
    if (pooled.erase(K)) changes.leave_pools.push_back(K);
    ListMerge merge;
    merge.row.Kennung = K;
    merge.row.TID = R.TID;
    merge.row.KartulID = R.KartulID;
    merge.row.Vorgangsnummer = R.VNr;
    merge.row.Schreibend = R.Schreibend;
    merge.row.Changed = R.changed;
    const auto found = listed.find(K);
    const int32_t T = found == listed.end() ? -1 : found->second.TID;
    if (T < 0) {
      merge.kind = ListMerge::Kind::kInsert;
      listed[K] = {R.TID, R.Schreibend};
    } else if (T == R.TID || ImportFuncs::IsHigherState(R.Schreibend, found->second.Schreibend)) {
      merge.kind = T == R.TID ? ListMerge::Kind::kUpdate : ListMerge::Kind::kMove;
      found->second = {R.TID, R.Schreibend};
    } else {
      merge.kind = ListMerge::Kind::kResetKennung;
    }
    changes.list.push_back(std::move(merge));
  }
  std::set<std::pair<int32_t, std::string>> pooled_in;
  for (const PoolRow& row : pool) pooled_in.emplace(row.TID, row.Kennung);
  std::unordered_set<std::string> held_after;
  for (const ListMerge& merge : changes.list) held_after.insert(merge.row.Kennung);
  for (const PoolRow& row : objects.returned) {
    // The deletion hook of the earlier builds may have given it back already.
    if (pooled_in.count({row.TID, row.Kennung}) || held_after.count(row.Kennung)) continue;
    changes.enter_pools.push_back(row);
    pooled_in.emplace(row.TID, row.Kennung);
  }
  if (content.has_tid && content.tid.Transaktion != -1 && !registered) {
    changes.transaction =
        TTransactionMetadata{content.tid.Transaktion, content.tid.Name, content.tid.Owner};
  }
  return changes;
}

std::vector<PoolRow> PlanFreeKennungen(const PackageContent& content,
                                       const std::vector<PoolRow>& pool,
                                       const std::unordered_map<std::string, bool>& listed,
                                       const std::function<bool(const std::string&)>& carried) {
  std::unordered_set<std::string_view> pooled;
  pooled.reserve(pool.size() + content.kennungen.size());
  for (const PoolRow& row : pool) pooled.insert(row.Kennung);
  std::vector<PoolRow> rows;
  rows.reserve(content.kennungen.size());
  for (const ImportFuncs::FreeKennung& free : content.kennungen) {
    const auto held = listed.find(free.Kennung);
    if (held != listed.end() && !held->second) continue;
    if (pooled.count(free.Kennung) || carried(free.Kennung)) continue;
    rows.push_back({free.TID, free.Kennung});
    pooled.insert(free.Kennung);
  }
  return rows;
}

namespace {

// A name for a picture that no file of KTPhotos, no catalogue row and no
// picture of the package has: "name_1.jpg", "name_2.jpg", ... within the
// catalogue column's width.
std::string FreeName(const std::string& name, const std::set<std::string>& taken) {
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  for (int n = 1;; ++n) {
    const std::string suffix = "_" + std::to_string(n) + ext;
    std::string base = stem;
    while (!base.empty() && platform::text::Utf8Length(base + suffix) > kPicFileNameWidth) {
      base = std::string(platform::text::Utf8Prefix(base, platform::text::Utf8Length(base) - 1));
    }
    const std::string candidate = base + suffix;
    if (!taken.count(Lower(candidate))) return candidate;
  }
}

}  // namespace

PhotoPlan PlanPhotos(const PackageContent& content, const std::vector<CatalogueEntry>& catalogue,
                     const std::vector<std::string>& pictures) {
  PhotoPlan plan;
  if (!content.has_photos) return plan;
  std::unordered_set<int32_t> catalogued;
  std::map<std::string, std::set<int32_t>> users;  // lower-case picture name -> photo ids
  std::set<std::string> taken;                     // lower-case names in use anywhere
  for (const CatalogueEntry& entry : catalogue) {
    catalogued.insert(entry.FotoID);
    users[Lower(entry.PicFileName)].insert(entry.FotoID);
    taken.insert(Lower(entry.PicFileName));
  }
  std::map<std::string, std::string> present;  // lower-case -> as the folder spells it
  for (const std::string& name : pictures) {
    present.emplace(Lower(name), name);
    taken.insert(Lower(name));
  }
  std::map<std::string, const ImportFuncs::PackagePicture*> delivered;
  for (const ImportFuncs::PackagePicture& picture : content.pictures) {
    delivered.emplace(Lower(picture.name), &picture);
    taken.insert(Lower(picture.name));
  }
  // The package's own photos by picture name: they may replace their own
  // pictures, never another photo's.
  std::map<std::string, std::set<int32_t>> package_users;
  for (const tables::TFotoMetadaten& foto : content.fotos) {
    if (UsablePictureName(foto.Dateiname)) {
      package_users[Lower(foto.Dateiname)].insert(foto.FotoID);
    }
  }
  const auto foreign = [&](const std::string& lower) {
    const auto used = users.find(lower);
    if (used == users.end()) return false;
    const auto own = package_users.find(lower);
    for (const int32_t id : used->second) {
      if (own == package_users.end() || !own->second.count(id)) return true;
    }
    return false;
  };

  const auto copy_to = [&](const ImportFuncs::PackagePicture* picture, const std::string& to) {
    PhotoPlan::Copy copy;
    copy.picture = picture;
    copy.to = to;
    const auto there = present.find(Lower(to));
    copy.replaces = there != present.end();
    copy.present = copy.replaces ? there->second : to;
    plan.copies.push_back(std::move(copy));
  };

  std::set<std::string> renamed;  // pictures that went under a free name
  for (const tables::TFotoMetadaten& foto : content.fotos) {
    if (!UsablePictureName(foto.Dateiname)) {
      plan.unusable.push_back(foto.Dateiname);
      continue;
    }
    if (!catalogued.insert(foto.FotoID).second) continue;
    tables::TFotoMetadaten& row = plan.rows.emplace_back(foto);
    const std::string lower = Lower(foto.Dateiname);
    if (!foreign(lower)) continue;
    // Another photo of the project shows a picture of this name: the
    // package's picture gets a name of its own.
    const auto picture = delivered.find(lower);
    row.Dateiname = FreeName(foto.Dateiname, taken);
    taken.insert(Lower(row.Dateiname));
    if (picture != delivered.end()) {
      copy_to(picture->second, row.Dateiname);
      renamed.insert(lower);
    }
  }
  for (const ImportFuncs::PackagePicture& picture : content.pictures) {
    if (!UsablePictureName(picture.name)) continue;
    const std::string lower = Lower(picture.name);
    if (foreign(lower)) {
      if (!renamed.count(lower)) plan.kept.push_back(picture.name);
      continue;
    }
    copy_to(&picture, picture.name);
  }
  return plan;
}

}  // namespace ImportPlan
