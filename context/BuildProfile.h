// What sets the three deliverables apart at run time. Each build's entry file
// selects its profile when the library is loaded; the subsystem code is
// compiled once and asks the profile what the running build does where the
// builds differ. The profile holds what a build does and nothing of which
// build it is (that is context/BuildIdentity.h's, which the rules may not
// include), so a rule cannot ask the one instead of the other. Tests select
// whichever profile they exercise; the table of differences in
// docs/builds.md is held to these fields by a test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/HostApi.h"

// How the check report reaches the mapper.
enum class ReportKind {
  kNone,          // no export, so nothing to check
  kTextDialog,    // a text in a dialog, saved as a text file
  kPrintPreview,  // A4 pages in a preview, printed to a PDF file
};

// How the status display words a row's status.
enum class StatusWording {
  kSentencePerStatus,  // "lesend" ..., a sentence of its own per status
  kLocked,             // "Lesend" ..., "mit dem Status '...' gesperrt."
};

// What becomes of the photo dialog's temporary point once its coordinates
// are read.
enum class PhotoPoint {
  kKeptUntilClose,  // the host finishes it; it goes when the dialog closes
  kRemovedAtOnce,   // deleted at once, the task's object made active again
};

struct BuildProfile {
  // Current-user registry key that holds the section "VD2Transaktionen".
  std::string_view registry_key;
  // Text arguments of hooks arrive as UTF-16 (full build) or ANSI.
  host::TextForm hook_texts;
  // The transaction tables are table objects with named indexes
  // ("TA_LIST.DBF" ...) rather than reached through SQL.
  bool keyed_transaction_tables;

  // Creation: the second-generation mode and the "BRB" rule set with their
  // own choosers, needing TA_KL besides TA_ID; otherwise the general rule
  // set always, needing TA_ID only.
  bool second_generation_creation;
  // The choosers carry the map-sheet filter and fill their own lists by
  // class prefix and map sheet.
  bool map_sheet_chooser;
  // Class prefixes from the whole prefix table with the state code, class
  // short names from the procedure database; otherwise "NSG", "FFH" and
  // "VSG" only and the host's class data.
  bool procedure_class_table;
  // Rows are found by their original identifier as well as their current one.
  bool rows_by_original_kennung;
  // A deleted object gives its identifier back also when its row already
  // reads deleted (status 3), not only for status 1 and 2.
  bool deletion_returns_deleted;
  // The import raises a flag the deletion hook stands aside for.
  bool import_flag;
  // Assignment changes an object's existing row in place (transaction,
  // status, mark; process number and original identifier kept) and hands
  // the host the identifier also when it stays; otherwise the row is
  // written anew.
  bool assignment_in_place;
  // Choosing no transaction at assignment releases the selected objects.
  bool release_without_transaction;
  // SwitchKennung works on exactly one selected object (made active) rather
  // than the active one.
  bool switch_selected_object;
  // SwitchKennung offers the transaction's whole pool, whatever the class.
  bool switch_offers_whole_pool;
  StatusWording status_wording;
  // The status services are offered only in this state ("" for every state).
  std::string_view status_services_state;
  // The lifecycle journal is kept.
  bool lifecycle_journal;

  // Export and import.
  // The action table is created under its full name at once.
  bool action_table_full_name;
  // Characters of the action table's column Quelle.
  int quelle_width;
  // The attribute export passes the project's true and false values.
  bool xml_export_truth_values;
  // The map strip written when nothing is selected.
  int32_t strip_when_nothing_selected;
  // The strip is left out (0) in the states that need none.
  bool strip_by_state;
  // The package's photo list is read by column name, in any order; otherwise
  // its columns are taken by position.
  bool photo_list_by_column_name;
  // The photo list's texts arrive in the DOS code page and are converted.
  bool photo_texts_converted;
  // Each import records the bases of the objects it loads ("TA_BASIS.dat"),
  // and a re-import over local work merges them field by field.
  bool import_merges;
  ReportKind report;

  // The photo dialog.
  PhotoPoint photo_point;
  // The scale of the point's coordinates is told by the easting rather than
  // the northing.
  bool photo_scale_by_easting;
  // Digits a coordinate field of the photo dialog holds; 0 for any whole
  // number the column takes.
  size_t photo_coordinate_digits;
};
