#include "host/HostApi.h"

#include <cstring>
#include <vector>

#include "host/LateBound.h"
#include "host/ktapi32.h"
#include "platform/module/Module.h"
#include "platform/text/Encoding.h"

// The host functions every build calls are linked at load time; those only
// some builds call (the exchange with files, the attribute tables, the
// photo dialog's point, the coordinates) are bound at run time with
// KT_LATE, since the KARTUL of another build may lack them (LateBound.h).
// The functions each build imports at load time are listed in
// builds/<build>.imports, which the checks of the libraries hold them to: a
// call written here without KT_LATE to a function not listed there fails
// them.

namespace host {
namespace {

std::string Ansi(std::string_view utf8) {
  return platform::text::Utf8ToAnsi(utf8);
}
std::string Utf8(const char* ansi) {
  return platform::text::AnsiToUtf8(ansi);
}

std::string HostPath(KTBool(KTAPI_CALL* get)(char*, int32_t)) {
  constexpr int32_t kSize = 255;
  char buffer[kSize + 1] = {};
  if (get(buffer, kSize) == 0) return {};
  buffer[kSize] = '\0';
  return Utf8(buffer);
}

}  // namespace

std::string HookText(intptr_t text, TextForm form) {
  if (text == 0) return {};
  if (form == TextForm::kUtf16) {
    return platform::text::Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text)));
  }
  return Utf8(reinterpret_cast<const char*>(text));
}

