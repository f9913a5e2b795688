// The real Env on Windows: the Win32 file API, paths in UTF-16.
//
// Windows differs from POSIX where the callers rely on POSIX; each
// difference is bridged here so that the code above sees the same Env:
// - Files are opened sharing reading, writing and deletion with everyone, so
//   a file can be renamed over or removed while another handle has it open
//   (the safe replace and the check-in's copies do that). Rename and Remove
//   ask for POSIX semantics first (the name is free at once, open handles
//   keep the old file), which NTFS has since Windows 10; elsewhere they fall
//   back to MoveFileExW and DeleteFileW.
// - Byte-range locks are mandatory on Windows: a lock on a file's data
//   would keep other handles from reading it. The lock is one byte far
//   beyond any file's end, so it excludes lockers only, as the advisory
//   locks of the POSIX Env do.
// - LockFileEx cannot lock a folder, and a handle that shares less with
//   others would keep them from listing or renaming in it. A folder's lock
//   is a named semaphore of one count per folder (its volume and file
//   index), held by one open file at a time: a shared lock excludes other
//   shared ones too, stricter than needed, never less. The semaphore goes
//   when the last handle on it closes, so a holder that died leaves no
//   lock behind once the others have let go of it between their tries.
// - Windows lets only administrators flush a whole volume. Temporary files
//   are therefore written through to the disk as they are written, and
//   renames too (MOVEFILE_WRITE_THROUGH), so SyncFileSystem and SyncFolder
//   have nothing left to do but check that the folder is there.
// - There are no permission bits: a file shows 0666, or 0444 when it is
//   read-only, and SetMode sets or clears the read-only attribute. Who may
//   read a file is decided by the folder's access list, which a new file
//   inherits.
#include <windows.h>
// Macros of windows.h that would rename the Env's own helpers.
#undef CopyFile
#undef ReplaceFile

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <optional>
#include <random>

#include "platform/env/Env.h"
#include "platform/text/WideText.h"

namespace platform::env {
namespace {

// Far beyond the end of any file the programs write, within what every
// file system Windows locks on accepts as an offset.
constexpr uint64_t kLockByte = uint64_t{0x7FFFFFFF} << 32;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The POSIX-semantics forms of rename and delete (Windows 10 1607 on),
// which the headers name only for newer targets than ours.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
// 100 ns ticks between 1601-01-01, where FILETIME counts from, and 1970-01-01.
constexpr int64_t kFileTimeTo1970 = 116444736000000000LL;

std::wstring Wide(const std::string& utf8) {
  std::optional<std::wstring> wide = text::StrictWideOf(utf8);
  if (!wide) throw EnvError(EINVAL, "open", utf8);
  return std::move(*wide);
}

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

// The errno value the callers compare comes from the one table of Windows'
// codes (ErrorText.cpp), which gives the mapper Windows' reason in German.
[[noreturn]] void Throw(const char* operation, const std::string& path) {
  const DWORD error = GetLastError();
  throw EnvError(ErrnoOfWindowsError(error), operation, path, error);
}

bool Missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      h_ = other.h_;
      other.h_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  void Close() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

int64_t UnixNs(FILETIME ft) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return (ticks - kFileTimeTo1970) * 100;
}

FileStatus StatusOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileStatus s;
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  s.kind = reparse ? FileKind::kOther : folder ? FileKind::kFolder : FileKind::kRegular;
  s.device = info.dwVolumeSerialNumber;
  s.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  s.size = folder ? 0 : (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  s.mtime_ns = UnixNs(info.ftLastWriteTime);
  const bool read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  s.mode = folder ? 0777u : read_only ? 0444u : 0666u;
  return s;
}

FileStatus StatusOfHandle(HANDLE h, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) Throw("status", path);
  return StatusOf(info);
}

// A handle that can only tell about the file: it conflicts with no sharing
// mode. `follow` false opens a link itself, not what it points at.
Handle OpenForStatus(const std::wstring& path, bool follow) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (!follow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return Handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                            flags, nullptr));
}

class WinFile : public File {
 public:
  WinFile(Handle h, std::string path, bool folder, bool writable)
      : h_(std::move(h)), path_(std::move(path)), folder_(folder), writable_(writable) {}
  // Closing drops the lock, a folder's semaphore included.
  ~WinFile() override { Unlock(); }

