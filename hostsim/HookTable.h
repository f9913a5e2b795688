// The host's hook table: which export of the loaded plug-in the host calls at
// which of its events, and which exports its menu commands run. Each build
// has a default binding; a scenario may rebind single events.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

enum class HookEvent {
  kBeforeLoadProject,
  kAfterLoadProject,
  kBeforeCloseProject,
  kAfterCloseProject,
  kBeforeCreateObject,    // P1 class id, P2 TGetNewKennung*, P3 draw type
  kObjectCreated,         // P1 host command, P2 new object id, P3 0
  kObjectDeleting,        // P1 object id, P2 0, P3 0; the object still exists
  kKennungChanging,       // P1 object id; an answer false vetoes the change
  kKennungChanged,        // P1 object id
  kGeometryChanging,      // P2 object id; an answer false vetoes the change
  kGeometryChanged,       // P1 object id
  kObjectEdited,          // no arguments
  kTablePosted,           // P1 view name, P2 table name (texts), P3 event code
  kHauptphotoEntered,     // P1 entered text, P2 result buffer, P3 its length
  kPflanzenlisteEntered,  // as kHauptphotoEntered
  kDataPasted,            // no arguments
  kCommandDone,           // P1 command number, P2 object id or 0, P3 word
};
inline constexpr size_t kHookEventCount = 17;

// "before-load-project" and so on: the names scenarios use.
std::string_view EventName(HookEvent event);
std::optional<HookEvent> EventByName(std::string_view name);

// The three deliverables' names.
inline constexpr std::array<std::string_view, 3> kBuildNames = {"VD1TransAction2010",
                                                                "VD1TransAction", "TransactHooks"};

class HookTable {
 public:
  // The default binding of a build (one of kBuildNames); nullopt for any
  // other name.
  static std::optional<HookTable> ForBuild(std::string_view build);
  // No event bound, no menu command.
  HookTable() = default;

  // The export bound to an event; empty when the event fires nothing.
  const std::string& ExportFor(HookEvent event) const {
    return events_[static_cast<size_t>(event)];
  }
  void Bind(HookEvent event, std::string export_name) {
    events_[static_cast<size_t>(event)] = std::move(export_name);
  }

  // Menu commands by name, each running one export.
  const std::map<std::string, std::string>& Menu() const { return menu_; }
  void BindMenu(std::string command, std::string export_name);
  void UnbindMenu(const std::string& command) { menu_.erase(command); }

  // Every export name the table names, each once.
  std::vector<std::string> BoundExports() const;

 private:
  std::array<std::string, kHookEventCount> events_{};
  std::map<std::string, std::string> menu_;
};

}  // namespace hostsim
