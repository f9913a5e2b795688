// The plug-in side of the host stand-in: the one plug-in library the host
// loads, the hook table that says which of its exports the host's events
// call, and the calls themselves with their trace, their log and a limit on
// how deep hooks may nest. It also keeps the host's notes (refused kt*
// calls, hooks it could not run) for all parts.
//
// A hook that lets an exception out is a fault of the plug-in, not a refusal
// the host can shrug off: the call answers like a hook that did not return,
// and the failure is kept until the mapper's front takes it, so kartul-sim
// fails the scenario line (or warns at the prompt) instead of noting it
// among the host's remarks.
//
// It depends on no other part; the project, the table cursors, the event
// loop and the exchange each hold a reference to it. It owns the library
// handle, which stays open for the life of the process: timers and objects
// torn down at exit may still point into the plug-in's code.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/HookTable.h"
#include "hostsim/HostModel.h"

namespace hostsim {

class PluginHost {
 public:
  PluginHost() = default;
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // ---- The library --------------------------------------------------------
  // As Host::LoadPlugin: by build name (the .so in search_dir) or by path.
  // Throws HostError for a second plug-in, a missing file or a missing
  // export the hook table binds.
  void Load(const std::string& name_or_path, const std::string& search_dir);
  // Takes the plug-in code linked into this program as the loaded plug-in:
  // its hooks are the program's own exports (a test built with
  // ENABLE_EXPORTS), known to the host under the program's file name (the
  // name the plug-in code learns from the system and gives ktIterateObjects)
  // and with the build's hook table unless one was set before. Hooks fire as
  // for a loaded library.
  // Throws HostError as Load does.
  void LoadLinked(const std::string& build);
  bool Loaded() const { return handle_ != nullptr; }
  const std::string& File() const { return file_; }  // e.g. "TransactHooks.so"; empty when none
  bool HasExport(const std::string& name) const;     // false without a plug-in

  // ---- The hook table -----------------------------------------------------
  // Throws HostError, leaving the table as it was, when the loaded plug-in
  // lacks an export the new table binds.
  void SetHookTable(const HookTable& table);
  const HookTable& Hooks() const { return hooks_; }
  void Bind(HookEvent event, const std::string& export_name);  // empty unbinds
  void BindMenu(const std::string& command, const std::string& export_name);
  // True when a plug-in is loaded and something is bound to the event.
  bool Binds(HookEvent event) const;
  // Hook texts in UTF-16 or ANSI; until set, chosen from the library's name.
  void SetUtf16(bool utf16);
  bool Utf16() const { return utf16_; }

  // ---- Calls --------------------------------------------------------------
  // Calls an export by name; nullopt when there is no plug-in, no such
  // export or the hooks nest too deep (each with a note), or when the hook
  // let an exception out (kept for TakeFailure). shown_args is how the trace
  // and the log show the arguments.
  std::optional<int16_t> Call(const std::string& export_name, intptr_t p1, intptr_t p2, uint16_t p3,
                              const std::string& shown_args);
  // Fires an event: true when nothing is bound or the hook answered true.
  bool Fire(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3, const std::string& shown_args);
  // The same with the arguments shown as numbers.
  bool Fire(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3);
  // Reports a host command to the plug-in (the command-done event).
  void CommandDone(int32_t command_number, int32_t lparam = 0, uint16_t wparam = 0);
  // Runs the export bound to a menu command, or the export of that name,
  // and returns its answer. Throws HostError without a plug-in or export.
  bool RunMenuCommand(const std::string& name);

  // ---- What the mapper sees -----------------------------------------------
  void SetTraceSink(std::function<void(const HookCall&)> sink) { trace_ = std::move(sink); }
  const std::vector<HookCall>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }
  void SetNoteSink(std::function<void(const std::string&)> sink) { note_ = std::move(sink); }
  void Note(const std::string& text) const;
  // The first exception a hook let out since the last call, as "the hook
  // <export> raised an error: <what>"; later ones of the same stretch are
  // counted in it. Nothing when all hooks returned.
  std::optional<std::string> TakeFailure();

 private:
  // Checks the library's exports against the table and makes it the plug-in.
  void Adopt(void* handle, const std::string& file, const std::string& stem, bool close_on_error);

  void* handle_ = nullptr;
  std::string file_;
  HookTable hooks_;
  bool hooks_set_ = false;  // a table was chosen before the library came
  bool utf16_ = false;
  bool utf16_set_ = false;
  std::function<void(const HookCall&)> trace_;
  std::function<void(const std::string&)> note_;
  std::vector<HookCall> log_;
  int depth_ = 0;  // hooks running now
  std::optional<std::string> failure_;
  int later_failures_ = 0;
};

}  // namespace hostsim
