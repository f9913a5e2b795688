// Which build runs, as apart from what it does (context/BuildProfile.h).
// Only a build's entry file (builds/), naming its own build, and the tests,
// choosing the build they exercise, need to know; the rules read the
// profile alone. A rule that could tell which build runs would sooner or
// later branch on it where a capability belongs, and the builds would
// differ in ways the profile and docs/builds.md do not show. So nothing
// the rules may include carries the identity, and the layer check
// (tests/CheckLayers.py) lets no file above context/ but builds/ include
// this header.
#pragma once

#include <string_view>

#include "context/BuildProfile.h"
#include "context/PluginContext.h"

enum class Build { kVD1TransAction2010, kVD1TransAction, kTransactHooks };

const BuildProfile& ProfileOf(Build build);
// The deliverable's name, e.g. "VD1TransAction2010": its library's name and
// its column in docs/builds.md.
std::string_view NameOf(Build build);

namespace context {

inline void Start(Build build) {
  Start(ProfileOf(build));
}

}  // namespace context

// Another build's profile for the same state and connections (tests run
// every build's rules in one process).
inline void SelectBuild(Build build) {
  context::Current().SelectProfile(ProfileOf(build));
}
