// What the host stand-in needs of the operating system: loading the plug-in
// library, its own program file, a temporary folder, the environment the
// plug-in reads its dialog files from, and the programs a scenario runs.
// PosixSystem.cpp serves Linux; WinSystem.cpp the 32-bit Windows build,
// which runs under wine and starts the scenarios' Linux programs there.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace hostsim::sys {

// The file ending of a plug-in library on this platform (".so", ".dll").
extern const char* const kLibraryExtension;

// Loads a library; null with the system's reason in `error`.
void* OpenLibrary(const std::string& path, std::string& error);
void* LibrarySymbol(void* library, const std::string& name);
void CloseLibrary(void* library);
// The running program as a library whose exports can be looked up; null
// with the reason in `error` where the system cannot give one.
void* ProgramLibrary(std::string& error);

// The running program's file, with its folder; empty when unknown.
std::string ProgramPath();
// A new, empty folder under the system's place for temporary files;
// empty with the reason in `error` when none can be made.
std::string MakeTempFolder(std::string& error);
// Sets a variable of this process's environment, which the plug-in and
// the programs it starts read.
void SetEnvironment(const std::string& name, const std::string& value);
// Whether standard input is a terminal a user types at.
bool InputIsTerminal();

// Settings of this run alone for the plug-in, gone when the object goes.
// On Linux the plug-in's registry is a file that KARTUL_REGISTRY names,
// chosen by kartul-sim, and this does nothing. On Windows it is the
// user's registry hive, shared by every run in a wine prefix: the current
// user's hive is pointed at an empty key of the run's own instead.
class PrivateSettings {
 public:
  explicit PrivateSettings(const std::string& run_name);
  ~PrivateSettings();
  PrivateSettings(const PrivateSettings&) = delete;
  PrivateSettings& operator=(const PrivateSettings&) = delete;
  // Empty when the settings are private; else why not.
  const std::string& Error() const { return error_; }

 private:
  std::string name_;
  void* key_ = nullptr;
  std::string error_;
};

// Hands out the messages waiting for this thread's windows and timers, as
// a Windows host's message loop does between its events; returns how many.
// Linux has none: the plug-in's timers there are the event loop's own.
int DispatchMessages();

// A path as the host shows and stores it: absolute, normalised, with '/'
// between its parts on every platform, so that the scenario's programs can
// be handed ${PROJECT} and ${TEMP} as they are.
std::string AbsolutePath(const std::string& path);
// A file's path from its UTF-8 name, for the standard library's files:
// on Windows a narrow name would be read in the ANSI code page.
std::filesystem::path FilePath(const std::string& utf8);
// Whether a path names its place without the current folder.
bool IsAbsolutePath(const std::string& path);

// How a program ended: its exit code, or the signal that killed it, or
// that it could not be started at all.
struct ProgramRun {
  std::string output;
  bool started = true;
  int exit_code = 0;
  int signal = 0;  // above 0 when a signal ended it
};

// Runs a program with its arguments as they stand (no shell of ours) and
// waits for it; its standard output, and its error output too when
// `with_errors`, is gathered. Throws HostError when it cannot be started.
ProgramRun RunProgram(const std::vector<std::string>& args, bool with_errors);

}  // namespace hostsim::sys