void CopyHookText(intptr_t source, intptr_t target, uint16_t max_len, TextForm form) {
  if (target == 0 || max_len == 0) return;
  if (form == TextForm::kUtf16) {
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

std::optional<std::string> ObjectDataKennung(intptr_t object_data) {
  const auto* data = reinterpret_cast<const TKTObjectData*>(object_data);
  if (data == nullptr || data->Kennung == nullptr) return std::nullopt;
  return Utf8(data->Kennung);
}

int32_t ObjectDataId(intptr_t object_data) {
  const auto* data = reinterpret_cast<const TKTObjectData*>(object_data);
  return data == nullptr ? 0 : data->Id;
}

std::optional<KennungRequest> KennungRequest::FromHookArgument(intptr_t request) {
  auto* raw = reinterpret_cast<TGetNewKennung*>(request);
  if (raw == nullptr) return std::nullopt;
  return KennungRequest(*raw);
}

std::string KennungRequest::Kennung() const {
  if (raw_->Kennung == nullptr) return {};
  // The host keeps maxChar characters and the terminator; a buffer it left
  // unterminated is read no further.
  return platform::text::AnsiToUtf8(
      std::string_view(raw_->Kennung, strnlen(raw_->Kennung, raw_->maxChar + size_t{1})));
}

bool KennungRequest::SetKennung(std::string_view kennung) {
  const std::string ansi = Ansi(kennung);
  if (raw_->Kennung == nullptr || ansi.size() > raw_->maxChar) return false;
  std::memcpy(raw_->Kennung, ansi.c_str(), ansi.size() + 1);
  return true;
}

bool KennungRequest::UseDialog() const {
  return raw_->UseDialog != 0;
}
void KennungRequest::SetUseDialog(bool use_dialog) {
  raw_->UseDialog = use_dialog ? 1 : 0;
}

int32_t ActiveObject() {
  return ktGetActiveGeoObject();
}
void SetActiveObject(int32_t id) {
  ktSetActiveObject(id);
}
void AddToSelection(int32_t id) {
  ktAddToSelection(id);
}
void DeleteObject(int32_t id) {
  KT_LATE(ktDeleteObject)(id);
}
void EnsureData(int32_t id) {
  KT_LATE(ktEnsureData)(id);
}
void DeselectAll() {
  ktDeselectAll();
}
int32_t SelectedCount() {
  return ktGetNrOfSelectedGeoObjects();
}
void Redraw() {
  ktRedraw();
}
void ActivateMap() {
  KT_LATE(ktActivateMap)();
}
void ActivateData() {
  KT_LATE(ktActivateData)();
}

UpdateGuard::UpdateGuard() {
  ktBeginUpdate();
}
UpdateGuard::~UpdateGuard() {
  ktEndUpdate();
}

int32_t CurrentObjectClass() {
  return ktGetObjectClass();
}
void SetObjectClass(int32_t class_id) {
  ktSetObjectClass(class_id);
}
int32_t ClassOf(int32_t id) {
  return ktGetClassOf(id);
}

std::optional<std::string> ClassShortName(int32_t class_id, uint8_t class_type) {
  char short_name[255 + 1] = {};
  char long_name[256 + 1] = {};
  TObjectClassData data{};
  data.ClassId = class_id;
  data.ShortName = short_name;
  data.LongName = long_name;
  data.ClassType = class_type;
  if (ktGetObjectClassData(&data) == 0) return std::nullopt;
  short_name[255] = '\0';
  return Utf8(short_name);
}

std::string KennungOf(int32_t id) {
  constexpr size_t kSize = 129;
  char buffer[kSize + 1] = {};
  TKTObjectData data{};
  data.Id = id;
  data.Kennung = buffer;
  if (ktGetObjectData(&data) == 0) return {};
  buffer[kSize - 1] = '\0';
  return Utf8(buffer);
}

void SetKennung(int32_t id, std::string_view kennung) {
  ktSetKennung(id, Ansi(kennung).c_str());
}
bool KennungExists(std::string_view kennung) {
  return ktKennungExists(Ansi(kennung).c_str()) != 0;
}
int32_t IdOfKennung(std::string_view kennung) {
  return ktGetIDFromKennung(Ansi(kennung).c_str());
}

bool CreateObjectStart(int32_t class_id, uint8_t draw_typ, std::string_view kennung) {
  return KT_LATE(ktCreateObjectStart)(class_id, draw_typ, Ansi(kennung).c_str()) != 0;
}
void CreateObjectFinish() {
  KT_LATE(ktCreateObjectFinish)();
}

double ObjectEasting(int32_t id) {
  return KT_LATE(ktGetObjectRWert)(id);
}
double ObjectNorthing(int32_t id) {
  return KT_LATE(ktGetObjectHWert)(id);
}
double ObjectArea(int32_t id) {
  return KT_LATE(ktGetObjectArea)(id);
}

std::optional<MapPoint> CursorCoordinates() {
  TDoublePoint point{};
  if (KT_LATE(ktGetCursorCoordinates)(&point) == 0) return std::nullopt;
  return MapPoint{point.x, point.y};
}

std::optional<std::string> ValueByName(std::string_view table, std::string_view field,
                                       uint16_t size) {
  std::vector<char> buffer(size + size_t{1}, '\0');
  if (KT_LATE(ktGetValueByName)(Ansi(table).c_str(), Ansi(field).c_str(), buffer.data(), size) == 0) {
    return std::nullopt;
  }
  // Terminated whatever the host wrote into the buffer.
  buffer[size] = '\0';
  return Utf8(buffer.data());
}

bool SetValueByName(std::string_view table, std::string_view field, std::string_view text) {
  return KT_LATE(ktSetValueByName)(Ansi(table).c_str(), Ansi(field).c_str(), Ansi(text).c_str()) != 0;
}

void TableFirst(std::string_view table) {
  KT_LATE(ktTableFirst)(Ansi(table).c_str());
}
void TableNext(std::string_view table) {
  KT_LATE(ktTableNext)(Ansi(table).c_str());
}
bool TableEOF(std::string_view table) {
  return KT_LATE(ktTableEOF)(Ansi(table).c_str()) != 0;
}
bool AppendRecord(std::string_view table) {
  return KT_LATE(ktAppendRecord)(Ansi(table).c_str()) != 0;
}
bool PostRecord(std::string_view table) {
  return KT_LATE(ktPostRecord)(Ansi(table).c_str()) != 0;
}
void TableRefresh(std::string_view table) {
  KT_LATE(ktTableRefresh)(Ansi(table).c_str());
}
void DisableControls(std::string_view table) {
  // The controls are enabled again when the work ends, from a destructor at
  // times, where a missing function could not be told: a host that lacks
  // either of the pair refuses here, before anything is disabled.
  (void)KT_LATE(ktEnableControls);
  KT_LATE(ktDisableControls)(Ansi(table).c_str());
}
void EnableControls(std::string_view table) {
  if (!late::Has(late::BindingOf<"ktEnableControls">())) return;
  KT_LATE(ktEnableControls)(Ansi(table).c_str());
}

std::string ProjectDir() {
  return HostPath(ktGetProjectDir);
}
std::string VerfahrenDir() {
  return HostPath(ktGetVerfahrenDir);
}
std::string ProjectDB() {
  return HostPath(KT_LATE(ktGetProjectDB));
}
std::string VerfahrenDB() {
  return HostPath(KT_LATE(ktGetVerfahrenDB));
}

void IterateObjects(bool all_objects, std::string_view export_name) {
  ktIterateObjects(all_objects ? 1 : 0, Ansi(platform::module::OwnFileName()).c_str(),
                   Ansi(export_name).c_str());
}

bool ImportGeodaten(const std::string& file, int32_t mode, int32_t flags) {
  return KT_LATE(ktImportGeodaten)(Ansi(file).c_str(), mode, flags) != 0;
}

bool ImportDataXML(const std::string& file, bool create_missing) {
  return KT_LATE(ktImportDataXML)(Ansi(file).c_str(), create_missing ? 1 : 0) != 0;
}

bool ExportGeodaten(const std::string& file, int32_t mode, bool all_objects, int32_t options) {
  return KT_LATE(ktExportGeodaten)(Ansi(file).c_str(), mode, all_objects ? 1 : 0, options) != 0;
}

bool ExportDataXML(const std::string& file, bool all_objects, bool with_empty) {
  return KT_LATE(ktExportDataXML)(Ansi(file).c_str(), all_objects ? 1 : 0, with_empty ? 1 : 0) != 0;
}

bool ExportDataXMLEx(const std::string& file, bool all_objects, bool with_empty,
                     std::string_view true_text, std::string_view false_text) {
  const std::u16string file16 = platform::text::Utf8ToUtf16(file);
  const std::u16string true16 = platform::text::Utf8ToUtf16(true_text);
  const std::u16string false16 = platform::text::Utf8ToUtf16(false_text);
  return KT_LATE(ktExportDataXMLEx)(file16.c_str(), all_objects ? 1 : 0, with_empty ? 1 : 0, true16.c_str(),
                           false16.c_str()) != 0;
}

}  // namespace host