  const std::string& Path() const override { return path_; }

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < n) {
      OVERLAPPED at = At(offset + done);
      const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(h_.get(), p + done, want, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        Throw("read", path_);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) override {
    const auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
      OVERLAPPED at = At(offset + done);
      const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(h_.get(), p + done, want, &put, &at)) Throw("write", path_);
      if (put == 0) throw EnvError(EIO, "write", path_);
      done += put;
    }
  }

  uint64_t Size() override { return Status().size; }

  void Truncate(uint64_t size) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(h_.get(), FileEndOfFileInfo, &end, sizeof end)) {
      Throw("truncate", path_);
    }
  }

  void Sync() override {
    // A handle that cannot write has written nothing to bring to the disk,
    // and Windows refuses to flush it.
    if (!writable_) return;
    if (!FlushFileBuffers(h_.get())) Throw("sync", path_);
  }

  FileStatus Status() override { return StatusOfHandle(h_.get(), path_); }

  void SetMode(uint32_t mode) override {
    // A handle opened to read may not change attributes; one beside it may,
    // as fchmod works on any descriptor.
    Handle attributes_handle(ReOpenFile(h_.get(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                        kShareAll, folder_ ? FILE_FLAG_BACKUP_SEMANTICS : 0));
    if (!attributes_handle.valid()) Throw("set the mode of", path_);
    const HANDLE h = attributes_handle.get();
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
      Throw("set the mode of", path_);
    }
    DWORD attributes = basic.FileAttributes;
    if ((mode & 0222) == 0) {
      attributes |= FILE_ATTRIBUTE_READONLY;
    } else {
      attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    }
    if (attributes == basic.FileAttributes) return;
    basic = FILE_BASIC_INFO{};  // zero times leave the file's times as they are
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    if (!SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic)) {
      Throw("set the mode of", path_);
    }
  }

  LockAnswer TryLockAnswer(LockKind kind) override {
    if (held_ && *held_ == kind) return LockAnswer::kTaken;
    if (folder_) return LockFolder(kind) ? LockAnswer::kTaken : LockAnswer::kBusy;
    return LockRange(kind);
  }

  void Unlock() override {
    if (!held_) return;
    if (folder_) {
      ReleaseSemaphore(lock_handle_.get(), 1, nullptr);
      lock_handle_ = Handle();
    } else {
      OVERLAPPED at = At(kLockByte);
      UnlockFileEx(h_.get(), 0, 1, 0, &at);
    }
    held_.reset();
  }

 private:
  static OVERLAPPED At(uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
  }

  // One attempt without waiting.
  LockAnswer TakeRange(LockKind kind) {
    OVERLAPPED at = At(kLockByte);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (kind == LockKind::kExclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    if (LockFileEx(h_.get(), flags, 0, 1, 0, &at)) return LockAnswer::kTaken;
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return LockAnswer::kBusy;
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
      return LockAnswer::kNoLocks;
    }
    Throw("lock", path_);
  }

  LockAnswer LockRange(LockKind kind) {
    OVERLAPPED at = At(kLockByte);
    if (!held_) {
      const LockAnswer answer = TakeRange(kind);
      if (answer != LockAnswer::kTaken) return answer;
    } else if (kind == LockKind::kShared) {
      // Down from exclusive: a shared lock may overlap the handle's own
      // exclusive one, and the first unlock then drops the exclusive one, so
      // no other writer can come in between.
      const LockAnswer answer = TakeRange(LockKind::kShared);
      if (answer != LockAnswer::kTaken) return answer;
      UnlockFileEx(h_.get(), 0, 1, 0, &at);
    } else {
      // Up from shared: Windows cannot change a lock in place, and the
      // handle's own shared lock would refuse the exclusive one.
      UnlockFileEx(h_.get(), 0, 1, 0, &at);
      const LockAnswer answer = TakeRange(LockKind::kExclusive);
      if (answer != LockAnswer::kTaken) {
        // Back to shared; should a writer have come in between, the file
        // holds no lock now, and the caller's next try tells.
        if (TakeRange(LockKind::kShared) != LockAnswer::kTaken) held_.reset();
        return answer;
      }
    }
    held_ = kind;
    return LockAnswer::kTaken;
  }

  bool LockFolder(LockKind kind) {
    if (held_) {
      held_ = kind;  // one lock for both kinds
      return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h_.get(), &info)) Throw("lock", path_);
    wchar_t name[96];
    swprintf(name, sizeof name / sizeof *name, L"Local\\vandra-folder-lock-%08lx-%08lx%08lx",
             info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
    Handle lock(CreateSemaphoreW(nullptr, 1, 1, name));
    if (!lock.valid()) Throw("lock", path_);
    const DWORD waited = WaitForSingleObject(lock.get(), 0);
    if (waited == WAIT_TIMEOUT) return false;
    if (waited != WAIT_OBJECT_0) Throw("lock", path_);
    lock_handle_ = std::move(lock);
    held_ = kind;
    return true;
  }

  Handle h_;
  std::string path_;
  bool folder_;
  bool writable_;
  std::optional<LockKind> held_;
  Handle lock_handle_;  // the semaphore of a folder's lock
};

