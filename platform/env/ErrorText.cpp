// The German words of EnvError: one table of reasons by errno value and one
// of the operations the Envs name. The mapper reads them inside the
// messages of the codec, the driver and the rules above; the program keeps
// comparing Code() and Operation(), which stay as they are.
#include <cerrno>
#include <cstring>
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
};

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

std::string ErrorText(int code, const std::string& operation, const std::string& path) {
  const std::string where = "\"" + path + "\": " + ReasonText(code) + ".";
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
  return "Das System meldet Fehler " + std::to_string(code) + " (" + std::strerror(code) + ")";
}

EnvError::EnvError(int code, std::string operation, std::string path)
    : std::runtime_error(ErrorText(code, operation, path)),
      code_(code),
      operation_(std::move(operation)),
      path_(std::move(path)) {}

std::string EnvError::Reason() const {
  return ReasonText(code_);
}

}  // namespace platform::env
