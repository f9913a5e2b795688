// The plug-in's context: made when a build's library is loaded and read by
// every rule below the hooks: what the running build does (its profile), the
// flags the hooks steer re-entry with, and the store of connections. One per
// loaded library; nothing else keeps hook or project state in globals.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "context/BuildProfile.h"
#include "context/PluginState.h"
#include "context/ProjectStore.h"

namespace context {

class PluginContext {
 public:
  explicit PluginContext(const BuildProfile& profile) : profile_(&profile) {}
  // The modules' state goes one at a time, each taken out of the map first:
  // one may reach another as it goes (the photo dialog frees the data
  // module), and finds it there, or finds an empty one made anew.
  ~PluginContext() {
    while (!module_states_.empty()) {
      auto node = module_states_.extract(module_states_.begin());
      node.mapped().reset();
    }
  }
  PluginContext(const PluginContext&) = delete;
  PluginContext& operator=(const PluginContext&) = delete;

  const BuildProfile& Profile() const { return *profile_; }
  PluginState& State() { return state_; }
  ProjectStore& Store() { return store_; }

  // State a rules module keeps while the library is loaded (the photo task
  // with its data module and dialog), made on first use and gone with the
  // context; one object per type. The context cannot know the rules'
  // types, so it keeps them without looking inside.
  template <class T>
  T& ModuleState() {
    std::unique_ptr<ModuleStateBase>& slot = module_states_[&Key<T>::id];
    if (!slot) slot = std::make_unique<Holder<T>>();
    return static_cast<Holder<T>&>(*slot).value;
  }

  // Another profile for the same state and connections (tests run every
  // build's rules in one process).
  void SelectProfile(const BuildProfile& profile) { profile_ = &profile; }
  // The flags at their load-time values.
  void ResetState() { state_ = PluginState{}; }

 private:
  // One address per type and library, the key of its state. Not the type's
  // typeid: on Windows the order of type_info puts a type of an anonymous
  // namespace by its name's address and others by their names, which is no
  // order a map can keep, and a state was then made twice.
  template <class T>
  struct Key {
    static constexpr char id = 0;
  };
  struct ModuleStateBase {
    virtual ~ModuleStateBase() = default;
  };
  template <class T>
  struct Holder : ModuleStateBase {
    T value;
  };

  const BuildProfile* profile_;
  PluginState state_;
  ProjectStore store_;
  // Last, so that the modules' state goes before the connections.
  std::map<const char*, std::unique_ptr<ModuleStateBase>> module_states_;
};

// The loaded library's context. Made on first use, with the full build's
// profile until a build is started: a build's entry runs at library load,
// possibly before other static objects of the library exist.
PluginContext& Current();
// A fresh context for a build's profile: flags at their load-time values,
// no connection open.
void Start(const BuildProfile& profile);

}  // namespace context

namespace context {

// The plug-in's own calls into the host that make the host fire hooks back:
// its exports of the project, the rows and identifiers it writes while an
// import runs or is taken back, the identifier it hands the host when it
// assigns one. The hooks must not take that work for the mapper's edits, so
// each such call runs inside one of these scopes, which set the plug-in's
// flags for their life and put back what they found (also when the work
// throws). Only the identifier change itself sets the change-mark flag
// elsewhere: its two hooks set it and clear it, in that order.

// The host's writes and exports in this scope mark no change
// (blnDoNotSetChangeFlag): they are the plug-in's work, not the mapper's.
class NoChangeMarks {
 public:
  NoChangeMarks();

 private:
  ScopedFlag flag_;
};

// An import, or its undo, runs: in the builds whose profile says so, the
// deletion hook leaves the transaction list to it (ImportRunning).
class ImportRunning {
 public:
  ImportRunning();

 private:
  std::optional<ScopedFlag> flag_;
};

// Hands the host the object's identifier as the plug-in's own change: the
// identifier hooks the host fires meanwhile stand aside
// (blnChangingKennungInternal). The caller reads back whether it was taken.
void SetOwnKennung(int32_t id, std::string_view kennung);

}  // namespace context

// Shorthands for what the rules read most.
inline const BuildProfile& CurrentProfile() {
  return context::Current().Profile();
}
inline PluginState& State() {
  return context::Current().State();
}
inline void ResetPluginState() {
  context::Current().ResetState();
}
// The VANDRA registry key of the running build.
inline std::string VandraRegKey() {
  return std::string(CurrentProfile().registry_key);
}
