// The German words of EnvError: one table of reasons by errno value, one of
// Windows' error codes (with the errno value WinEnv gives each) and one of
// the operations the Envs name. The mapper reads them inside the messages
// of the codec, the driver, the registry and the rules above; the program
// keeps comparing Code() and Operation(), which stay as they are. No text
// of the system is passed on: its words follow the system's language, which
// need not be German, so a code without a text here is named by its number.
#include <cerrno>
#include <string>
#include <string_view>

#include "platform/env/Env.h"

namespace platform::env {
namespace {

struct Reason {
  int code;
  const char* text;
};

// The values that occur with files and folders. EWOULDBLOCK is EAGAIN and
// EOPNOTSUPP is ENOTSUP on Linux: the first entry of a value wins.
constexpr Reason kReasons[] = {
    {ENOENT, "Die Datei oder der Ordner ist nicht vorhanden"},
    {EACCES, "Der Zugriff ist nicht erlaubt (keine Berechtigung)"},
    {EPERM, "Der Vorgang ist nicht erlaubt"},
    {ENOSPC, "Auf dem Datenträger ist kein Platz mehr frei"},
    {EDQUOT, "Der Speicherplatz, der dem Benutzer zusteht, ist aufgebraucht"},
    {EFBIG, "Die Datei ist zu groß"},
    {EIO, "Beim Zugriff auf den Datenträger ist ein Ein-/Ausgabefehler aufgetreten"},
    {EROFS, "Der Datenträger ist schreibgeschützt"},
    {EEXIST, "Eine Datei oder ein Ordner dieses Namens ist schon vorhanden"},
    {ENOTDIR, "Ein Teil des Pfads ist kein Ordner"},
    {EISDIR, "Das ist ein Ordner, keine Datei"},
    {ENOTEMPTY, "Der Ordner ist nicht leer"},
    {EBUSY, "Die Datei oder der Ordner wird gerade benutzt"},
    {ETXTBSY, "Die Datei wird gerade als Programm ausgeführt"},
    {ENAMETOOLONG, "Der Name ist zu lang"},
    {ELOOP, "Der Pfad enthält zu viele symbolische Verknüpfungen"},
    {EMFILE, "Das Programm hat zu viele Dateien geöffnet"},
    {ENFILE, "Im System sind zu viele Dateien geöffnet"},
    {EAGAIN, "Die Datei ist gerade nicht verfügbar; später noch einmal versuchen"},
    {EWOULDBLOCK, "Die Datei ist gerade nicht verfügbar; später noch einmal versuchen"},
    {EXDEV, "Quelle und Ziel liegen auf verschiedenen Dateisystemen"},
    {EBADF, "Die Datei ist für diesen Zugriff nicht geöffnet"},
    {EINVAL, "Der Vorgang ist mit diesen Angaben nicht möglich"},
    {ENOLCK, "Es sind keine Dateisperren mehr verfügbar"},
    {EDEADLK, "Die Sperre würde zu einer gegenseitigen Blockade führen"},
    {ENOTSUP, "Das Dateisystem unterstützt diesen Vorgang nicht"},
    {EOPNOTSUPP, "Das Dateisystem unterstützt diesen Vorgang nicht"},
    {ENOMEM, "Der Arbeitsspeicher reicht nicht aus"},
    {EINTR, "Der Vorgang wurde unterbrochen"},
    {ESTALE, "Die Datei auf dem Netzlaufwerk ist nicht mehr gültig"},
    {ETIMEDOUT, "Die Zeit für den Zugriff ist abgelaufen"},
    {ENXIO, "Das Gerät ist nicht vorhanden"},
    {ENODEV, "Das Gerät ist nicht vorhanden"},
    {ENOEXEC, "Die Datei ist kein Programm, das sich starten lässt"},
    {E2BIG, "Die Liste der Argumente ist zu lang"},
    {EOVERFLOW, "Die Datei ist für diesen Zugriff zu groß"},
    {EPIPE, "Die Gegenstelle hat die Verbindung geschlossen"},
    {ENOTCONN, "Die Verbindung zum Netzlaufwerk besteht nicht mehr"},
};

struct WindowsReason {
  unsigned long code;  // GetLastError(), LSTATUS
  int errno_code;      // what WinEnv's errors carry as Code()
  const char* text;    // nullptr: the errno value's text says it
};

// Windows' codes by number, so that the table is the same on every build
// (and tested on Linux too); the Windows tests hold the numbers to
// <winerror.h>. A code WinEnv had no errno value for keeps EIO.
constexpr WindowsReason kWindowsReasons[] = {
    {1, ENOTSUP, nullptr},                             // ERROR_INVALID_FUNCTION
    {2, ENOENT, nullptr},                              // ERROR_FILE_NOT_FOUND
    {3, ENOENT, "Der Pfad ist nicht vorhanden"},       // ERROR_PATH_NOT_FOUND
    {4, EMFILE, nullptr},                              // ERROR_TOO_MANY_OPEN_FILES
    {5, EACCES, nullptr},                              // ERROR_ACCESS_DENIED
    {6, EBADF, nullptr},                               // ERROR_INVALID_HANDLE
    {8, ENOMEM, nullptr},                              // ERROR_NOT_ENOUGH_MEMORY
    {13, EIO, "Die Daten sind ungültig"},              // ERROR_INVALID_DATA
    {14, ENOMEM, nullptr},                             // ERROR_OUTOFMEMORY
    {15, ENOENT, "Das Laufwerk ist nicht vorhanden"},  // ERROR_INVALID_DRIVE
    {17, EXDEV, nullptr},                              // ERROR_NOT_SAME_DEVICE
    {19, EROFS, nullptr},                              // ERROR_WRITE_PROTECT
    {21, EIO, "Das Laufwerk ist nicht bereit"},        // ERROR_NOT_READY
    {23, EIO, "Die Daten auf dem Datenträger sind beschädigt (Prüfsummenfehler)"},  // ERROR_CRC
    {29, EIO, "Auf das Gerät kann nicht geschrieben werden"},  // ERROR_WRITE_FAULT
    {30, EIO, "Vom Gerät kann nicht gelesen werden"},          // ERROR_READ_FAULT
    {31, EIO, "Ein Gerät des Systems funktioniert nicht"},     // ERROR_GEN_FAILURE
    {32, EBUSY,
     "Die Datei wird gerade von einem anderen Programm benutzt"},  // ERROR_SHARING_VIOLATION
    {33, EBUSY, "Ein anderes Programm hat einen Teil der Datei gesperrt"},  // ERROR_LOCK_VIOLATION
    {38, EIO, "Das Ende der Datei ist erreicht"},                           // ERROR_HANDLE_EOF
    {39, ENOSPC, nullptr},                                  // ERROR_HANDLE_DISK_FULL
    {50, ENOTSUP, nullptr},                                 // ERROR_NOT_SUPPORTED
    {53, ENOENT, "Der Netzwerkpfad wurde nicht gefunden"},  // ERROR_BAD_NETPATH
    {55, EIO,
     "Das Gerät oder die Netzwerkfreigabe ist nicht mehr verfügbar"},  // ERROR_DEV_NOT_EXIST
    {59, EIO, "Im Netzwerk ist ein unerwarteter Fehler aufgetreten"},  // ERROR_UNEXP_NET_ERR
    {64, EIO, "Die Verbindung zur Netzwerkfreigabe ist abgebrochen"},  // ERROR_NETNAME_DELETED
    {65, EIO, "Der Zugriff auf das Netzwerk ist nicht erlaubt"},  // ERROR_NETWORK_ACCESS_DENIED
    {67, ENOENT, "Die Netzwerkfreigabe wurde nicht gefunden"},    // ERROR_BAD_NET_NAME
    {80, EEXIST, nullptr},                                        // ERROR_FILE_EXISTS
    {82, EACCES, "Die Datei oder der Ordner kann nicht angelegt werden"},  // ERROR_CANNOT_MAKE
    {87, EINVAL, nullptr},   // ERROR_INVALID_PARAMETER
    {112, ENOSPC, nullptr},  // ERROR_DISK_FULL
    {123, EINVAL,
     "Der Name der Datei, des Ordners oder des Laufwerks ist ungültig"},  // ERROR_INVALID_NAME
    {145, ENOTEMPTY, nullptr},                                            // ERROR_DIR_NOT_EMPTY
    {161, ENOENT, "Der Pfad ist ungültig"},                               // ERROR_BAD_PATHNAME
    {170, EIO, "Das Gerät oder die Datei wird gerade benutzt"},           // ERROR_BUSY
    {183, EEXIST, nullptr},                                               // ERROR_ALREADY_EXISTS
    {193, EIO, "Die Datei ist kein Programm, das Windows starten kann"},  // ERROR_BAD_EXE_FORMAT
    {206, ENAMETOOLONG, nullptr},  // ERROR_FILENAME_EXCED_RANGE
    {216, EIO,
     "Das Programm ist für eine andere Windows-Version gebaut"},  // ERROR_EXE_MACHINE_TYPE_MISMATCH
    {225, EIO, "Der Virenschutz hat die Datei gesperrt"},         // ERROR_VIRUS_INFECTED
    {234, EIO, "Die Daten sind länger als erwartet"},             // ERROR_MORE_DATA
    {259, EIO, "Es sind keine weiteren Daten vorhanden"},         // ERROR_NO_MORE_ITEMS
    {267, ENOTDIR, "Der Ordnername ist ungültig"},                // ERROR_DIRECTORY
    {740, EIO,
     "Der Vorgang erfordert die Rechte eines Administrators"},  // ERROR_ELEVATION_REQUIRED
    {995, EIO, "Der Vorgang wurde abgebrochen"},                // ERROR_OPERATION_ABORTED
    {1006, EIO,
     "Der Datenträger wurde verändert; die geöffnete Datei ist nicht mehr gültig"},  // ERROR_FILE_INVALID
    {1009, EIO, "Die Registrierungsdatenbank ist beschädigt"},                       // ERROR_BADDB
    {1010, EIO, "Der Registrierungsschlüssel ist ungültig"},                         // ERROR_BADKEY
    {1011, EIO, "Der Registrierungsschlüssel kann nicht geöffnet werden"},     // ERROR_CANTOPEN
    {1012, EIO, "Der Registrierungsschlüssel kann nicht gelesen werden"},      // ERROR_CANTREAD
    {1013, EIO, "Der Registrierungsschlüssel kann nicht geschrieben werden"},  // ERROR_CANTWRITE
    {1015, EIO, "Die Registrierungsdatenbank ist beschädigt"},  // ERROR_REGISTRY_CORRUPT
    {1016, EIO,
     "Beim Zugriff auf die Registrierungsdatenbank ist ein Ein-/Ausgabefehler aufgetreten"},  // ERROR_REGISTRY_IO_FAILED
    {1018, EIO, "Der Registrierungsschlüssel ist zum Löschen vorgemerkt"},  // ERROR_KEY_DELETED
    {1167, EIO, "Das Gerät ist nicht angeschlossen"},           // ERROR_DEVICE_NOT_CONNECTED
    {1223, EIO, "Der Vorgang wurde vom Benutzer abgebrochen"},  // ERROR_CANCELLED
    {1224, EBUSY,
     "Ein Programm hat die Datei in seinen Speicher eingeblendet"},    // ERROR_USER_MAPPED_FILE
    {1231, EIO, "Das Netzwerk ist nicht erreichbar"},                  // ERROR_NETWORK_UNREACHABLE
    {1295, EDQUOT, nullptr},                                           // ERROR_DISK_QUOTA_EXCEEDED
    {1314, EIO, "Dem Benutzer fehlt ein Recht, das dafür nötig ist"},  // ERROR_PRIVILEGE_NOT_HELD
    {1326, EIO,
     "Die Anmeldung am Netzwerk ist misslungen: Benutzername oder Kennwort falsch"},  // ERROR_LOGON_FAILURE
    {1392, EIO, "Die Datei oder der Ordner ist beschädigt und nicht lesbar"},  // ERROR_FILE_CORRUPT
    {1393, EIO, "Der Datenträger ist beschädigt und nicht lesbar"},            // ERROR_DISK_CORRUPT
    {1450, EIO, "Dem System fehlen die Mittel für diesen Vorgang"},  // ERROR_NO_SYSTEM_RESOURCES
    {1921, ELOOP, nullptr},                                          // ERROR_CANT_RESOLVE_FILENAME
};

const WindowsReason* FindWindowsReason(unsigned long code) {
  for (const WindowsReason& r : kWindowsReasons) {
    if (r.code == code) return &r;
  }
  return nullptr;
}

std::string SystemErrorText(unsigned long code) {
  return "Systemfehler " + std::to_string(code);
}

struct Operation {
  const char* name;    // as the Envs and their callers pass it
  const char* phrase;  // after "Fehler", before the path
};

constexpr Operation kOperations[] = {
    {"open", "beim Öffnen von"},
    {"read", "beim Lesen von"},
    {"write", "beim Schreiben von"},
    {"truncate", "beim Kürzen von"},
    {"sync", "beim Sichern auf den Datenträger von"},
    {"status", "beim Abfragen des Zustands von"},
    {"set the mode of", "beim Setzen der Zugriffsrechte von"},
    {"lock", "beim Sperren von"},
    {"list", "beim Auflisten des Ordners"},
    {"create folder", "beim Anlegen des Ordners"},
    {"remove folder", "beim Entfernen des Ordners"},
    {"rename", "beim Umbenennen von"},
    {"remove", "beim Löschen von"},
    {"copy", "beim Kopieren von"},
    {"open folder", "beim Öffnen des Ordners"},
    {"sync folder", "beim Sichern des Ordners"},
    {"sync file system", "beim Sichern des Dateisystems mit dem Ordner"},
    {"create a file in", "beim Anlegen einer Datei im Ordner"},
    {"move into", "beim Verschieben nach"},
};

std::string ErrorText(const std::string& reason, const std::string& operation,
                      const std::string& path) {
  const std::string where = "\"" + path + "\": " + reason + ".";
  for (const Operation& op : kOperations) {
    if (operation == op.name) return std::string("Fehler ") + op.phrase + " " + where;
  }
  return operation + " " + where;
}

}  // namespace

std::string ReasonText(int code) {
  for (const Reason& r : kReasons) {
    if (r.code == code) return r.text;
  }
  return SystemErrorText(static_cast<unsigned long>(code));
}

std::string WindowsReasonText(unsigned long code) {
  if (const WindowsReason* r = FindWindowsReason(code)) {
    return r->text != nullptr ? r->text : ReasonText(r->errno_code);
  }
  return SystemErrorText(code);
}

int ErrnoOfWindowsError(unsigned long code) {
  const WindowsReason* r = FindWindowsReason(code);
  return r != nullptr ? r->errno_code : EIO;
}

EnvError::EnvError(int code, std::string operation, std::string path)
    : EnvError(code, std::move(operation), std::move(path), 0) {}

EnvError::EnvError(int code, std::string operation, std::string path, unsigned long windows_code)
    : std::runtime_error(ErrorText(
          windows_code != 0 ? WindowsReasonText(windows_code) : ReasonText(code), operation, path)),
      code_(code),
      windows_code_(windows_code),
      operation_(std::move(operation)),
      path_(std::move(path)) {}

std::string EnvError::Reason() const {
  return windows_code_ != 0 ? WindowsReasonText(windows_code_) : ReasonText(code_);
}

}  // namespace platform::env
