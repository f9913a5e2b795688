// The platform seam: every file, folder, lock, temporary file and clock
// reading of the stand-ins goes through an Env, so that tests can put the
// storage on an in-memory file system or fail any call they choose (a write
// that finds the disk full, a lock that another process holds).
//
// The real one is the platform's, chosen by the build: PosixEnv on Linux
// (Env::Posix()), WinEnv on Windows (the Win32 file API); Env::Default() is
// whichever the build has, the only one the product uses. Beside them MemEnv
// (MemEnv.h, files in memory) and FaultEnv (FaultEnv.h, wraps another and
// fails chosen calls). Code that is not handed an Env uses Env::Current(),
// the real one unless a test installs another with ScopedEnv.
//
// Errors are EnvError, carrying an errno code, the operation and the path;
// WinEnv gives Windows' errors the errno values of the same meaning.
// Answers that are no error (a missing file for Stat, a lock that another
// holder has for TryLock) come back as values.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env/Path.h"

#ifdef _WIN32
// Codes the callers compare that the Windows C runtime lacks, above all of
// its own values.
#ifndef EDQUOT
#define EDQUOT 160
#endif
#ifndef ESTALE
#define ESTALE 161
#endif
#endif

namespace platform::env {

// A failed call: `code` is the errno value (ENOENT, EIO, ENOSPC, ...),
// `operation` what was tried ("open", "write", ...), `path` on what. Code(),
// Operation() and Path() are for the program, which may compare them; the
// text is for the mapper, in German: what() reads
// "Fehler beim Schreiben von \"<path>\": <Reason()>.", the operation named
// in German (ErrorText.cpp); an operation the platform does not name itself
// (a caller's own words) stands as given: "<operation> \"<path>\": ...".
//
// WinEnv passes Windows' own code as well (`windows_code`, never 0 then):
// Code() is the errno value of the nearest meaning, and the text tells
// Windows' reason, which is often finer (another program has the file open,
// the drive is not ready) or, for a code without a German text, its number.
class EnvError : public std::runtime_error {
 public:
  EnvError(int code, std::string operation, std::string path);
  EnvError(int code, std::string operation, std::string path, unsigned long windows_code);
  int Code() const { return code_; }
  // Windows' error code; 0 where the error has none (POSIX, MemEnv).
  unsigned long WindowsCode() const { return windows_code_; }
  const std::string& Operation() const { return operation_; }
  const std::string& Path() const { return path_; }
  // The German text for the code alone ("Auf dem Datenträger ist kein Platz
  // mehr frei"): WindowsReasonText(WindowsCode()) when there is one, else
  // ReasonText(Code()).
  std::string Reason() const;

 private:
  int code_;
  unsigned long windows_code_;
  std::string operation_;
  std::string path_;
};

// The German text for an errno value, to stand inside a message after a
// colon: a sentence without its full stop ("Der Datenträger ist
// schreibgeschützt"). A value without a text of its own is named by its
// number ("Systemfehler 71"), never by the system's words, which follow the
// system's language.
std::string ReasonText(int code);

// The same for a Windows error code (GetLastError(), a registry call's
// LSTATUS): "Die Datei wird gerade von einem anderen Programm benutzt", or
// "Systemfehler 1234" for a code without a text. On every build, so that
// the registry's and the processes' Windows code and its tests share it.
std::string WindowsReasonText(unsigned long code);

// The errno value of the nearest meaning for a Windows error code, as
// WinEnv's errors carry it; EIO for a code without one.
int ErrnoOfWindowsError(unsigned long code);

enum class FileKind { kRegular, kFolder, kOther };

// What Stat and File::Status tell. Device and inode together say which file
// a name stands for; a file replaced under its name gets another identity.
struct FileStatus {
  FileKind kind = FileKind::kOther;
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t mtime_ns = 0;  // modification time, ns since 1970
  uint32_t mode = 0;     // permission bits

