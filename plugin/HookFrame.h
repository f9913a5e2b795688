// What the hooks share beyond the plug-in state: their text arguments in the
// running build's form (UTF-16 in the full build, ANSI in the others, read
// and written by the host façade), and the host's numbers the hooks compare.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace HookFrame {

// AfterKARTULCommand: the host's object creation command, and the wParam it
// reports when the mapper abandoned placing the object.
inline constexpr int32_t kCommandCreateObject = 1058;
inline constexpr uint16_t kCreateAbandoned = 7;

// A hook's text argument in UTF-8; empty for a null pointer.
std::string HookText(intptr_t text);

// Copies a hook's text argument into the host's result buffer unchanged,
// never more than max_len characters including the terminator; nothing when
// max_len is 0. A UTF-16 surrogate pair is never split.
void CopyHookText(intptr_t source, intptr_t target, uint16_t max_len);

// A post of the photo link table: the exact, case-sensitive name and event 0.
bool IsPhotoLinkPost(std::string_view table_name, uint16_t event_code);

}  // namespace HookFrame
