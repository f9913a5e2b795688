// Connections, queries and field values of the driver stand-in. The
// connection string picks the back-end; statements go through the dialect
// layer first and are then carried out by it.
#include "platform/db/Connection.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/db/DatabaseFile.h"
#include "platform/db/DateText.h"
#include "platform/db/DbaseBackend.h"
#include "platform/db/Dialect.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

std::string_view Trim(std::string_view s) {
  return text::TrimChars(s, text::kBlankAndTab);
}

// key=value pairs separated by ';'; a value may be quoted to hold a ';'.
std::vector<std::pair<std::string, std::string>> ParseConnectionString(std::string_view s) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  while (i < s.size()) {
    const size_t eq = s.find('=', i);
    const size_t semi = s.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      i = semi == std::string_view::npos ? s.size() : semi + 1;
      continue;
    }
    std::string key = text::ToLowerAscii(Trim(s.substr(i, eq - i)));
    size_t j = eq + 1;
    while (j < s.size() && s[j] == ' ') ++j;
    std::string value;
    if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
      const char q = s[j];
      const size_t end = s.find(q, j + 1);
      value =
          std::string(s.substr(j + 1, (end == std::string_view::npos ? s.size() : end) - j - 1));
      i = end == std::string_view::npos ? s.size() : end + 1;
      const size_t next = s.find(';', i);
      i = next == std::string_view::npos ? s.size() : next + 1;
    } else {
      const size_t end = semi == std::string_view::npos ? s.size() : semi;
      value = std::string(Trim(s.substr(j, end - j)));
      i = end + 1;
    }
    out.emplace_back(std::move(key), std::move(value));
  }
  return out;
}

// A value that cannot be read as the kind asked for: "Der Wert 'abc' ist
// keine ganze Zahl." A query, which knows the column and the row, words it
// again with them; `place` is then " in Tabelle T, Spalte C, Datensatz 3,".
class Unreadable : public DbError {
 public:
  Unreadable(std::string shown, const char* verdict)
      : DbError(Text(shown, verdict, "")), shown_(std::move(shown)), verdict_(verdict) {}
  std::string At(const std::string& place) const { return Text(shown_, verdict_, place); }

 private:
  static std::string Text(const std::string& shown, const char* verdict, const std::string& place) {
    return "Der Wert " + shown + place + " " + verdict + ".";
  }
  std::string shown_;
  const char* verdict_;
};

constexpr const char* kNoInteger = "ist keine ganze Zahl";
constexpr const char* kTooLarge = "ist als ganze Zahl zu groß";

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

std::string FloatText(double d) {
  char buf[40];
  std::snprintf(buf, sizeof(buf), "%.15g", d);
  return buf;
}

// A statement goes to an engine that reads the system's dialect as written,
// and through the dialect layer to one over SQLite.
void RunStatement(Backend& backend, std::string_view sql, Rows* out) {
  if (backend.NativeDialect()) {
    backend.RunNative(sql, out);
  } else {
    backend.Run(dialect::Parse(sql, true), out);
  }
}

}  // namespace

// --- Value -------------------------------------------------------------------

int64_t Value::AsInt64() const {
  if (IsNull()) return 0;
  if (IsInteger()) return std::get<int64_t>(v_);
  if (IsFloat()) {
    const double d = std::round(std::get<double>(v_));
    if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) throw Unreadable(FloatText(d), kTooLarge);
    return static_cast<int64_t>(d);
  }
  const std::string_view s = Trim(std::get<std::string>(v_));
  int64_t i = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
  if (!s.empty() && ec == std::errc() && p == s.data() + s.size()) return i;
  double d = 0;
  auto [q, ec2] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (!s.empty() && ec2 == std::errc() && q == s.data() + s.size() && std::fabs(d) < 9.2e18) {
    return static_cast<int64_t>(std::round(d));
  }
  throw Unreadable(Quoted(std::get<std::string>(v_)), kNoInteger);
}

int32_t Value::AsInt32() const {
  const int64_t v = AsInt64();
  if (v < INT32_MIN || v > INT32_MAX) throw Unreadable(std::to_string(v), kTooLarge);
  return static_cast<int32_t>(v);
}

double Value::AsDouble() const {
  if (IsNull()) return 0;
  if (IsInteger()) return static_cast<double>(std::get<int64_t>(v_));
  if (IsFloat()) return std::get<double>(v_);
  const std::string_view s = Trim(std::get<std::string>(v_));
  double d = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (!s.empty() && ec == std::errc() && p == s.data() + s.size()) return d;
  throw Unreadable(Quoted(std::get<std::string>(v_)), "ist keine Zahl");
}

std::string Value::AsString() const {
  if (IsNull()) return {};
  if (IsInteger()) return std::to_string(std::get<int64_t>(v_));
  if (IsFloat()) return FloatText(std::get<double>(v_));
  return std::get<std::string>(v_);
}

