#include "exchange/Preflight.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "dialogs/FormVorpruefung.h"
#include "dialogs/FotoActions.h"
#include "exchange/ExportFuncs.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/PictureName.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"
#include "transaction/KennungsTools.h"
#include "transaction/TransActTools.h"

using platform::ui::MsgKind;

namespace Preflight {
namespace {

std::string StatusWord(int32_t status) {
  switch (status) {
    case TransActTools::kLesend:
      return "lesend";
    case TransActTools::kSchreibend:
      return "schreibend";
    case TransActTools::kNeu:
      return "neu";
    case TransActTools::kGeloescht:
      return "gelöscht";
    default:
      return "Status " + std::to_string(status);
  }
}

bool Marked(const std::string& changed) {
  return changed == TransActTools::kUpdate || changed == TransActTools::kNew ||
         changed == TransActTools::kDelete;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string FotoName(const Foto& foto) {
  return "Foto " + std::to_string(foto.FotoID) +
         (foto.Kurzname.empty() ? std::string() : " " + Quoted(foto.Kurzname));
}

// The identifiers of objects, joined for a line.
std::string KennungenOf(const std::vector<int32_t>& ids,
                        const std::unordered_map<int32_t, const HostSnapshot::HostObject*>& by_id) {
  std::string text;
  for (const int32_t id : ids) {
    const auto found = by_id.find(id);
    text += (text.empty() ? "" : ", ") +
            (found == by_id.end() ? "#" + std::to_string(id) : found->second->Kennung);
  }
  return text;
}

void Add(std::vector<Finding>& findings, Art art, std::string text,
         std::vector<int32_t> objects = {}) {
  findings.push_back({art, std::move(text), std::move(objects)});
}

// ---- Reading the project -------------------------------------------------------------

void ReadList(Inputs& in) {
  if (!TransActTools::TransactionListExists()) {
    in.notes.push_back("Die Transaktionsliste " + TransActTools::TransactionTablePath("TA_LIST") +
                       " fehlt.");
    return;
  }
  try {
    for (TObjectMetadata& row : TransActTools::AllRows()) {
      in.list.push_back({row.TID, std::move(row.Kennung), std::move(row.Originalkennung),
                         row.Schreibend, std::move(row.Changed)});
    }
  } catch (const std::exception& e) {
    in.list.clear();
    in.notes.push_back("Die Transaktionsliste " + TransActTools::TransactionTablePath("TA_LIST") +
                       " kann nicht gelesen werden:\r" + e.what());
  }
}

void ReadPool(Inputs& in) {
  if (!TransActTools::KennungListExists()) {
    in.notes.push_back("Die Liste der freien Kennungen " +
                       TransActTools::TransactionTablePath("TA_KL") + " fehlt.");
    return;
  }
  try {
    in.pool = TransActTools::AllPoolRows();
  } catch (const std::exception& e) {
    in.pool.clear();
    in.notes.push_back("Die Liste der freien Kennungen " +
                       TransActTools::TransactionTablePath("TA_KL") +
                       " kann nicht gelesen werden:\r" + e.what());
  }
}

void ReadCatalogue(Inputs& in) {
  const std::string db = Tools::MyGetProjectDB();
  try {
    TdmFotoverwaltung& catalogue = EnsureFotoverwaltung();
    for (CatalogueEntry& entry : catalogue.CatalogueEntries()) {
      in.fotos.push_back(
          {entry.FotoID, std::move(entry.Kurzname), std::move(entry.PicFileName), entry.IsNew});
    }
    for (const PhotoLink& link : catalogue.PhotoLinks()) {
      in.links.push_back({link.KartulID, link.PhotoID});
    }
  } catch (const std::exception& e) {
    in.fotos.clear();
    in.links.clear();
    in.notes.push_back("Der Fotokatalog der Projektdatenbank " + db +
                       " kann nicht gelesen werden:\r" + e.what());
    return;
  }
  const std::string dir = FotoDir();
  try {
    for (const std::string& name : platform::env::Env::Current().ListFolder(dir)) {
      in.pictures.insert(platform::text::ToLowerAscii(name));
    }
  } catch (const std::exception& e) {
    in.notes.push_back("Der Fotoordner " + dir + " kann nicht gelesen werden:\r" + e.what());
  }
}

}  // namespace

std::string_view ArtText(Art art) {
  switch (art) {
    case Art::kFotodateiFehlt:
      return "Fotodatei fehlt";
    case Art::kFotoOhneVerknuepfung:
      return "Foto ohne Verknüpfung";
    case Art::kVerknuepfungOhneFoto:
      return "Verknüpfung ohne Foto";
    case Art::kObjektFehlt:
      return "Objekt fehlt";
    case Art::kNichtInTransaktion:
      return "Nicht in der Transaktionsliste";
    case Art::kGelistetUndFrei:
      return "Kennung gelistet und frei";
    case Art::kUnmarkierteAenderung:
      return "Änderung ohne Markierung";
    case Art::kHinweis:
      return "Hinweis";
  }
  return "Hinweis";
}

namespace {

// What the checks look objects and links up by, gathered once.
struct Lookup {
  explicit Lookup(const Inputs& in) : have_objects(!in.objects.empty() || in.snapshot_taken) {
    by_kennung.reserve(in.objects.size());
    by_id.reserve(in.objects.size());
    for (const HostSnapshot::HostObject& object : in.objects) {
      by_kennung.emplace(object.Kennung, &object);
      by_id.emplace(object.id, &object);
    }
    // Links by photo id, each object once per photo.
    for (const Link& link : in.links) {
      std::vector<int32_t>& ids = linked[link.PhotoID];
      if (std::find(ids.begin(), ids.end(), link.KartulID) == ids.end()) {
        ids.push_back(link.KartulID);
      }
    }
  }
  // The ids of those objects the host still has (all of them when the host
  // could not be read).
  std::vector<int32_t> Existing(const std::vector<int32_t>& ids) const {
    std::vector<int32_t> out;
    for (const int32_t id : ids) {
      if (!have_objects || by_id.count(id)) out.push_back(id);
    }
    return out;
  }