// Renames with POSIX semantics where the file system has them: the target's
// name is replaced even while the target is open elsewhere.
bool RenamePosix(const std::wstring& from, const std::wstring& to) {
  Handle h(CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.valid()) return false;
  const size_t name_bytes = to.size() * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, to.c_str(), name_bytes);
  return SetFileInformationByHandle(h.get(), kFileRenameInfoEx, info,
                                    static_cast<DWORD>(buffer.size())) != 0;
}

bool RemovePosix(const std::wstring& path) {
  Handle h(CreateFileW(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.valid()) return false;
  FILE_DISPOSITION_INFO_EX info{};
  // A read-only file goes too, as on Linux, where the folder decides.
  info.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
               FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
  return SetFileInformationByHandle(h.get(), kFileDispositionInfoEx, &info, sizeof info) != 0;
}

class WinEnv : public Env {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, uint32_t) override {
    const std::wstring wide = Wide(path);
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS;
    switch (mode) {
      case OpenMode::kRead:
        break;
      case OpenMode::kReadWrite:
        access |= GENERIC_WRITE;
        break;
      case OpenMode::kCreateNew:
        access |= GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
      case OpenMode::kTruncate:
        access |= GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
      case OpenMode::kReadNoLink:
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        break;
    }
    Handle h(CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr));
    if (!h.valid() && GetLastError() == ERROR_ACCESS_DENIED && access == GENERIC_READ) {
      // A folder is opened to be locked; reading its content is no access
      // Windows grants on a folder handle.
      h = OpenForStatus(wide, mode != OpenMode::kReadNoLink);
    }
    if (!h.valid()) Throw("open", path);
    const FileStatus st = StatusOfHandle(h.get(), path);
    if (mode == OpenMode::kReadNoLink && st.kind == FileKind::kOther) {
      throw EnvError(ELOOP, "open", path);
    }
    return std::make_unique<WinFile>(std::move(h), path, st.IsFolder(),
                                     (access & GENERIC_WRITE) != 0);
  }

  std::optional<FileStatus> Stat(const std::string& path) override { return StatusAt(path, true); }

  std::optional<FileStatus> LinkStatus(const std::string& path) override {
    return StatusAt(path, false);
  }

  std::vector<std::string> ListFolder(const std::string& folder) override {
    const std::wstring pattern = Wide(JoinPath(folder, "*"));
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, 0);
    std::vector<std::string> names;
    if (find == INVALID_HANDLE_VALUE) {
      // An empty folder at a drive's root has not even "." and "..".
      if (GetLastError() == ERROR_FILE_NOT_FOUND && IsFolder(folder)) return names;
      Throw("list", folder);
    }
    do {
      const std::wstring_view name = entry.cFileName;
      if (name != L"." && name != L"..") names.push_back(Utf8(entry.cFileName));
    } while (FindNextFileW(find, &entry));
    const DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) {
      SetLastError(error);
      Throw("list", folder);
    }
    return names;
  }

  void CreateFolder(const std::string& folder, uint32_t) override {
    if (!CreateDirectoryW(Wide(folder).c_str(), nullptr)) Throw("create folder", folder);
  }

  void RemoveFolder(const std::string& folder) override {
    if (!RemoveDirectoryW(Wide(folder).c_str())) Throw("remove folder", folder);
  }

  void Rename(const std::string& from, const std::string& to) override {
    const std::wstring wide_from = Wide(from);
    const std::wstring wide_to = Wide(to);
    if (RenamePosix(wide_from, wide_to)) return;
    if (!MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Throw("rename", from);
    }
  }

  void Remove(const std::string& path) override {
    const std::wstring wide = Wide(path);
    if (RemovePosix(wide)) return;
    if (!DeleteFileW(wide.c_str())) Throw("remove", path);
  }

  void SyncFolder(const std::string& folder) override {
    if (!OpenForStatus(Wide(folder), true).valid()) Throw("open folder", folder);
  }

  void SyncFileSystem(const std::string& folder) override {
    if (!OpenForStatus(Wide(folder), true).valid()) Throw("open folder", folder);
  }

  std::unique_ptr<File> CreateTemporary(const std::string& folder,
                                        const std::string& prefix) override {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0;; ++attempt) {
      std::string path = JoinPath(folder, prefix);
      for (int i = 0; i < 6; ++i) path += kLetters[random() % (sizeof kLetters - 1)];
      Handle h(CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
      if (h.valid()) return std::make_unique<WinFile>(std::move(h), path, false, true);
      const DWORD error = GetLastError();
      if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt > 100) {
        SetLastError(error);
        Throw("create a file in", folder);
      }
    }
  }

  std::string ResolveLinks(const std::string& path) override {
    const std::optional<FileStatus> link = LinkStatus(path);
    if (!link || link->kind != FileKind::kOther) return path;
    Handle h = OpenForStatus(Wide(path), true);
    if (!h.valid()) return path;
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetFinalPathNameByHandleW(h.get(), resolved.data(),
                                                static_cast<DWORD>(resolved.size()), 0);
      if (n == 0) return path;
      if (n < resolved.size()) {
        resolved.resize(n);
        break;
      }
      resolved.resize(n + 1);
    }
    // The final path comes as \\?\C:\...; the plain form is what callers show.
    if (resolved.rfind(L"\\\\?\\", 0) == 0) resolved.erase(0, 4);
    return Utf8(resolved.c_str());
  }

  uint32_t DefaultFileMode() override { return 0666; }

  int64_t WallNs() override {
    // GetSystemTimePreciseAsFileTime would name a function Windows 7 lacks,
    // and the DLLs would not load there. This clock moves by the system's
    // tick (about 16 ms), which the callers allow for: the tables compare it
    // with file times, which NTFS takes from the same clock, with a second
    // of slack and look again at most every 100 ms (DbfFile.cpp); the PDF's
    // date counts seconds. Intervals and waits take SteadyNs (the
    // performance counter), which is precise on every Windows.
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return UnixNs(ft);
  }

  int64_t SteadyNs() override {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const int64_t f = frequency.QuadPart;
    const int64_t t = now.QuadPart;
    return t / f * 1000000000 + t % f * 1000000000 / f;
  }

  std::tm LocalTime(int64_t seconds) override {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
  }

  void SleepFor(std::chrono::microseconds duration) override {
    // Windows sleeps in whole milliseconds and may wake early by part of
    // one; the callers count on at least the time asked for.
    const int64_t until = SteadyNs() + duration.count() * 1000;
    for (int64_t now = SteadyNs(); now < until; now = SteadyNs()) {
      Sleep(static_cast<DWORD>(std::max<int64_t>(1, (until - now) / 1000000)));
    }
  }

 private:
  static std::optional<FileStatus> StatusAt(const std::string& path, bool follow) {
    Handle h = OpenForStatus(Wide(path), follow);
    if (!h.valid()) {
      if (Missing(GetLastError())) return std::nullopt;
      Throw("status", path);
    }
    return StatusOfHandle(h.get(), path);
  }

  bool IsFolder(const std::string& path) {
    const std::optional<FileStatus> st = Stat(path);
    return st && st->IsFolder();
  }
};

}  // namespace

Env& Env::Default() {
  static Env* const windows = new WinEnv();
  return *windows;
}

}  // namespace platform::env
