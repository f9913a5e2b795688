// The three build profiles against the table of differences in
// docs/builds.md: each row the table lists is read back from the profile's
// fields, so that the table and the builds cannot drift apart unnoticed.
#include "context/BuildIdentity.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr Build kBuilds[] = {Build::kVD1TransAction2010, Build::kVD1TransAction,
                             Build::kTransactHooks};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '|') {
      cells.push_back(Trim(cell));
      cell.clear();
    } else {
      cell += line[i];
    }
  }
  return cells;
}

// Row label -> build name -> cell, with "as `X`" read as X's cell.
using Table = std::map<std::string, std::map<std::string, std::string>>;

Table ReadDifferences() {
  std::ifstream doc(std::string(VANDRA_SOURCE_DIR) + "/docs/builds.md");
  std::string line;
  while (std::getline(doc, line) && line != "### Differences between the builds") {
  }
  while (std::getline(doc, line) && !line.starts_with("|")) {
  }
  std::vector<std::string> builds;
  for (const std::string& cell : Cells(line)) {
    builds.push_back(cell.size() > 2 ? cell.substr(1, cell.size() - 2) : cell);
  }
  Table table;
  while (std::getline(doc, line) && line.starts_with("|")) {
    if (line.starts_with("|---")) continue;
    const std::vector<std::string> cells = Cells(line);
    std::map<std::string, std::string>& row = table[cells.at(0)];
    for (size_t i = 1; i < cells.size() && i < builds.size(); ++i) {
      std::string cell = cells[i];
      for (const auto& [other, text] : row) {
        const std::string as = "as `" + other + "`";
        if (cell.starts_with(as)) cell = text + cell.substr(as.size());
      }
      row[builds[i]] = cell;
    }
  }
  return table;
}

bool Says(const std::string& cell, const std::string& phrase) {
  return cell.find(phrase) != std::string::npos;
}

// One row of the table and what each of its phrases tells about a profile.
struct Phrase {
  std::string text;
  bool (*holds)(const BuildProfile&);
};