  // Whether the host's objects are known: an empty project is, a host that
  // could not be read is not, and the object checks are left out.
  bool have_objects;
  std::unordered_map<std::string_view, const HostSnapshot::HostObject*> by_kennung;
  std::unordered_map<int32_t, const HostSnapshot::HostObject*> by_id;
  std::map<int32_t, std::vector<int32_t>> linked;  // photo id -> host ids
};

// Local photos whose picture is missing from KTPhotos: only they have their
// pictures here alone.
void MissingPictures(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  for (const Foto& foto : in.fotos) {
    if (foto.IsNew != tables::kPhotoLocal) continue;
    const std::string& name = foto.PicFileName;
    // A name with a path or ".." is never looked for outside the folder:
    // it cannot be one of the folder's own names.
    const bool present =
        UsablePictureName(name) && in.pictures.count(platform::text::ToLowerAscii(name));
    if (present) continue;
    const auto links = lookup.linked.find(foto.FotoID);
    const std::vector<int32_t> ids =
        links == lookup.linked.end() ? std::vector<int32_t>() : lookup.Existing(links->second);
    std::string text = FotoName(foto) + ": " +
                       (name.empty() ? std::string("der Fotokatalog nennt keine Datei")
                                     : "die Datei " + Quoted(name) + " fehlt im Ordner KTPhotos");
    if (!ids.empty()) text += " (verknüpft mit " + KennungenOf(ids, lookup.by_id) + ")";
    Add(found, Art::kFotodateiFehlt, text, ids);
  }
}

// Catalogue rows that no link points to.
void UnlinkedPhotos(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  for (const Foto& foto : in.fotos) {
    if (lookup.linked.count(foto.FotoID)) continue;
    Add(found, Art::kFotoOhneVerknuepfung,
        FotoName(foto) + (foto.PicFileName.empty() ? "" : " (" + Quoted(foto.PicFileName) + ")") +
            " ist mit keinem Objekt verknüpft");
  }
}

// Links to photo ids the catalogue lacks, one line per linked object.
void LinksWithoutPhoto(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  std::set<int32_t> catalogued;
  for (const Foto& foto : in.fotos) catalogued.insert(foto.FotoID);
  for (const auto& [photo_id, ids] : lookup.linked) {
    // A link row without a photo (0) is a row still being filled.
    if (photo_id == 0 || catalogued.count(photo_id)) continue;
    for (const int32_t id : ids) {
      const auto object = lookup.by_id.find(id);
      const bool exists = object != lookup.by_id.end();
      Add(found, Art::kVerknuepfungOhneFoto,
          (exists ? object->second->Kennung : "Objekt #" + std::to_string(id)) +
              ": verknüpft mit Foto " + std::to_string(photo_id) + ", das im Fotokatalog fehlt",
          exists ? std::vector<int32_t>{id} : std::vector<int32_t>());
    }
  }
}

// Rows of the transaction (but deleted ones) whose objects the host no
// longer has.
void MissingObjects(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  if (!lookup.have_objects) return;
  for (const ListRow& row : in.list) {
    if (row.TID != in.TID || row.Schreibend == TransActTools::kGeloescht) continue;
    if (lookup.by_kennung.count(row.Kennung)) continue;
    Add(found, Art::kObjektFehlt,
        row.Kennung + " (" + StatusWord(row.Schreibend) +
            "): in der Transaktionsliste, aber nicht mehr im Projekt");
  }
}

// Objects in no transaction although their class needs a row: a class of
// the transaction's objects, or one a free identifier of the transaction
// fits by its prefix.
void ObjectsOutsideTheList(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  if (!lookup.have_objects) return;
  std::unordered_set<std::string_view> any_row;  // every identifier a row holds
  any_row.reserve(in.list.size());
  for (const ListRow& row : in.list) any_row.insert(row.Kennung);
  std::set<int32_t> needy;
  for (const ListRow& row : in.list) {
    if (row.TID != in.TID) continue;
    const auto object = lookup.by_kennung.find(row.Kennung);
    if (object != lookup.by_kennung.end()) needy.insert(object->second->Klasse);
  }
  if (in.fits) {
    std::set<int32_t> classes;
    for (const HostSnapshot::HostObject& object : in.objects) classes.insert(object.Klasse);
    for (const int32_t klasse : classes) {
      if (needy.count(klasse)) continue;
      for (const PoolRow& free : in.pool) {
        if (free.TID == in.TID && in.fits(klasse, free.Kennung)) {
          needy.insert(klasse);
          break;
        }
      }
    }
  }
  for (const HostSnapshot::HostObject& object : in.objects) {
    if (!needy.count(object.Klasse) || any_row.count(object.Kennung)) continue;
    const auto name = in.class_names.find(object.Klasse);
    Add(found, Art::kNichtInTransaktion,
        (object.Kennung.empty() ? "Objekt #" + std::to_string(object.id) : object.Kennung) + " (" +
            (name == in.class_names.end() ? "Klasse " + std::to_string(object.Klasse)
                                          : name->second) +
            "): in keiner Transaktion",
        {object.id});
  }
}

// Identifiers listed (not as deleted) and free at once, where the row or the
// pool entry is the transaction's; told once each.
void ListedAndFree(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  std::unordered_map<std::string_view, int32_t> listed_tid;
  for (const ListRow& row : in.list) {
    if (row.Schreibend != TransActTools::kGeloescht) listed_tid.emplace(row.Kennung, row.TID);
  }
  std::set<std::string> told;
  for (const PoolRow& free : in.pool) {
    const auto row = listed_tid.find(free.Kennung);
    if (row == listed_tid.end() || (row->second != in.TID && free.TID != in.TID)) continue;
    if (!told.insert(free.Kennung).second) continue;
    const auto object = lookup.by_kennung.find(free.Kennung);
    Add(found, Art::kGelistetUndFrei,
        free.Kennung + ": in der Transaktionsliste (TID " + std::to_string(row->second) +
            ") und zugleich frei (TID " + std::to_string(free.TID) + ")",
        object == lookup.by_kennung.end() ? std::vector<int32_t>()
                                          : std::vector<int32_t>{object->second->id});
  }
}

// Objects of the transaction changed since the import whose row carries no
// mark, by their fingerprints; and how many had none stored.
void UnmarkedChanges(const Inputs& in, const Lookup& lookup, std::vector<Finding>& found) {
  if (!lookup.have_objects || !in.fingerprints_read) return;
  int without = 0;
  for (const ListRow& row : in.list) {
    if (row.TID != in.TID || row.Schreibend == TransActTools::kGeloescht) continue;
    if (Marked(row.Changed)) continue;
    const auto object = lookup.by_kennung.find(row.Kennung);
    if (object == lookup.by_kennung.end()) continue;
    const std::string& original = row.Originalkennung.empty() ? row.Kennung : row.Originalkennung;
    const auto stored = in.stored.find(original);
    if (stored == in.stored.end()) {
      ++without;
      continue;
    }
    const bool geometry = stored->second.geometry != object->second->geometry;
    const bool attributes = stored->second.attributes != object->second->attributes;
    if (!geometry && !attributes) continue;
    const std::string what = geometry && attributes ? "Geometrie und Sachdaten"
                             : geometry             ? "Geometrie"
                                                    : "Sachdaten";
    Add(found, Art::kUnmarkierteAenderung,
        row.Kennung + " (" + StatusWord(row.Schreibend) + "): " + what +
            " seit dem Import geändert, aber als " +
            Quoted(row.Changed.empty() ? std::string(TransActTools::kIgnored) : row.Changed) +
            " markiert",
        {object->second->id});
  }
  if (without > 0) {
    Add(found, Art::kHinweis,
        "Für " + std::to_string(without) + (without == 1 ? " Objekt" : " Objekte") +
            " der Transaktion sind keine Fingerabdrücke gespeichert; Änderungen ohne "
            "Markierung können dort nicht erkannt werden. Der Import speichert sie, wenn in "
            "applicat.ini [VANDRA] Vorpruefung=1 gesetzt ist.");
  }
}

}  // namespace

std::vector<Finding> Check(const Inputs& in) {
  const Lookup lookup(in);
  std::vector<Finding> found;
  MissingPictures(in, lookup, found);
  UnlinkedPhotos(in, lookup, found);
  LinksWithoutPhoto(in, lookup, found);
  MissingObjects(in, lookup, found);
  ObjectsOutsideTheList(in, lookup, found);
  ListedAndFree(in, lookup, found);
  UnmarkedChanges(in, lookup, found);
  for (const std::string& note : in.notes) Add(found, Art::kHinweis, note);
  std::stable_sort(found.begin(), found.end(),
                   [](const Finding& a, const Finding& b) { return a.art < b.art; });
  return found;
}

Inputs Gather(int32_t TID) {
  Inputs in;
  in.TID = TID;
  ReadList(in);
  ReadPool(in);
  try {
    in.objects = HostSnapshot::TakeSnapshot();
    in.snapshot_taken = true;
  } catch (const std::exception& e) {
    in.notes.push_back(std::string("Die Objekte des Projekts konnten nicht gelesen werden; die "
                                   "Prüfungen der Objekte entfallen:\r") +
                       e.what());
  }
  ReadCatalogue(in);
  if (HostSnapshot::FingerprintTableExists()) {
    try {
      in.stored = HostSnapshot::ReadFingerprints();
      in.fingerprints_read = true;
    } catch (const std::exception& e) {
      in.notes.push_back(std::string(e.what()) +
                         "\rÄnderungen ohne Markierung werden nicht geprüft.");
    }
  } else {
    in.fingerprints_read = true;
  }

  // Class names and prefix rules, settled once per class.
  std::set<int32_t> classes;
  for (const HostSnapshot::HostObject& object : in.objects) classes.insert(object.Klasse);
  auto rules = std::make_shared<std::map<int32_t, KennungsTools::OKLRule>>();
  try {
    const std::string state = KennungsTools::StateCode();
    for (const int32_t klasse : classes) {
      const std::string name = KennungsTools::GetOKLShortName(klasse);
      if (!name.empty()) in.class_names[klasse] = name;
      KennungsTools::OKLRule rule = KennungsTools::RuleForOKL(name, state);
      // A class whose rule takes every identifier is not told by the pool
      // whether it belongs to the transaction.
      if (!name.empty() && !rule.every_identifier) rules->emplace(klasse, std::move(rule));
    }
  } catch (const std::exception& e) {
    in.notes.push_back("Die Objektklassen der Verfahrensdatenbank " + Tools::MyGetVerfahrenDB() +
                       " können nicht gelesen werden:\r" + e.what());
  }
  in.fits = [rules](int32_t klasse, const std::string& K) {
    const auto rule = rules->find(klasse);
    return rule != rules->end() && rule->second.Fits(K);
  };
  return in;
}

// ---- The mapper's side ---------------------------------------------------------------

namespace {

class HostSelector : public TFormVorpruefung::ObjectSelector {
 public:
  void SelectObjects(const std::vector<int32_t>& ids) override {
    host::UpdateGuard update;
    host::DeselectAll();
    for (const int32_t id : ids) host::AddToSelection(id);
  }
};

std::string TransactionEntry(int32_t TID) {
  try {
    for (const TNumberedString& entry : TransActTools::GetTransactionNames()) {
      if (entry.Number == TID) return entry.Text;
    }
  } catch (const std::exception&) {
    // The number alone names it as well.
  }
  return std::to_string(TID);
}

std::vector<Finding> Findings(int32_t TID) {
  platform::ui::HourglassGuard hourglass;
  return Check(Gather(TID));
}

platform::ui::ModalResult ShowFindings(int32_t TID, const std::vector<Finding>& findings,
                                       bool in_export) {
  HostSelector selector;
  TFormVorpruefung form(selector, in_export);
  std::vector<TFormVorpruefung::Line> lines;
  for (const Finding& finding : findings) {
    lines.push_back({std::string(ArtText(finding.art)) + ": " + finding.text, finding.objects});
  }
  form.SetLines(TransactionEntry(TID), std::move(lines));
  return form.ShowModal();
}

}  // namespace

bool PreflightAsked() {
  return Tools::ReadIntFromApplicatIni("VANDRA", "Vorpruefung", 0) > 0;
}

bool BeforeExport(int32_t TID) {
  if (!PreflightAsked()) return true;
  const std::vector<Finding> findings = Findings(TID);
  if (findings.empty()) return true;
  return ShowFindings(TID, findings, true) == platform::ui::ModalResult::kOk;
}

bool VD1VorpruefungProc() {
  if (!TransActTools::TransactionListExists()) {
    platform::ui::MessageBox(MsgKind::kInformation,
                             "Das Projekt enthält keine Transaktionsdaten. Daher kann keine "
                             "Vorprüfung durchgeführt werden!");
    return false;
  }
  const int32_t TID = ExportFuncs::GetTransaktionsIDExport();
  if (TID < 0) {
    platform::ui::MessageBox(MsgKind::kError,
                             "Es konnte keine Transaktionsnummer ermittelt werden!");
    return false;
  }
  const std::vector<Finding> findings = Findings(TID);
  if (findings.empty()) {
    platform::ui::MessageBox(
        MsgKind::kInformation,
        "Die Vorprüfung der Transaktion " + TransactionEntry(TID) + " hat keine Befunde ergeben.");
    return true;
  }
  ShowFindings(TID, findings, false);
  return true;
}

}  // namespace Preflight
