// On POSIX systems there is no registry of the system's: the current user's
// is a file of their own.
#include "platform/registry/FileRegistry.h"

namespace platform::registry {

std::shared_ptr<RegistryStore> RegistryStore::Default() {
  return std::make_shared<FileRegistry>(RegistryFilePath());
}

}  // namespace platform::registry
