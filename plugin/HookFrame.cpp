#include "plugin/HookFrame.h"

#include <cstring>

#include "platform/text/Encoding.h"
#include "plugin/BuildProfile.h"

namespace HookFrame {

std::string HookText(intptr_t text) {
  if (text == 0) return {};
  if (CurrentProfile().utf16_hook_texts) {
    return platform::text::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text)));
  }
  return platform::text::AnsiToUtf8(reinterpret_cast<const char*>(text));
}

void CopyHookText(intptr_t source, intptr_t target, uint16_t max_len) {
  if (target == 0 || max_len == 0) return;
  if (CurrentProfile().utf16_hook_texts) {
    const auto* from = reinterpret_cast<const char16_t*>(source);
    auto* to = reinterpret_cast<char16_t*>(target);
    size_t n = 0;
    if (from != nullptr) {
      while (n + 1 < max_len && from[n] != u'\0') ++n;
      // A high surrogate whose partner did not fit would leave half a
      // character behind.
      if (n > 0 && from[n] != u'\0' && from[n - 1] >= 0xD800 && from[n - 1] <= 0xDBFF) --n;
      std::memcpy(to, from, n * sizeof(char16_t));
    }
    to[n] = u'\0';
    return;
  }
  const auto* from = reinterpret_cast<const char*>(source);
  auto* to = reinterpret_cast<char*>(target);
  size_t n = 0;
  if (from != nullptr) {
    while (n + 1 < max_len && from[n] != '\0') ++n;
    std::memcpy(to, from, n);
  }
  to[n] = '\0';
}

bool IsPhotoLinkPost(std::string_view table_name, uint16_t event_code) {
  return event_code == 0 && table_name == "Objektphotos";
}

}  // namespace HookFrame
