// The host's functions that are bound at run time rather than at load time.
//
// Windows refuses to load a library that imports a function the loading
// program lacks. The builds serve different versions of KARTUL, and a host
// function that only some builds call may be missing from the host another
// build serves (ktExportDataXMLEx, say, from the earlier KARTUL). So a
// library imports at load time only what every build calls (the list of
// each build: builds/<build>.imports), and the rest is looked up by name
// in the host's library (ktapi32) the first time it is needed. A function
// the running host lacks then stops the work that needs it with a message
// naming it (MissingHostFunction), instead of keeping the plug-in from
// loading at all.
//
// Only the host façade (HostApi.cpp) binds through this; tests take a
// function away with HostWithout to run a build as on an earlier host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostApi.h"

namespace host::late {

// One host function's binding: its name and what the lookup found. Each
// function has one, so it is looked up once; the answer, an address or
// none, is kept.
struct Binding {
  const char* name;
  // The round of lookups the address belongs to; 0 before the first.
  std::atomic<uint32_t> round{0};
  std::atomic<void*> address{nullptr};
};

// The host's function, looked up on first use; throws MissingHostFunction
// when the running host does not have it.
void* Require(Binding& binding);

// Whether the running host has the function.
bool Has(Binding& binding);

// A function's name as a template argument: one binding per name.
template <size_t N>
struct Name {
  char text[N];
  // Implicit, so that a string literal names the function.
  constexpr Name(const char (&name)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = name[i];
  }
};

template <Name name>
Binding& BindingOf() {
  // Constant-initialised: no guard, nothing run before main.
  static Binding binding{name.text};
  return binding;
}

template <Name name, class Function>
Function Bound() {
  return reinterpret_cast<Function>(Require(BindingOf<name>()));
}

}  // namespace host::late

// The host function `function` of host/ktapi32.h, bound at run time; the
// name is the declared one, so a misspelt name does not compile.
#define KT_LATE(function) (::host::late::Bound<#function, decltype(&function)>())

namespace host::testing {

// For tests of a build on an earlier host: while one lives, the host's
// library appears to lack the named functions, and every host function is
// looked up anew (so once it is gone, each is found again).
class HostWithout {
 public:
  explicit HostWithout(std::vector<std::string> functions);
  ~HostWithout();
  HostWithout(const HostWithout&) = delete;
  HostWithout& operator=(const HostWithout&) = delete;
};

}  // namespace host::testing