DateTime Value::AsDateTime() const {
  if (IsNull()) return 0;
  if (IsInteger() || IsFloat()) return AsDouble();
  const std::string& s = std::get<std::string>(v_);
  if (auto d = ParseIsoDateTime(Trim(s))) return *d;
  throw Unreadable(Quoted(s), "ist kein Datum");
}

std::string SqlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

// --- Connection ----------------------------------------------------------

Connection::Connection(std::unique_ptr<Backend> backend)
    : backend_(std::move(backend)),
      dbase_(backend_->IsDBase()),
      data_source_(backend_->DataSource()) {}

Connection::~Connection() = default;

std::unique_ptr<Connection> Connection::Open(std::string_view connection_string) {
  std::string source;
  std::string extended;
  bool has_extended = false;
  for (auto& [key, value] : ParseConnectionString(connection_string)) {
    if (key == "data source") {
      source = value;
    } else if (key == "extended properties") {
      extended = value;
      has_extended = true;
    }
    // Provider, Persist Security Info and the rest concern the platform's
    // driver only.
  }
  if (source.empty()) throw DbError("Die Verbindungszeichenfolge nennt keine Datenquelle.");
  if (!has_extended)
    return std::unique_ptr<Connection>(new Connection(OpenDatabaseFile(connection_string, source)));
  const std::string ext = text::ToUpperAscii(Trim(extended.substr(0, extended.find(';'))));
  dbase::Flavor flavor = dbase::Flavor::kDBase3;
  if (ext == "DBASE IV" || ext == "DBASE 5.0") {
    flavor = dbase::Flavor::kDBase4;
  } else if (ext != "DBASE III") {
    throw DbError("Für '" + extended +
                  "' gibt es keinen Datenbanktreiber (installierbares ISAM nicht gefunden).");
  }
  return std::unique_ptr<Connection>(new Connection(DbaseBackend::Open(source, flavor)));
}

std::unique_ptr<Connection> Connection::Over(std::unique_ptr<Backend> backend) {
  return std::unique_ptr<Connection>(new Connection(std::move(backend)));
}

void Connection::CreateDatabase(const std::string& path) {
  CreateDatabaseFile(path);
}

std::string Connection::Translate(std::string_view sql) const {
  if (backend_->NativeDialect()) return std::string(sql);
  return backend_->Translate(dialect::Parse(sql));
}

void Connection::Execute(std::string_view sql) {
  RunStatement(*backend_, sql, nullptr);
}

std::vector<std::string> Connection::TableNames() {
  return backend_->TableNames();
}

// --- Query ---------------------------------------------------------------------

Query::Query(Connection& connection, std::string_view sql) {
  Rows rows;
  RunStatement(connection.Engine(), sql, &rows);
  names_ = std::move(rows.names);
  tables_ = std::move(rows.tables);
  rows_ = std::move(rows.rows);
  eof_ = rows_.empty();
}

Query::~Query() = default;

void Query::Next() {
  if (eof_) return;
  ++row_;
  eof_ = row_ >= rows_.size();
}

int Query::FieldCount() const {
  return static_cast<int>(names_.size());
}

void Query::CheckPos(int pos) const {
  if (pos < 0 || pos >= static_cast<int>(names_.size())) {
    throw DbError("Die Abfrage hat kein Feld an Position " + std::to_string(pos) + ".");
  }
}

std::string Query::FieldName(int pos) const {
  CheckPos(pos);
  return names_[pos];
}

const Value& Query::Cell(int pos) const {
  CheckPos(pos);
  if (eof_) throw DbError(kNoCurrentRecord);
  return rows_[row_][pos];
}

template <class Read>
auto Query::Convert(int pos, Read read) const {
  const Value& v = Cell(pos);
  try {
    return read(v);
  } catch (const Unreadable& e) {
    const std::string& table = static_cast<size_t>(pos) < tables_.size() ? tables_[pos] : "";
    throw DbError(e.At((table.empty() ? " in" : " in Tabelle " + table + ",") + " Spalte " +
                       names_[pos] + ", Datensatz " + std::to_string(row_ + 1) + ","));
  }
}

bool Query::IsNull(int pos) const {
  return Cell(pos).IsNull();
}
Value Query::Field(int pos) const {
  return Cell(pos);
}
int32_t Query::AsInt32(int pos) const {
  return Convert(pos, [](const Value& v) { return v.AsInt32(); });
}
int64_t Query::AsInt64(int pos) const {
  return Convert(pos, [](const Value& v) { return v.AsInt64(); });
}
double Query::AsDouble(int pos) const {
  return Convert(pos, [](const Value& v) { return v.AsDouble(); });
}
std::string Query::AsString(int pos) const {
  return Cell(pos).AsString();
}
DateTime Query::AsDateTime(int pos) const {
  return Convert(pos, [](const Value& v) { return v.AsDateTime(); });
}

}  // namespace platform::db