  bool IsRegular() const { return kind == FileKind::kRegular; }
  bool IsFolder() const { return kind == FileKind::kFolder; }
  bool SameFile(const FileStatus& other) const {
    return device == other.device && inode == other.inode;
  }
};

enum class OpenMode {
  kRead,       // an existing file (or folder, to lock it), read only
  kReadWrite,  // an existing file, read and write
  kCreateNew,  // a new file, read and write; EEXIST when the name is taken
  kTruncate,   // the file emptied, or made when missing; read and write
  // An existing file, read only, refused (ELOOP) when the name itself is a
  // symbolic link, and opened without waiting on a FIFO or a device: what a
  // mapper chooses must be the file behind that name, and opening it must
  // not hang. The caller still looks at Status() for the kind of file.
  kReadNoLink,
};

enum class LockKind { kShared, kExclusive };

// What a lock attempt found: the lock is this file's now, another open file
// holds a conflicting one, or the file system keeps no locks at all (a
// network share without them), so that nothing can be held against anyone.
enum class LockAnswer { kTaken, kBusy, kNoLocks };

// An open file. Locks belong to the open file, not to the process (as OFD
// locks): two File objects of one process exclude each other. Closing the
// file (destroying the object) drops its lock. Calls throw EnvError.
class File {
 public:
  virtual ~File() = default;

  virtual const std::string& Path() const = 0;
  // Reads up to `n` bytes at `offset`; fewer only at the end of the file.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
  // Writes all `n` bytes at `offset`, or throws (having written any part).
  virtual void WriteAt(uint64_t offset, const void* data, size_t n) = 0;
  virtual uint64_t Size() = 0;
  virtual void Truncate(uint64_t size) = 0;
  // Brings the file's content to stable storage.
  virtual void Sync() = 0;
  virtual FileStatus Status() = 0;
  virtual void SetMode(uint32_t mode) = 0;

  // Takes the lock, or changes the one held to `kind`, without waiting,
  // and says what it found. Callers that only go on guarded where guards
  // exist use TryLock.
  virtual LockAnswer TryLockAnswer(LockKind kind) = 0;
  virtual void Unlock() = 0;

  // As TryLockAnswer: false when another open file holds a lock that
  // conflicts; a file system without locks grants every lock, as the
  // platform's drivers go on unguarded there.
  bool TryLock(LockKind kind) { return TryLockAnswer(kind) != LockAnswer::kBusy; }

  // Reads exactly `n` bytes at `offset`: false when the file ends before.
  bool ReadExactly(uint64_t offset, void* buffer, size_t n) {
    return ReadAt(offset, buffer, n) == n;
  }
};

class Env {
 public:
  virtual ~Env() = default;

  // The real file system and clock of the platform the build is for. Never
  // destroyed.
  static Env& Default();
#ifndef _WIN32
  // The real one on Linux: Default().
  static Env& Posix();
#endif
  // The Env of code that is not handed one: Default() unless a ScopedEnv
  // installed another.
  static Env& Current();

  // --- files and folders -----------------------------------------------------
  // `create_mode` gives the permission bits of a new file (less the umask).
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                                     uint32_t create_mode = 0666) = 0;
  // Nothing when the name does not exist (or a part of its folder does not);
  // links are followed.
  virtual std::optional<FileStatus> Stat(const std::string& path) = 0;
  // As Stat, but a symbolic link is told as what it is (kind kOther), not
  // followed: what a package hands over must be its own files.
  virtual std::optional<FileStatus> LinkStatus(const std::string& path) = 0;
  // The names in a folder, without "." and "..", in no particular order.
  virtual std::vector<std::string> ListFolder(const std::string& folder) = 0;
  virtual void CreateFolder(const std::string& folder, uint32_t mode = 0777) = 0;
  virtual void RemoveFolder(const std::string& folder) = 0;  // an empty one
  // Replaces `to` when it exists (atomically, on one file system).
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Brings the folder's entries (a rename, a new file) to stable storage.
  virtual void SyncFolder(const std::string& folder) = 0;
  // Brings every file written so far on the file system that holds the
  // folder to stable storage: one call where a batch of files would take one
  // each (CopyFiles).
  virtual void SyncFileSystem(const std::string& folder) = 0;
  // A new file with a unique name in `folder` that starts with `prefix`,
  // mode 0600; its Path() names it.
  virtual std::unique_ptr<File> CreateTemporary(const std::string& folder,
                                                const std::string& prefix) = 0;
  // The path with symbolic links followed; the path itself when it is no
  // link or cannot be resolved.
  virtual std::string ResolveLinks(const std::string& path) = 0;
  // The permission bits a new file gets by default (0666 less the umask).
  virtual uint32_t DefaultFileMode() = 0;

