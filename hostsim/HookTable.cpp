// Default hook bindings of the three builds: the events of the host and the
// plug-in's menu commands, as each build's hook set serves them.
#include "hostsim/HookTable.h"

#include <set>

namespace hostsim {
namespace {

constexpr std::array<std::string_view, kHookEventCount> kEventNames = {
    "before-load-project",  "after-load-project", "before-close-project",  "after-close-project",
    "before-create-object", "object-created",     "object-deleting",       "kennung-changing",
    "kennung-changed",      "geometry-changing",  "geometry-changed",      "object-edited",
    "table-posted",         "hauptphoto-entered", "pflanzenliste-entered", "data-pasted",
    "command-done"};

// Build sets as bit masks: 1 full build, 2 VD1TransAction, 4 TransactHooks.
constexpr int kFull = 1, kEarlier = 2, kReduced = 4, kAll = kFull | kEarlier | kReduced;

struct EventBinding {
  HookEvent event;
  const char* export_name;
  int builds;
};

constexpr EventBinding kEventBindings[] = {
    {HookEvent::kBeforeLoadProject, "BeforeLoadProject", kFull | kEarlier},
    {HookEvent::kAfterLoadProject, "AfterLoadProject", kFull | kEarlier},
    {HookEvent::kBeforeCloseProject, "BeforeCloseProject", kFull | kEarlier},
    {HookEvent::kAfterCloseProject, "AfterCloseProject", kFull | kEarlier},
    {HookEvent::kBeforeCreateObject, "BeforeCreateObject", kAll},
    {HookEvent::kObjectCreated, "InsertInTransActionList", kAll},
    {HookEvent::kObjectDeleting, "DeleteFromTransActionList", kAll},
    // The identifier change runs the one pairing hook before and after.
    {HookEvent::kKennungChanging, "UpdateKennungPreCorrection", kAll},
    {HookEvent::kKennungChanged, "UpdateKennungPreCorrection", kAll},
    {HookEvent::kGeometryChanging, "CheckStatus", kAll},
    {HookEvent::kGeometryChanged, "GeometryChanged", kAll},
    {HookEvent::kObjectEdited, "AfterEditObject", kAll},
    {HookEvent::kTablePosted, "OnTablePost", kFull | kEarlier},
    {HookEvent::kHauptphotoEntered, "CorrectHauptfoto", kFull | kEarlier},
    {HookEvent::kPflanzenlisteEntered, "DeletePflanzenStatus", kFull},
    {HookEvent::kDataPasted, "AfterPasteData", kFull},
    {HookEvent::kCommandDone, "AfterKARTULCommand", kFull | kEarlier},
};

struct MenuBinding {
  const char* command;
  int builds;
};

constexpr MenuBinding kMenuBindings[] = {
    {"AssignToTransaction", kAll},
    {"SwitchKennung", kAll},
    {"ShowObjStatus", kAll},
    {"SelectByStatus", kAll},
    {"ProcessFoto", kFull | kEarlier},
    {"MakeTransActionReport", kFull | kEarlier},
    {"VD1CustomImport", kFull | kEarlier},
    {"VD1CustomExport", kFull | kEarlier},
    {"SetETRS89", kFull},
    {"SetGaussKrueger", kFull},
    {"VD1Vorpruefung", kFull},
};

}  // namespace

std::string_view EventName(HookEvent event) {
  return kEventNames[static_cast<size_t>(event)];
}

std::optional<HookEvent> EventByName(std::string_view name) {
  for (size_t i = 0; i < kEventNames.size(); ++i)
    if (kEventNames[i] == name) return static_cast<HookEvent>(i);
  return std::nullopt;
}

std::optional<HookTable> HookTable::ForBuild(std::string_view build) {
  int mask = 0;
  if (build == kBuildNames[0]) mask = kFull;
  if (build == kBuildNames[1]) mask = kEarlier;
  if (build == kBuildNames[2]) mask = kReduced;
  if (mask == 0) return std::nullopt;
  HookTable table;
  for (const auto& b : kEventBindings)
    if (b.builds & mask) table.Bind(b.event, b.export_name);
  for (const auto& m : kMenuBindings)
    if (m.builds & mask) table.BindMenu(m.command, m.command);
  return table;
}

void HookTable::BindMenu(std::string command, std::string export_name) {
  menu_[std::move(command)] = std::move(export_name);
}

std::vector<std::string> HookTable::BoundExports() const {
  std::set<std::string> seen;
  std::vector<std::string> out;
  auto add = [&](const std::string& name) {
    if (!name.empty() && seen.insert(name).second) out.push_back(name);
  };
  for (const auto& e : events_) add(e);
  for (const auto& [command, export_name] : menu_) add(export_name);
  return out;
}

}  // namespace hostsim