struct Row {
  std::string label;
  std::vector<Phrase> phrases;
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"hook texts, registry key",
       {{"UTF-16", [](const BuildProfile& p) { return p.hook_texts == host::TextForm::kUtf16; }},
        {"ANSI", [](const BuildProfile& p) { return p.hook_texts == host::TextForm::kAnsi; }},
        {"`...\\5.1\\VANDRA`",
         [](const BuildProfile& p) { return p.registry_key.ends_with("\\5.1\\VANDRA"); }},
        {"`...\\3.2\\VANDRA2`",
         [](const BuildProfile& p) { return p.registry_key.ends_with("\\3.2\\VANDRA2"); }}}},
      {"transaction tables",
       {{"through SQL", [](const BuildProfile& p) { return !p.keyed_transaction_tables; }},
        {"table objects", [](const BuildProfile& p) { return p.keyed_transaction_tables; }}}},
      // The keyed store is the one that asks every pool.
      {"identifier back into a pool",
       {{"no pool at all", [](const BuildProfile& p) { return p.keyed_transaction_tables; }}}},
      {"`TA_ID` without `NAME`",
       {{"a driver error", [](const BuildProfile& p) { return !p.keyed_transaction_tables; }}}},
      {"creation",
       {{"second-generation mode",
         [](const BuildProfile& p) { return p.second_generation_creation; }},
        {"general rule set always",
         [](const BuildProfile& p) { return !p.second_generation_creation; }},
        {"map-sheet filter", [](const BuildProfile& p) { return p.map_sheet_chooser; }}}},
      {"rows found at creation, deletion, host rename",
       {{"`KENNUNGO`", [](const BuildProfile& p) { return p.rows_by_original_kennung; }}}},
      {"deletion",
       {{"status 1, 2, 3", [](const BuildProfile& p) { return p.deletion_returns_deleted; }},
        {"stands aside during an import", [](const BuildProfile& p) { return p.import_flag; }},
        {"no import flag", [](const BuildProfile& p) { return !p.import_flag; }}}},
      {"assignment of an object with a row",
       {{"changed in place", [](const BuildProfile& p) { return p.assignment_in_place; }},
        {"`ktSetKennung` always", [](const BuildProfile& p) { return p.assignment_in_place; }},
        {"the release question",
         [](const BuildProfile& p) { return p.release_without_transaction; }}}},
      {"`SwitchKennung`",
       {{"exactly one selected object",
         [](const BuildProfile& p) { return p.switch_selected_object; }},
        {"the whole pool offered",
         [](const BuildProfile& p) { return p.switch_offers_whole_pool; }},
        {"by class prefix and map sheet",
         [](const BuildProfile& p) { return p.map_sheet_chooser; }}}},
      {"class prefixes, class short name",
       {{"the whole prefix table", [](const BuildProfile& p) { return p.procedure_class_table; }},
        {"the host's class data", [](const BuildProfile& p) { return !p.procedure_class_table; }}}},
      {"status words, second line",
       {{"\"lesend\"",
         [](const BuildProfile& p) {
           return p.status_wording == StatusWording::kSentencePerStatus;
         }},
        {"gesperrt.\"",
         [](const BuildProfile& p) { return p.status_wording == StatusWording::kLocked; }},
        {"only in the state \"RLP\"",
         [](const BuildProfile& p) { return p.status_services_state == "RLP"; }}}},
      {"export, import",
       {{"none", [](const BuildProfile& p) { return p.report == ReportKind::kNone; }},
        {"the action table under its full name",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.action_table_full_name;
         }},
        {"a 255-character `Quelle`",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.quelle_width == 255;
         }},
        {"`ktExportDataXML`",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && !p.xml_export_truth_values;
         }},
        {"strip 17 when nothing is selected",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.strip_when_nothing_selected == 17;
         }},
        {"no state code",
         [](const BuildProfile& p) { return p.report != ReportKind::kNone && !p.strip_by_state; }},
        {"the photo list read by column name",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.photo_list_by_column_name;
         }},
        {"its texts not converted",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && !p.photo_texts_converted;
         }},
        {"no import-running flag",
         [](const BuildProfile& p) { return p.report != ReportKind::kNone && !p.import_flag; }}}},
      {"re-import over local work",
       {{"merged field by field", [](const BuildProfile& p) { return p.import_merges; }},
        {"none: no import", [](const BuildProfile& p) { return !p.import_merges; }}}},
      {"lifecycle journal, coordinate attributes",
       {{"yes", [](const BuildProfile& p) { return p.lifecycle_journal; }}}},
      {"check report (`MakeTransActionReport`)",
       {{"text report in a dialog",
         [](const BuildProfile& p) { return p.report == ReportKind::kTextDialog; }},
        {"print preview",
         [](const BuildProfile& p) { return p.report == ReportKind::kPrintPreview; }},
        {"none", [](const BuildProfile& p) { return p.report == ReportKind::kNone; }}}},
      {"photo dialog's temporary point (`ProcessFoto`)",
       {{"kept until the dialog closes",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.photo_point == PhotoPoint::kKeptUntilClose;
         }},
        {"deleted at once",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.photo_point == PhotoPoint::kRemovedAtOnce;
         }},
        {"told by the easting",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.photo_scale_by_easting;
         }},
        {"told by the northing",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && !p.photo_scale_by_easting;
         }},
        {"at most 7 digits",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.photo_coordinate_digits == 7;
         }},
        {"any whole number its column takes",
         [](const BuildProfile& p) {
           return p.report != ReportKind::kNone && p.photo_coordinate_digits == 0;
         }}}},
  };
  return rows;
}

// Rows another test holds: the hook sets (the export check of each build's
// library) and the check-in, which follows the export.
const char* const kHeldElsewhere[] = {"hooks", "check-in after the export (`TfrmVandraCheckIn`)"};

TEST(BuildProfileTest, EachProfileSaysWhatTheTableSays) {
  const Table table = ReadDifferences();
  ASSERT_FALSE(table.empty()) << "no table of differences in docs/builds.md";
  for (const Row& row : Rows()) {
    const auto found = table.find(row.label);
    ASSERT_NE(found, table.end()) << "docs/builds.md has no row \"" << row.label << "\"";
    for (const Build build : kBuilds) {
      const BuildProfile& profile = ProfileOf(build);
      const std::string name(NameOf(build));
      const auto cell = found->second.find(name);
      ASSERT_NE(cell, found->second.end()) << row.label << ": no column " << name;
      for (const Phrase& phrase : row.phrases) {
        EXPECT_EQ(Says(cell->second, phrase.text), phrase.holds(profile))
            << name << ", \"" << row.label << "\": docs/builds.md "
            << (Says(cell->second, phrase.text) ? "says" : "does not say") << " \"" << phrase.text
            << "\" but the profile " << (phrase.holds(profile) ? "does" : "does not")
            << "\n  cell: " << cell->second;
      }
    }
  }
}

TEST(BuildProfileTest, EveryRowOfTheTableIsHeld) {
  for (const auto& [label, cells] : ReadDifferences()) {
    bool held = false;
    for (const Row& row : Rows()) held = held || row.label == label;
    for (const char* other : kHeldElsewhere) held = held || label == other;
    EXPECT_TRUE(held) << "docs/builds.md's row \"" << label
                      << "\" is held to no field of the build profile";
  }
}

}  // namespace
