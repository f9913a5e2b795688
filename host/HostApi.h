// The host façade: the only place in the plug-in that calls the host's API
// (ktapi32) and the only place where texts cross between the plug-in's UTF-8
// and the host's code pages. Above this layer every text is UTF-8 and every
// object is its host id; the host's records and hook arguments are read and
// written here and nowhere else.
//
// Texts towards the host go as ANSI (Windows-1252): a character the code
// page lacks becomes '?', as the host's own conversion does. Host truth
// values come back as bool. None of these functions reports to the user;
// a host call that fails gives its "nothing" (false, 0, empty text).
//
// The functions that not every build calls are bound at run time
// (host/LateBound.h), since the KARTUL a build serves may lack them; where
// the running host lacks one, the function that needs it throws
// MissingHostFunction instead of calling the host.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The host's records, complete only inside the façade.
struct TGetNewKennung;

namespace host {

// The running KARTUL does not provide a host function the plug-in needs
// for what it was asked to do. The text, in German, names the function; a
// hook shows it, and the work stops there.
class MissingHostFunction : public std::runtime_error {
 public:
  explicit MissingHostFunction(std::string function);
  const std::string& Function() const { return function_; }

 private:
  std::string function_;
};

// How a build's hooks receive their text arguments.
enum class TextForm { kAnsi, kUtf16 };

// ---- Hook arguments ---------------------------------------------------------

// A hook's text argument in UTF-8; empty for a null pointer.
std::string HookText(intptr_t text, TextForm form);

// Copies a hook's text argument into the host's result buffer unchanged,
// never more than max_len characters including the terminator; nothing when
// max_len is 0 or the buffer is null. A UTF-16 surrogate pair is never split.
void CopyHookText(intptr_t source, intptr_t target, uint16_t max_len, TextForm form);

// The identifier carried by the TKTObjectData* of an object walk
// (ktIterateObjects); nothing for a null record or identifier.
std::optional<std::string> ObjectDataKennung(intptr_t object_data);
// The object id carried by such a record; 0 for a null record.
int32_t ObjectDataId(intptr_t object_data);

// The host's create request (a TGetNewKennung* in the hook's P2): the
// identifier the host proposes and receives, the room its buffer has, and
// whether the host goes on with its own identifier handling (UseDialog).
class KennungRequest {
 public:
  // Null when the hook got no request.
  static std::optional<KennungRequest> FromHookArgument(intptr_t request);

  // The identifier in the buffer, UTF-8.
  std::string Kennung() const;
  // Writes the identifier as ANSI with its terminator; false, and the
  // buffer untouched, when it does not fit maxChar characters (an
  // identifier cut short would be another object's).
  bool SetKennung(std::string_view kennung);
  bool UseDialog() const;
  void SetUseDialog(bool use_dialog);

 private:
  explicit KennungRequest(TGetNewKennung& raw) : raw_(&raw) {}
  TGetNewKennung* raw_;
};

// ---- Objects, selection, classes ---------------------------------------------

int32_t ActiveObject();  // 0 or less: none
void SetActiveObject(int32_t id);
void AddToSelection(int32_t id);
void DeleteObject(int32_t id);
void EnsureData(int32_t id);
void DeselectAll();
int32_t SelectedCount();
void Redraw();
void ActivateMap();
void ActivateData();

// Brackets a change of the selection (ktBeginUpdate/ktEndUpdate), ended
// also when the work in between throws.
class UpdateGuard {
 public:
  UpdateGuard();
  ~UpdateGuard();
  UpdateGuard(const UpdateGuard&) = delete;
  UpdateGuard& operator=(const UpdateGuard&) = delete;
};

int32_t CurrentObjectClass();
void SetObjectClass(int32_t class_id);
int32_t ClassOf(int32_t id);
// The short name of a class from the host's class data; nothing when the
// host does not know the class.
std::optional<std::string> ClassShortName(int32_t class_id, uint8_t class_type);

// ---- Identifiers --------------------------------------------------------------

// The identifier of an object; empty when the host reports failure.
std::string KennungOf(int32_t id);
// Asks the host to change an identifier; the identifier hooks fire before
// this returns. The host's answer is not what counts: read the identifier
// back to know whether the change stood.
void SetKennung(int32_t id, std::string_view kennung);
bool KennungExists(std::string_view kennung);
int32_t IdOfKennung(std::string_view kennung);  // 0 or less: none

// ---- Interactive creation ------------------------------------------------------

bool CreateObjectStart(int32_t class_id, uint8_t draw_typ, std::string_view kennung);
void CreateObjectFinish();

// ---- Geometry facts -------------------------------------------------------------

double ObjectEasting(int32_t id);
double ObjectNorthing(int32_t id);
double ObjectArea(int32_t id);
struct MapPoint {
  double x = 0;
  double y = 0;
};
std::optional<MapPoint> CursorCoordinates();

// ---- Attribute tables by name (rows of the active object) -------------------------

// The field's text read through a buffer of `size` bytes; nothing when the
// host has no value.
std::optional<std::string> ValueByName(std::string_view table, std::string_view field,
                                       uint16_t size);
bool SetValueByName(std::string_view table, std::string_view field, std::string_view text);
void TableFirst(std::string_view table);
void TableNext(std::string_view table);
bool TableEOF(std::string_view table);
// False when the host refused (no table, no data object; nothing pending).
bool AppendRecord(std::string_view table);
bool PostRecord(std::string_view table);
void TableRefresh(std::string_view table);
// The host's controls of a table off while the plug-in walks its rows, and
// on again. DisableControls refuses a host that lacks either function, so
// that EnableControls, which may run from a destructor, never throws for
// want of one.
void DisableControls(std::string_view table);
void EnableControls(std::string_view table);

// ---- Folders and databases ----------------------------------------------------------

// As the host gives them through a 255-byte buffer; empty when it gives none.
std::string ProjectDir();
std::string VerfahrenDir();
std::string ProjectDB();
std::string VerfahrenDB();

// ---- Object walks and file exchange ---------------------------------------------------

// Has the host call the plug-in's own export once per selected object
// (every object when all_objects). The host finds the plug-in by the file
// name it was loaded from, which the system tells (a library renamed on
// installation included).
void IterateObjects(bool all_objects, std::string_view export_name);
// The host's answer: false when it could not load the file.
bool ImportGeodaten(const std::string& file, int32_t mode, int32_t flags);
bool ImportDataXML(const std::string& file, bool create_missing);
bool ExportGeodaten(const std::string& file, int32_t mode, bool all_objects, int32_t options);
bool ExportDataXML(const std::string& file, bool all_objects, bool with_empty);
// The newer export: file name and boolean spellings go to the host as UTF-16.
bool ExportDataXMLEx(const std::string& file, bool all_objects, bool with_empty,
                     std::string_view true_text, std::string_view false_text);

}  // namespace host