  // --- clock -------------------------------------------------------------------
  virtual int64_t WallNs() = 0;    // ns since 1970
  virtual int64_t SteadyNs() = 0;  // ns since an arbitrary start, never going back
  // The local calendar time of a wall time in seconds since 1970.
  virtual std::tm LocalTime(int64_t seconds) = 0;
  virtual void SleepFor(std::chrono::microseconds duration) = 0;

  std::tm LocalNow() {
    return LocalTime(WallNs() / 1000000000);
  }
};

// Installs an Env as Env::Current() for the life of the object and puts the
// one before back. For tests; not for use while other threads reach Current().
class ScopedEnv {
 public:
  explicit ScopedEnv(Env& env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// --- helpers all stand-ins share ------------------------------------------------

// The real name of the regular file `name` in `folder`, matched without
// regard to ASCII case: the exact name when it exists, else the first match
// in sorted order; nothing when there is none or the folder cannot be read.
std::optional<std::string> FindNoCase(Env& env, const std::string& folder, std::string_view name);
// Whether such a file exists: the path split into its folder and name, or
// given so (for a file looked at at every hook).
bool FileExistsNoCase(Env& env, const std::string& path);
bool FileExistsNoCase(Env& env, const std::string& folder, std::string_view name);

// Replaces the file's content safely: the new content goes into a temporary
// file in the same folder, which is synced and renamed over the target, and
// the folder is synced. A failure at any step removes the temporary file and
// leaves the old file as it was; the EnvError passes through. `mode` gives
// the new file's permission bits; without it they are the old file's, or
// the default for a new one. Links are not followed (see ResolveLinks).
void ReplaceFile(Env& env, const std::string& path, std::string_view content,
                 std::optional<uint32_t> mode = std::nullopt);

// Copies a file as ReplaceFile writes one: into a temporary file beside the
// target, synced and renamed over it, so that a failed copy never leaves a
// half file nor takes the old one away. The new file gets the old target's
// permission bits, or the default.
void CopyFile(Env& env, const std::string& from, const std::string& to);

// Copies many files as CopyFile copies one, each whole or not at all, but
// with one sync of their contents (SyncFileSystem) before any takes its
// name, and one of each target folder after: a crash meanwhile leaves some
// targets old or missing, none half written. Answers, per job, the error
// that kept it from being copied (empty when it was copied).
struct CopyJob {
  CopyJob() = default;
  CopyJob(std::string from_path, std::string to_path, File* open_source = nullptr,
          std::optional<FileStatus> checked = std::nullopt)
      : from(std::move(from_path)),
        to(std::move(to_path)),
        source(open_source),
        expect(std::move(checked)) {}
  std::string from;
  std::string to;
  // The source already open (and checked) by the caller, who keeps it
  // open; `from` then only names it in errors.
  File* source = nullptr;
  // The file `from` must still be: no link, the same file (device and
  // inode), size and modification time as when it was checked, before its
  // content is copied and once it is. A job whose source changed meanwhile
  // is not copied (ESTALE), so that what is stored is what was checked.
  std::optional<FileStatus> expect = std::nullopt;
  // What the copy must hold, asked of the copy itself before it takes the
  // target's name, so that the bytes stored are the bytes checked whatever
  // became of the source meanwhile: empty when it holds it, else why (the
  // job's error; the target stays as it was).
  std::function<std::string(File& copy)> check;
};
std::vector<std::string> CopyFiles(Env& env, const std::vector<CopyJob>& jobs);

// The whole content of a file; throws EnvError (ENOENT included).
std::string ReadFile(Env& env, const std::string& path);

// Takes the lock, trying again with growing pauses on the Env's clock until
// `timeout_ms` have passed; false when another still holds it then.
bool LockWithin(Env& env, File& file, LockKind kind, int timeout_ms);

}  // namespace platform::env
