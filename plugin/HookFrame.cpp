#include "plugin/HookFrame.h"

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "photos/tables/Fotoverwaltung.h"

namespace HookFrame {

std::string HookText(intptr_t text) {
  return host::HookText(text, CurrentProfile().hook_texts);
}

void CopyHookText(intptr_t source, intptr_t target, uint16_t max_len) {
  host::CopyHookText(source, target, max_len, CurrentProfile().hook_texts);
}

bool IsPhotoLinkPost(std::string_view table_name, uint16_t event_code) {
  return event_code == 0 && tables::IsLinkTable(table_name);
}

}  // namespace HookFrame
