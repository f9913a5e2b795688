#include "host/LateBound.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/module/Module.h"

namespace host {

MissingHostFunction::MissingHostFunction(std::string function)
    : std::runtime_error("KARTUL stellt die Funktion " + function +
                         " nicht bereit; diese Version des Plug-ins passt nicht zur "
                         "installierten KARTUL-Version. Der Vorgang wurde abgebrochen."),
      function_(std::move(function)) {}

namespace late {
namespace {

// The host's library, as the plug-in was linked against it.
constexpr const char* kHostLibrary = "ktapi32";

std::mutex& LookupMutex() {
  static std::mutex mutex;
  return mutex;
}
// Raised whenever the functions a test hides change, so that every binding
// is looked up anew. Starts above a binding's 0 (never looked up).
std::atomic<uint32_t> g_round{1};
std::vector<std::string>& Hidden() {
  static std::vector<std::string> hidden;
  return hidden;
}

void* Lookup(Binding& binding) {
  const uint32_t round = g_round.load(std::memory_order_acquire);
  if (binding.round.load(std::memory_order_acquire) == round) {
    return binding.address.load(std::memory_order_relaxed);
  }
  const std::lock_guard<std::mutex> lock(LookupMutex());
  const uint32_t current = g_round.load(std::memory_order_acquire);
  const std::vector<std::string>& hidden = Hidden();
  void* address = std::find(hidden.begin(), hidden.end(), binding.name) != hidden.end()
                      ? nullptr
                      : platform::module::LoadedLibraryFunction(kHostLibrary, binding.name);
  binding.address.store(address, std::memory_order_relaxed);
  binding.round.store(current, std::memory_order_release);
  return address;
}

}  // namespace

void* Require(Binding& binding) {
  void* address = Lookup(binding);
  if (address == nullptr) throw MissingHostFunction(binding.name);
  return address;
}

bool Has(Binding& binding) {
  return Lookup(binding) != nullptr;
}

}  // namespace late

namespace testing {

HostWithout::HostWithout(std::vector<std::string> functions) {
  const std::lock_guard<std::mutex> lock(late::LookupMutex());
  late::Hidden() = std::move(functions);
  late::g_round.fetch_add(1, std::memory_order_acq_rel);
}

HostWithout::~HostWithout() {
  const std::lock_guard<std::mutex> lock(late::LookupMutex());
  late::Hidden().clear();
  late::g_round.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace testing
}  // namespace host
