// A plug-in for the host stand-in's own tests (test code, not a product): it
// exports every hook name, records each call, answers as a test tells it, and
// calls back into the host where the system's plug-in would (ktSetKennung
// inside a hook, ktIterateObjects, placing a temporary point, a timer).
// Tests steer it through the testplugin_* functions, found with dlsym.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "host/ktapi32.h"
#include "platform/ui/Timer.h"

namespace {

std::string g_log;
std::map<std::string, int16_t> g_answers;
bool g_utf16 = true;
std::string g_create_kennung;  // written into the create request, settled
std::string g_rename_hook;     // on this hook, rename P1 ...
std::string g_rename_to;       // ... to this, once
int g_rename_skip = 0;         // after letting this many calls pass
std::string g_library = "kartul_testplugin.dll";
int32_t g_temp_id = 0;  // -1 placing abandoned, > 0 the placed object
bool g_temp_creation = false;
uint32_t g_timer = 0;
int g_timer_runs = 0;

std::string HookText(intptr_t p) {
  if (!p) return "(null)";
  if (!g_utf16) return reinterpret_cast<const char*>(p);
  std::string out;
  for (auto* s = reinterpret_cast<const char16_t*>(p); *s; ++s)
    out += *s < 0x80 ? static_cast<char>(*s) : '?';
  return out;
}

int16_t Answer(const char* hook) {
  auto it = g_answers.find(hook);
  return it == g_answers.end() ? -1 : it->second;
}

void Log(const std::string& line) {
  g_log += line + "\n";
}

void MaybeRename(const char* hook, intptr_t p1) {
  if (g_rename_hook == hook && g_rename_skip-- == 0) {
    g_rename_hook.clear();
    Log(std::string(hook) + ": ktSetKennung -> " +
        std::to_string(ktSetKennung(static_cast<int32_t>(p1), g_rename_to.c_str())));
  }
}

int16_t Plain(const char* hook, intptr_t p1, intptr_t p2, uint16_t p3) {
  Log(std::string(hook) + " " + std::to_string(p1) + " " + std::to_string(p2) + " " +
      std::to_string(p3));
  MaybeRename(hook, p1);
  return Answer(hook);
}

void TimerProc(void*) {
  ++g_timer_runs;
  if (g_temp_creation) return;
  using KillFn = void (*)(uint32_t);
  auto kill = reinterpret_cast<KillFn>(dlsym(RTLD_DEFAULT, "kartulsim_kill_timer"));
  if (kill) kill(g_timer);
  g_timer = 0;
  if (g_temp_id > 0) {
    ktCreateObjectFinish();
    Log("timer: placed at " + std::to_string(ktGetObjectRWert(g_temp_id)) + " " +
        std::to_string(ktGetObjectHWert(g_temp_id)));
  } else {
    Log("timer: placing abandoned");
  }
}

// Copies the entered text with "!" appended into the result buffer.
void CopyValue(intptr_t akt, intptr_t result, uint16_t max_len) {
  if (!result || max_len == 0) return;
  std::string text = HookText(akt) + "!";
  if (g_utf16) {
    auto* out = reinterpret_cast<char16_t*>(result);
    size_t n = std::min<size_t>(text.size(), max_len - 1u);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(text[i]);
    out[n] = 0;
  } else {
    auto* out = reinterpret_cast<char*>(result);
    size_t n = std::min<size_t>(text.size(), max_len - 1u);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
  }
}

}  // namespace

