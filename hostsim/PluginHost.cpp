// The loaded plug-in and the hook calls into it (see PluginHost.h).
#include "hostsim/PluginHost.h"
#include "hostsim/System.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace hostsim {
namespace {

// Deeper than any real chain of re-entering hooks; a plug-in that recurses
// without end is stopped here instead of overflowing the stack.
constexpr int kMaxHookDepth = 64;

}  // namespace

void PluginHost::Load(const std::string& name_or_path, const std::string& search_dir) {
  if (handle_) throw HostError("a plug-in is loaded already (" + file_ + ")");
  fs::path path(name_or_path);
  if (name_or_path.find_first_of("/\\") == std::string::npos) {
    std::string file = name_or_path;
    if (path.extension() != sys::kLibraryExtension) file += sys::kLibraryExtension;
    path = fs::path(search_dir.empty() ? "." : search_dir) / file;
  }
  if (!fs::exists(path)) throw HostError("plug-in file " + path.string() + " not found");
  std::string error;
  void* handle = sys::OpenLibrary(path.string(), error);
  if (!handle) throw HostError("cannot load plug-in: " + error);
  Adopt(handle, path.filename().string(), path.stem().string(), true);
}

void PluginHost::LoadLinked(const std::string& build) {
  if (handle_) throw HostError("a plug-in is loaded already (" + file_ + ")");
  if (build.empty() || build.find('/') != std::string::npos)
    throw HostError("a linked plug-in is named by its build, not \"" + build + "\"");
  // The program's handle: dlsym looks through the program and the libraries
  // it was started with, so the hooks must be among the program's exports.
  std::string error;
  void* handle = sys::ProgramLibrary(error);
  if (!handle) throw HostError("cannot reach the program's exports: " + error);
  Adopt(handle, fs::path(sys::ProgramPath()).filename().string(), build, false);
}

void PluginHost::Adopt(void* handle, const std::string& file, const std::string& stem,
                       bool close_on_error) {
  std::optional<HookTable> table =
      hooks_set_ ? std::optional<HookTable>(hooks_) : HookTable::ForBuild(stem);
  if (!table) table = HookTable::ForBuild(kBuildNames[0]);
  std::vector<std::string> missing;
  for (const std::string& e : table->BoundExports())
    if (!sys::LibrarySymbol(handle, e)) missing.push_back(e);
  if (!missing.empty()) {
    std::string list;
    for (const auto& e : missing) list += (list.empty() ? "" : ", ") + e;
    if (close_on_error) sys::CloseLibrary(handle);
    throw HostError("the plug-in " + file + " lacks exports the hook table binds: " + list);
  }
  handle_ = handle;
  file_ = file;
  hooks_ = *table;
  hooks_set_ = true;
  if (!utf16_set_) utf16_ = stem == kBuildNames[0] || !HookTable::ForBuild(stem);
}

bool PluginHost::HasExport(const std::string& name) const {
  return handle_ && sys::LibrarySymbol(handle_, name);
}

void PluginHost::SetHookTable(const HookTable& table) {
  if (handle_)
    for (const std::string& e : table.BoundExports())
      if (!HasExport(e)) throw HostError("the plug-in " + file_ + " has no export " + e);
  hooks_ = table;
  hooks_set_ = true;
}

void PluginHost::Bind(HookEvent event, const std::string& export_name) {
  HookTable t = hooks_;
  t.Bind(event, export_name);
  SetHookTable(t);
}

void PluginHost::BindMenu(const std::string& command, const std::string& export_name) {
  HookTable t = hooks_;
  if (export_name.empty())
    t.UnbindMenu(command);
  else
    t.BindMenu(command, export_name);
  SetHookTable(t);
}

bool PluginHost::Binds(HookEvent event) const {
  return handle_ && !hooks_.ExportFor(event).empty();
}

void PluginHost::SetUtf16(bool utf16) {
  utf16_ = utf16;
  utf16_set_ = true;
}

std::optional<int16_t> PluginHost::Call(const std::string& export_name, intptr_t p1, intptr_t p2,
                                        uint16_t p3, const std::string& shown_args) {
  if (!handle_) return std::nullopt;
  void* symbol = sys::LibrarySymbol(handle_, export_name);
  if (!symbol) {
    Note("the plug-in " + file_ + " has no export " + export_name + "; nothing called");
    return std::nullopt;
  }
  HookCall call{export_name, shown_args, depth_, std::nullopt};
  if (depth_ >= kMaxHookDepth) {
    Note("hooks nested " + std::to_string(depth_) + " deep; " + export_name + " not called");
    return std::nullopt;
  }
  auto proc = reinterpret_cast<TKTHookProc>(symbol);
  size_t slot = log_.size();
  log_.push_back(call);
  if (trace_) trace_(call);
  ++depth_;
  std::optional<std::string> raised;
  try {
    call.answer = proc(p1, p2, p3);
  } catch (const std::exception& e) {
    raised = "the hook " + export_name + " raised an error: " + e.what();
  } catch (...) {
    raised = "the hook " + export_name + " raised an error of unknown kind";
  }
  --depth_;
  if (raised) {
    if (failure_)
      ++later_failures_;
    else
      failure_ = std::move(raised);
  }
  call.done = true;
  if (slot < log_.size()) log_[slot] = call;  // the log may have been cleared inside
  if (trace_) trace_(call);
  return call.answer;
}

bool PluginHost::Fire(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3,
                      const std::string& shown_args) {
  if (!Binds(event)) return true;
  // A copy: the hook may rebind the event while it runs.
  const std::string export_name = hooks_.ExportFor(event);
  auto answer = Call(export_name, p1, p2, p3, shown_args);
  return answer.has_value() && *answer != 0;
}

bool PluginHost::Fire(HookEvent event, intptr_t p1, intptr_t p2, uint16_t p3) {
  return Fire(event, p1, p2, p3,
              std::to_string(p1) + ", " + std::to_string(p2) + ", " + std::to_string(p3));
}

void PluginHost::CommandDone(int32_t command_number, int32_t lparam, uint16_t wparam) {
  Fire(HookEvent::kCommandDone, command_number, lparam, wparam);
}

bool PluginHost::RunMenuCommand(const std::string& name) {
  if (!handle_) throw HostError("no plug-in is loaded");
  auto it = hooks_.Menu().find(name);
  std::string export_name = it != hooks_.Menu().end() ? it->second : name;
  if (!HasExport(export_name))
    throw HostError("no menu command " + name + ": the plug-in " + file_ + " has no such export");
  auto answer = Call(export_name, command::kMenuCommand, 0, 0,
                     std::to_string(command::kMenuCommand) + ", 0, 0");
  return answer.has_value() && *answer != 0;
}

void PluginHost::Note(const std::string& text) const {
  if (note_) note_(text);
}

std::optional<std::string> PluginHost::TakeFailure() {
  std::optional<std::string> failure = std::move(failure_);
  if (failure && later_failures_ > 0)
    *failure += " (and " + std::to_string(later_failures_) + " more hook error" +
                (later_failures_ == 1 ? "" : "s") + " after it)";
  failure_.reset();
  later_failures_ = 0;
  return failure;
}

}  // namespace hostsim
