#include "context/BuildIdentity.h"

#include <iterator>

namespace {

// VD1TransAction2010.
constexpr BuildProfile kFull = {
    .registry_key = "Software\\Bremak\\kartul\\5.1\\VANDRA",
    .hook_texts = host::TextForm::kUtf16,
    .keyed_transaction_tables = false,
    .second_generation_creation = true,
    .map_sheet_chooser = false,
    .procedure_class_table = true,
    .rows_by_original_kennung = true,
    .deletion_returns_deleted = true,
    .import_flag = true,
    .assignment_in_place = false,
    .release_without_transaction = false,
    .switch_selected_object = false,
    .switch_offers_whole_pool = false,
    .status_wording = StatusWording::kSentencePerStatus,
    .status_services_state = "",
    .lifecycle_journal = true,
    .action_table_full_name = false,
    .quelle_width = 254,
    .xml_export_truth_values = true,
    .strip_when_nothing_selected = 0,
    .strip_by_state = true,
    .photo_list_by_column_name = false,
    .photo_texts_converted = true,
    .import_merges = true,
    .report = ReportKind::kTextDialog,
    .photo_point = PhotoPoint::kKeptUntilClose,
    .photo_scale_by_easting = false,
    .photo_coordinate_digits = 0,
};

// VD1TransAction: what it does otherwise than the full build.
constexpr BuildProfile EarlierOf(BuildProfile profile) {
  profile.registry_key = "Software\\Bremak\\kartul\\3.2\\VANDRA2";
  profile.hook_texts = host::TextForm::kAnsi;
  profile.keyed_transaction_tables = true;
  profile.second_generation_creation = false;
  profile.procedure_class_table = false;
  profile.rows_by_original_kennung = false;
  profile.deletion_returns_deleted = false;
  profile.import_flag = false;
  profile.assignment_in_place = true;
  profile.switch_selected_object = true;
  profile.switch_offers_whole_pool = true;
  profile.status_wording = StatusWording::kLocked;
  profile.status_services_state = "RLP";
  profile.lifecycle_journal = false;
  profile.action_table_full_name = true;
  profile.quelle_width = 255;
  profile.xml_export_truth_values = false;
  profile.strip_when_nothing_selected = 17;
  profile.strip_by_state = false;
  profile.photo_list_by_column_name = true;
  profile.photo_texts_converted = false;
  profile.report = ReportKind::kPrintPreview;
  profile.photo_point = PhotoPoint::kRemovedAtOnce;
  profile.photo_scale_by_easting = true;
  profile.photo_coordinate_digits = 7;
  return profile;
}

// TransactHooks: VD1TransAction's transaction hooks and status only, with
// the map-sheet chooser; its fields of export, import and photos are never
// asked.
constexpr BuildProfile ReducedOf(BuildProfile profile) {
  profile.map_sheet_chooser = true;
  profile.release_without_transaction = true;
  profile.switch_offers_whole_pool = false;
  profile.status_services_state = "";
  profile.report = ReportKind::kNone;
  profile.import_merges = false;
  return profile;
}

struct Entry {
  Build build;
  std::string_view name;
  BuildProfile profile;
};

constexpr Entry kBuilds[] = {
    {Build::kVD1TransAction2010, "VD1TransAction2010", kFull},
    {Build::kVD1TransAction, "VD1TransAction", EarlierOf(kFull)},
    {Build::kTransactHooks, "TransactHooks", ReducedOf(EarlierOf(kFull))},
};

// The table is read by the build's value; an entry out of place would give
// one build another's profile without a word.
constexpr bool InBuildOrder() {
  for (size_t i = 0; i < std::size(kBuilds); ++i) {
    if (kBuilds[i].build != static_cast<Build>(i)) return false;
  }
  return true;
}
static_assert(InBuildOrder());

const Entry& EntryOf(Build build) {
  return kBuilds[static_cast<size_t>(build)];
}

}  // namespace

const BuildProfile& ProfileOf(Build build) {
  return EntryOf(build).profile;
}

std::string_view NameOf(Build build) {
  return EntryOf(build).name;
}