extern "C" {

// ---- steering -----------------------------------------------------------------
__attribute__((visibility("default"))) const char* testplugin_log() {
  return g_log.c_str();
}
__attribute__((visibility("default"))) void testplugin_reset() {
  g_log.clear();
  g_answers.clear();
  g_create_kennung.clear();
  g_rename_hook.clear();
  g_temp_id = 0;
  g_temp_creation = false;
  g_timer = 0;
  g_timer_runs = 0;
}
__attribute__((visibility("default"))) void testplugin_answer(const char* hook, int16_t answer) {
  g_answers[hook] = answer;
}
__attribute__((visibility("default"))) void testplugin_utf16(int on) {
  g_utf16 = on != 0;
}
__attribute__((visibility("default"))) void testplugin_create_kennung(const char* k) {
  g_create_kennung = k;
}
__attribute__((visibility("default"))) void testplugin_rename_in(const char* hook, const char* to,
                                                                 int skip) {
  g_rename_hook = hook;
  g_rename_to = to;
  g_rename_skip = skip;
}
__attribute__((visibility("default"))) void testplugin_library(const char* name) {
  g_library = name;
}
__attribute__((visibility("default"))) int32_t testplugin_temp_id() {
  return g_temp_id;
}
__attribute__((visibility("default"))) int testplugin_timer_runs() {
  return g_timer_runs;
}

// ---- hooks ------------------------------------------------------------------
#define PLAIN_HOOK(name)                                                                       \
  __attribute__((visibility("default"))) int16_t name(intptr_t p1, intptr_t p2, uint16_t p3) { \
    return Plain(#name, p1, p2, p3);                                                           \
  }
PLAIN_HOOK(BeforeLoadProject)
PLAIN_HOOK(AfterLoadProject)
PLAIN_HOOK(BeforeCloseProject)
PLAIN_HOOK(AfterCloseProject)
PLAIN_HOOK(DeleteFromTransActionList)
PLAIN_HOOK(BeforeChangeKennung)
PLAIN_HOOK(AfterChangeKennung)
PLAIN_HOOK(UpdateKennungPreCorrection)
PLAIN_HOOK(CheckStatus)
PLAIN_HOOK(GeometryChanged)
PLAIN_HOOK(AfterEditObject)
PLAIN_HOOK(SwitchKennung)
PLAIN_HOOK(ShowObjStatus)
PLAIN_HOOK(SelectByStatus)
PLAIN_HOOK(MakeTransActionReport)
PLAIN_HOOK(VD1CustomImport)
PLAIN_HOOK(VD1CustomExport)
PLAIN_HOOK(SetETRS89)
PLAIN_HOOK(SetGaussKrueger)
PLAIN_HOOK(AfterPasteData)
PLAIN_HOOK(VD1Vorpruefung)
#undef PLAIN_HOOK

__attribute__((visibility("default"))) int16_t BeforeCreateObject(intptr_t p1, intptr_t p2,
                                                                  uint16_t p3) {
  auto* request = reinterpret_cast<TGetNewKennung*>(p2);
  Log("BeforeCreateObject " + std::to_string(p1) + " " + request->Kennung + " " +
      std::to_string(request->maxChar) + " " + std::to_string(p3));
  if (g_temp_creation) {
    request->UseDialog = 0;
  } else if (!g_create_kennung.empty()) {
    std::strncpy(request->Kennung, g_create_kennung.c_str(), request->maxChar);
    request->Kennung[request->maxChar] = '\0';
    request->UseDialog = 0;
  }
  return Answer("BeforeCreateObject");
}

__attribute__((visibility("default"))) int16_t InsertInTransActionList(intptr_t p1, intptr_t p2,
                                                                       uint16_t p3) {
  Log("InsertInTransActionList " + std::to_string(p1) + " " + std::to_string(p2) + " " +
      std::to_string(p3));
  if (g_temp_creation) {
    g_temp_id = static_cast<int32_t>(p2);
    g_temp_creation = false;
    ktRedraw();
  }
  return Answer("InsertInTransActionList");
}

__attribute__((visibility("default"))) int16_t AfterKARTULCommand(intptr_t p1, intptr_t p2,
                                                                  uint16_t p3) {
  Log("AfterKARTULCommand " + std::to_string(p1) + " " + std::to_string(p2) + " " +
      std::to_string(p3));
  if (g_temp_creation && p1 == 1058 && p3 == 7) {
    g_temp_id = -1;
    g_temp_creation = false;
  }
  return -1;
}

__attribute__((visibility("default"))) int16_t OnTablePost(intptr_t p1, intptr_t p2, uint16_t p3) {
  // The row posted (or going, for code 0) is still current.
  char photo[32] = "-";
  if (HookText(p2) == "Objektphotos")
    ktGetValueByName("Objektphotos", "PhotoID", photo, sizeof photo);
  Log("OnTablePost " + HookText(p1) + " " + HookText(p2) + " " + std::to_string(p3) + " " + photo);
  return Answer("OnTablePost");
}

__attribute__((visibility("default"))) int16_t CorrectHauptfoto(intptr_t p1, intptr_t p2,
                                                                uint16_t p3) {
  Log("CorrectHauptfoto " + HookText(p1) + " " + std::to_string(p3));
  CopyValue(p1, p2, p3);
  return 0;
}

__attribute__((visibility("default"))) int16_t DeletePflanzenStatus(intptr_t p1, intptr_t p2,
                                                                    uint16_t p3) {
  Log("DeletePflanzenStatus " + HookText(p1) + " " + std::to_string(p3));
  CopyValue(p1, p2, p3);
  return -1;
}

__attribute__((visibility("default"))) int16_t CreateListToAssign(intptr_t p1, intptr_t, uint16_t) {
  auto* data = reinterpret_cast<TKTObjectData*>(p1);
  Log("CreateListToAssign " + std::to_string(data->Id) + " " + data->Kennung + " " +
      std::to_string(data->Klasse));
  MaybeRename("CreateListToAssign", data->Id);
  return Answer("CreateListToAssign");
}

__attribute__((visibility("default"))) int16_t AssignToTransaction(intptr_t, intptr_t, uint16_t) {
  Log("AssignToTransaction " + std::to_string(ktGetNrOfSelectedGeoObjects()));
  Log("ktIterateObjects -> " +
      std::to_string(ktIterateObjects(0, g_library.c_str(), "CreateListToAssign")));
  return -1;
}

// Starts placing a temporary point, as the photo dialog does, and polls for
// the result with a 10 ms timer.
__attribute__((visibility("default"))) int16_t ProcessFoto(intptr_t, intptr_t, uint16_t) {
  g_temp_creation = true;
  g_temp_id = -1;
  int32_t klasse = ktGetClassOf(ktGetActiveGeoObject());
  Log("ProcessFoto ktCreateObjectStart -> " +
      std::to_string(
          ktCreateObjectStart(klasse ? klasse : ktGetObjectClass(), ktSinglePoint, "TempObj1")));
  using SetFn = uint32_t (*)(uint32_t, KartulSimTimerProc, void*);
  auto set = reinterpret_cast<SetFn>(dlsym(RTLD_DEFAULT, "kartulsim_set_timer"));
  if (set) g_timer = set(10, TimerProc, nullptr);
  return -1;
}

// Misbehaving exports for the host's robustness tests.
__attribute__((visibility("default"))) int16_t Throw(intptr_t, intptr_t, uint16_t) {
  throw std::runtime_error("thrown by the test plug-in");
}
__attribute__((visibility("default"))) int16_t Crash(intptr_t, intptr_t, uint16_t) {
  std::abort();
}

}  // extern "C"
