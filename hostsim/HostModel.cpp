// Host, the mapper's front of the host stand-in: each command is carried out
// by one of the parts (HostParts.h) and then reported to the plug-in with
// command-done, as the host reports every command of its user.
#include "hostsim/HostModel.h"

#include "hostsim/HostParts.h"

namespace hostsim {

Host::Host() : parts_(std::make_unique<HostParts>()) {}

Host::~Host() {
  try {
    CloseProject();
  } catch (...) {
  }
  // The plug-in stays loaded: its code may still be referenced by timers or
  // by objects the process tears down after us.
}

Host& TheHost() {
  static Host* host = new Host();  // never destroyed: plug-ins may call in at exit
  return *host;
}

HostParts& PartsOf(Host& host) {
  return *host.parts_;
}

// ---- Project ------------------------------------------------------------------

void Host::CreateProject(const std::string& project_dir, const std::string& procedure_dir) {
  Project::Create(project_dir, procedure_dir);
}
void Host::OpenProject(const std::string& project_dir) {
  parts_->project.Open(project_dir);
}
void Host::CloseProject() {
  parts_->project.Close();
}
bool Host::HasProject() const {
  return parts_->project.IsOpen();
}
std::string Host::ProjectDir() const {
  return parts_->project.Dir();
}
std::string Host::ProcedureDir() const {
  return parts_->project.ProcedureDir();
}
std::string Host::ProjectDB() const {
  return parts_->project.DbPath();
}
std::string Host::ProcedureDB() const {
  return parts_->project.ProcedureDbPath();
}

// ---- Plug-in and hooks --------------------------------------------------------

void Host::LoadPlugin(const std::string& name_or_path, const std::string& search_dir) {
  parts_->plugin.Load(name_or_path, search_dir);
}
void Host::LoadLinkedPlugin(const std::string& build) {
  parts_->plugin.LoadLinked(build);
}
bool Host::HasPlugin() const {
  return parts_->plugin.Loaded();
}
std::string Host::PluginFile() const {
  return parts_->plugin.File();
}
void Host::SetHookTable(const HookTable& table) {
  parts_->plugin.SetHookTable(table);
}
const HookTable& Host::Hooks() const {
  return parts_->plugin.Hooks();
}
void Host::Bind(HookEvent event, const std::string& export_name) {
  parts_->plugin.Bind(event, export_name);
}
void Host::BindMenu(const std::string& command, const std::string& export_name) {
  parts_->plugin.BindMenu(command, export_name);
}
void Host::SetUtf16HookTexts(bool utf16) {
  parts_->plugin.SetUtf16(utf16);
}
bool Host::Utf16HookTexts() const {
  return parts_->plugin.Utf16();
}
void Host::SetTraceSink(std::function<void(const HookCall&)> sink) {
  parts_->plugin.SetTraceSink(std::move(sink));
}
const std::vector<HookCall>& Host::HookLog() const {
  return parts_->plugin.Log();
}
void Host::ClearHookLog() {
  parts_->plugin.ClearLog();
}
void Host::SetNoteSink(std::function<void(const std::string&)> sink) {
  parts_->plugin.SetNoteSink(std::move(sink));
}
std::optional<std::string> Host::TakeHookFailure() {
  return parts_->plugin.TakeFailure();
}

// ---- Classes --------------------------------------------------------------------

const std::vector<ObjectClass>& Host::Classes() const {
  return parts_->project.Classes();
}
const ObjectClass* Host::FindClass(std::string_view id_or_short_name) const {
  return parts_->project.FindClass(id_or_short_name);
}
const ObjectClass* Host::ClassById(int32_t id) const {
  return parts_->project.ClassById(id);
}
int32_t Host::CurrentClass() const {
  return parts_->project.CurrentClass();
}
void Host::SetCurrentClass(int32_t id) {
  parts_->project.SetCurrentClass(id);
  ReportCommand(command::kSetObjectClass, id);
}

// ---- Objects --------------------------------------------------------------------

std::vector<int32_t> Host::ObjectIds() const {
  return parts_->project.ObjectIds();
}
const GeoObject* Host::FindObject(int32_t id) const {
  return parts_->project.Find(id);
}
int32_t Host::Resolve(std::string_view ref) const {
  return parts_->project.Resolve(ref);
}
int32_t Host::IdOf(std::string_view kennung) const {
  return parts_->project.IdOf(kennung);
}
std::string Host::ProposeKennung(int32_t class_id) const {
  return parts_->project.ProposeKennung(class_id);
}
double Host::Easting(int32_t id) const {
  return parts_->project.Easting(id);
}
double Host::Northing(int32_t id) const {
  return parts_->project.Northing(id);
}
double Host::Area(int32_t id) const {
  return parts_->project.Area(id);
}

int32_t Host::CreateObject(int32_t class_id, TDrawTyp typ, const std::vector<Point>& geometry,
                           const std::string& kennung) {
  int32_t id = parts_->project.Create(class_id, typ, geometry, kennung);
  ReportCommand(command::kCreateObject, id);
  return id;
}
int32_t Host::Place(const std::vector<Point>& geometry) {
  return parts_->project.Place(geometry);  // reports command 1058 itself
}
void Host::Abandon() {
  parts_->project.Abandon();  // reports command 1058 itself
}
Creation Host::CreationState() const {
  return parts_->project.CreationState();
}
const std::string& Host::PlacingKennung() const {
  return parts_->project.PlacingKennung();
}

void Host::DeleteObject(int32_t id) {
  parts_->project.Delete(id);
  ReportCommand(command::kDeleteObject, id);
}
bool Host::RenameObject(int32_t id, const std::string& kennung) {
  bool changed = parts_->project.Rename(id, kennung);
  ReportCommand(command::kRenameObject, id);
  return changed;
}
bool Host::MoveVertex(int32_t id, size_t vertex, Point to) {
  bool allowed = parts_->project.MoveVertex(id, vertex, to);
  ReportCommand(command::kMoveVertex, id);
  return allowed;
}
void Host::ChangeClass(int32_t id, int32_t class_id) {
  parts_->project.ChangeClass(id, class_id);
  ReportCommand(command::kChangeClass, id);
}
void Host::PasteData(int32_t from_id, int32_t to_id) {
  parts_->project.PasteData(from_id, to_id);
  ReportCommand(command::kPasteData, to_id);
}

// ---- Selection, active object, views ----------------------------------------------

const std::vector<int32_t>& Host::Selection() const {
  return parts_->project.Selection();
}
void Host::Select(int32_t id) {
  parts_->project.Select(id);
  ReportCommand(command::kSelect, id);
}
void Host::Deselect(int32_t id) {
  parts_->project.Deselect(id);
  ReportCommand(command::kDeselect, id);
}
void Host::DeselectAll() {
  parts_->project.DeselectAll();
  ReportCommand(command::kDeselect);
}
int32_t Host::ActiveObject() const {
  return parts_->project.ActiveObject();
}
void Host::Activate(int32_t id) {
  parts_->project.Activate(id);
  ReportCommand(command::kActivate, id);
}
View Host::CurrentView() const {
  return parts_->project.CurrentView();
}
int Host::UpdateDepth() const {
  return parts_->project.UpdateDepth();
}
int Host::RedrawCount() const {
  return parts_->project.RedrawCount();
}
Point Host::Cursor() const {
  return parts_->project.Cursor();
}
void Host::SetCursor(Point p) {
  parts_->project.SetCursor(p);
}

// ---- Attribute tables ---------------------------------------------------------------

int32_t Host::DataObject() const {
  return parts_->tables.DataObject();
}
std::optional<std::string> Host::Value(const std::string& table, const std::string& field) const {
  return parts_->tables.Value(table, field);
}
void Host::EnterValue(const std::string& table, const std::string& field, const std::string& text) {
  TableCursors& tables = parts_->tables;
  if (tables.Enter(tables.Table(table), field, text))
    ReportCommand(command::kEnterValue, tables.DataObject());
}
void Host::PostRow(const std::string& table) {
  TableCursors& tables = parts_->tables;
  if (!tables.Post(tables.Table(table))) parts_->plugin.Note("nothing to post in " + table);
  ReportCommand(command::kPostRecord, tables.DataObject());
}
void Host::AppendRow(const std::string& table) {
  TableCursors& tables = parts_->tables;
  tables.AppendRow(tables.Table(table));
  ReportCommand(command::kAppendRecord, tables.DataObject());
}
void Host::DeleteRow(const std::string& table) {
  TableCursors& tables = parts_->tables;
  if (tables.DeleteRow(tables.Table(table)))
    ReportCommand(command::kDeleteRecord, tables.DataObject());
}
void Host::FirstRow(const std::string& table) {
  TableCursors& tables = parts_->tables;
  tables.First(tables.Table(table));
  ReportCommand(command::kMoveRecord, tables.DataObject());
}
void Host::NextRow(const std::string& table) {
  TableCursors& tables = parts_->tables;
  tables.Next(tables.Table(table));
  ReportCommand(command::kMoveRecord, tables.DataObject());
}
bool Host::RowEof(const std::string& table) const {
  return parts_->tables.Eof(table);
}
bool Host::RowModified(const std::string& table) const {
  return parts_->tables.Modified(table);
}
int Host::RowCount(const std::string& table) const {
  return parts_->tables.RowCount(table);
}
int Host::ControlsDisabled(const std::string& table) const {
  return parts_->tables.ControlsDisabled(table);
}
std::vector<std::map<std::string, std::string>> Host::StoredRows(const std::string& table) const {
  return parts_->tables.StoredRows(table);
}

// ---- Menu commands ------------------------------------------------------------------

bool Host::RunMenuCommand(const std::string& name) {
  bool answer = parts_->plugin.RunMenuCommand(name);
  ReportCommand(command::kMenuCommand);
  return answer;
}

void Host::ReportCommand(int32_t command_number, int32_t lparam, uint16_t wparam) {
  parts_->plugin.CommandDone(command_number, lparam, wparam);
}

// ---- Exchange ---------------------------------------------------------------------------

bool Host::ExportGeodata(const std::string& file, bool all_objects) {
  return parts_->exchange.ExportGeodata(file, all_objects);
}
bool Host::ImportGeodata(const std::string& file, bool replace_existing) {
  return parts_->exchange.ImportGeodata(file, replace_existing);
}
bool Host::ExportXml(const std::string& file, bool all_objects, bool with_empty_fields,
                     const std::string& true_text, const std::string& false_text) {
  return parts_->exchange.ExportXml(file, all_objects, with_empty_fields, true_text, false_text);
}
bool Host::ImportXml(const std::string& file, bool create_missing) {
  return parts_->exchange.ImportXml(file, create_missing);
}

// ---- Event loop -----------------------------------------------------------------------

void Host::UseVirtualClock(bool virtual_clock) {
  parts_->loop.UseVirtualClock(virtual_clock);
}
void Host::AdvanceClock(std::chrono::milliseconds by) {
  parts_->loop.Advance(by);
}
uint32_t Host::SetTimer(uint32_t interval_ms, void (*proc)(void*), void* context) {
  return parts_->loop.SetTimer(interval_ms, proc, context);
}
void Host::KillTimer(uint32_t id) {
  parts_->loop.KillTimer(id);
}
size_t Host::TimerCount() const {
  return parts_->loop.TimerCount();
}
int Host::RunDueTimers() {
  return parts_->loop.RunDue();
}
std::optional<std::chrono::milliseconds> Host::NextTimerDue() const {
  return parts_->loop.NextDue();
}
void Host::SetTerminalClaim(std::function<void()> claim) {
  parts_->loop.SetTerminalClaim(std::move(claim));
}

}  // namespace hostsim
