// One table: SQLite's message as a pattern ('%' stands for a name or number
// it carries), the German text with {1}, {2}, {3} for them. The patterns are
// those of the SQLite the driver links (3.40); a message that changes its
// wording in another version falls back to the frame, never to a wrong text.
#include "platform/db/SqliteMessages.h"

#include <optional>
#include <vector>

namespace platform::db {
namespace {

struct Translation {
  const char* sqlite;
  const char* german;
};

// The more particular pattern before the general one.
constexpr Translation kTranslations[] = {
    // Names a statement uses.
    {"no such table: %", "Die Tabelle {1} gibt es nicht."},
    {"no such column: %", "Die Spalte {1} gibt es nicht."},
    {"table % has no column named %", "Die Tabelle {1} hat keine Spalte {2}."},
    {"no such index: %", "Den Index {1} gibt es nicht."},
    {"no such function: %", "Die Funktion {1} gibt es nicht."},
    {"ambiguous column name: %",
     "Der Spaltenname {1} ist mehrdeutig: Mehrere Tabellen der Anweisung haben eine Spalte dieses "
     "Namens."},
    {"table % already exists", "Die Tabelle {1} ist schon vorhanden."},
    {"index % already exists", "Der Index {1} ist schon vorhanden."},
    {"there is already an index named %", "Der Index {1} ist schon vorhanden."},
    {"duplicate column name: %", "Der Spaltenname {1} kommt zweimal vor."},
    {"table % has % columns but % values were supplied",
     "Die Tabelle {1} hat {2} Spalten, angegeben sind aber {3} Werte."},
    {"% values for % columns", "Für {2} Spalten sind {1} Werte angegeben."},
    {"wrong number of arguments to function %()",
     "Die Funktion {1} hat die falsche Zahl von Argumenten."},
    // The statement's text.
    {"near \"%\": syntax error", "Syntaxfehler in der Anweisung bei \"{1}\"."},
    {"unrecognized token: \"%\"", "Die Anweisung enthält ein unverständliches Zeichen: \"{1}\"."},
    {"incomplete input", "Die Anweisung ist unvollständig."},
    {"too many SQL variables", "Die Anweisung hat zu viele Parameter."},
    // Constraints.
    {"UNIQUE constraint failed: %",
     "Der Wert in {1} ist schon vergeben: Jeder Wert darf dort nur einmal vorkommen."},
    {"PRIMARY KEY constraint failed: %",
     "Der Primärschlüssel {1} ist schon vergeben: Jeder Wert darf dort nur einmal vorkommen."},
    {"NOT NULL constraint failed: %", "Die Spalte {1} darf nicht leer sein."},
    // The length check the driver puts on a text(n) column.
    {"CHECK constraint failed: length(\"%\") <= %",
     "Der Text für die Spalte {1} ist länger als die erlaubten {2} Zeichen."},
    {"CHECK constraint failed: %", "Der Wert verletzt die Prüfregel {1}."},
    {"FOREIGN KEY constraint failed",
     "Der Verweis auf einen Datensatz einer anderen Tabelle ist ungültig."},
    {"constraint failed", "Eine Bedingung der Tabelle ist verletzt."},
    {"datatype mismatch", "Der Datentyp des Werts passt nicht zur Spalte."},
    // The driver's trigger of an index "with disallow null", as database
    // files keep it.
    {"Index or primary key cannot contain a Null value.",
     "Ein Index oder Primärschlüssel darf keinen leeren Wert (Null) enthalten."},
    // The database file.
    {"database is locked",
     "Die Datenbank ist gesperrt: Ein anderes Programm schreibt gerade darin."},
    {"database table is locked: %", "Die Tabelle {1} der Datenbank ist gesperrt."},
    {"database table is locked", "Eine Tabelle der Datenbank ist gesperrt."},
    {"database schema is locked: %", "Der Aufbau der Datenbank {1} ist gesperrt."},
    {"database or disk is full", "Die Datenbank oder der Datenträger ist voll."},
    {"disk I/O error",
     "Beim Zugriff auf die Datenbankdatei ist ein Ein-/Ausgabefehler aufgetreten."},
    {"file is not a database", "Die Datei ist keine Datenbank."},
    {"database disk image is malformed", "Die Datenbankdatei ist beschädigt."},
    {"attempt to write a readonly database",
     "Die Datenbank ist schreibgeschützt und kann nicht geändert werden."},
    {"unable to open database file", "Die Datenbankdatei kann nicht geöffnet werden."},
    {"access permission denied", "Der Zugriff auf die Datenbank ist nicht erlaubt."},
    {"database schema has changed", "Der Aufbau der Datenbank wurde inzwischen geändert."},
    {"string or blob too big", "Der Wert ist zu groß."},
    {"out of memory", "Der Arbeitsspeicher reicht nicht aus."},
    {"interrupted", "Der Vorgang wurde unterbrochen."},
    {"query aborted", "Die Abfrage wurde abgebrochen."},
    {"cannot start a transaction within a transaction",
     "Innerhalb einer Transaktion kann keine weitere beginnen."},
    {"cannot commit - no transaction is active",
     "Es ist keine Transaktion offen, die abgeschlossen werden könnte."},
    {"cannot rollback - no transaction is active",
     "Es ist keine Transaktion offen, die zurückgenommen werden könnte."},
    {"vtable constructor failed: %", "Die Tabelle {1} kann nicht geöffnet werden."},
};

// The parts '%' stands for when `message` is the whole of `pattern`; each
// but the last as short as it can be.
std::optional<std::vector<std::string>> Match(std::string_view pattern, std::string_view message) {
  std::vector<std::string_view> literals;
  for (size_t start = 0;;) {
    const size_t pct = pattern.find('%', start);
    literals.push_back(pattern.substr(start, pct == std::string_view::npos ? pct : pct - start));
    if (pct == std::string_view::npos) break;
    start = pct + 1;
  }
  if (message.substr(0, literals[0].size()) != literals[0]) return std::nullopt;
  size_t at = literals[0].size();
  std::vector<std::string> parts;
  for (size_t i = 1; i < literals.size(); ++i) {
    const std::string_view literal = literals[i];
    const bool last = i + 1 == literals.size();
    size_t end = 0;
    if (last) {
      if (message.size() < at + literal.size()) return std::nullopt;
      end = message.size() - literal.size();
      if (message.substr(end) != literal) return std::nullopt;
    } else {
      end = message.find(literal, at);
      if (end == std::string_view::npos) return std::nullopt;
    }
    std::string part(message.substr(at, end - at));
    if (part.empty()) return std::nullopt;
    // SQLite names a table of the main database "main.X" in some messages.
    if (part.rfind("main.", 0) == 0) part.erase(0, 5);
    parts.push_back(std::move(part));
    at = end + literal.size();
  }
  if (literals.size() == 1 && message.size() != at) return std::nullopt;
  return parts;
}

std::string Fill(std::string_view german, const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < german.size(); ++i) {
    if (german[i] == '{' && i + 2 < german.size() && german[i + 2] == '}') {
      const size_t n = static_cast<size_t>(german[i + 1] - '1');
      if (n < parts.size()) out += parts[n];
      i += 2;
    } else {
      out += german[i];
    }
  }
  return out;
}

}  // namespace

std::string GermanSqliteMessage(std::string_view message) {
  for (const Translation& t : kTranslations) {
    if (const auto parts = Match(t.sqlite, message)) return Fill(t.german, *parts);
  }
  std::string framed = "Die Datenbank meldet einen Fehler: " + std::string(message);
  if (framed.back() != '.') framed += '.';
  return framed;
}

}  // namespace platform::db
