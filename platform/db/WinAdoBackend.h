// The back-end of an Access database (.mdb) on Windows: the platform's own
// engine, reached through ADO (ADODB.Connection, Command, Recordset) with the
// Jet 4.0 OLE DB provider, or with ACE where Jet is not registered. Jet
// speaks the system's dialect itself, so statements go to it as written; the
// dialect layer is for the back-ends over SQLite.
//
// ADO is bound late, through IDispatch and the objects' names: the vtables of
// ADO's interfaces changed between Windows versions (a program built against
// a newer ADO failed on an older Windows), while the names stay.
//
// Values come back as the driver's: numbers, texts in UTF-8, dates as the
// days since 1899-12-30 (which is what an OLE date is), nulls. The provider's
// error messages are passed on as it words them; the driver's own are German.
//
// A connection serves the thread that opened it. COM is initialised on that
// thread as the host's thread has it already, single-threaded apartment
// where it has not been.
//
// Windows only: the Linux build leaves this file out, PlugIn.cmake takes it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/Backend.h"

struct tagVARIANT;

namespace platform::db {

// The providers tried for a connection string, in order: the one it names,
// then ACE after Jet 4.0 (Jet is missing from 64-bit Windows and from
// machines set up with Office's engine alone). Without a provider, Jet then
// ACE.
std::vector<std::string> AdoProviders(std::string_view connection_string);

// The connection string with its provider replaced by `provider` (or put in
// front when it names none); the other settings stay as written.
std::string WithProvider(std::string_view connection_string, std::string_view provider);

// Whether a data source is an Access database file, by its extension.
bool IsAccessFile(std::string_view data_source);

// A statement ADO carries out as a call rather than as SQL: Jet takes no
// "begin" or "commit" as a command.
enum class AdoTransactionVerb { kNone, kBegin, kCommit, kRollback };
AdoTransactionVerb TransactionVerbOf(std::string_view sql);

// A field's value as the driver's; throws DbError for a kind of value the
// driver has no place for.
Value FromVariant(const tagVARIANT& v);
// A value as a parameter for the provider; the variant must be cleared
// (VariantClear) by the caller.
void ToVariant(const Value& value, tagVARIANT* out);
// An ADO field type (DataTypeEnum) as the declared type names the SQLite
// back-end gives its columns ("INTEGER", "TEXT", "DATETIME", ...).
std::string AdoTypeName(int ado_type);
// An HRESULT in German words with its code ("Die Klasse ist nicht
// registriert (0x80040154)"); "Fehler 0x800A0E7A" for one without words.
// Never Windows' own words, which follow the system's language.
std::string HResultText(long hr);

class AdoBackend : public Backend {
 public:
  // Opens the database a connection string names; throws DbError with the
  // provider's message, or saying that no provider for Access is set up.
  static std::unique_ptr<AdoBackend> Open(std::string_view connection_string,
                                          const std::string& data_source);
  // Makes an empty Access database (ADOX); throws DbError when it cannot.
  static void CreateDatabase(const std::string& path);
  ~AdoBackend() override;

  bool NativeDialect() const override { return true; }
  bool HasRowid() const override { return false; }
  // [name], a ']' in it doubled.
  std::string QuoteName(std::string_view name) const override;
  void RunNative(std::string_view sql, Rows* out) override;
  // Only reached by a caller that read the statement with the dialect layer;
  // its text runs with its parameters.
  void Run(const dialect::Statement& st, Rows* out) override;
  // Runs a statement with '?' parameters bound to the values.
  void RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) override;
  std::string Translate(const dialect::Statement& st) const override { return st.sql; }
  std::vector<std::string> TableNames() override;
  bool HasTable(std::string_view name) override;
  // The counter value Jet gave the last row inserted (@@IDENTITY).
  int64_t LastInsertRowid() override;
  // There is no SQLite connection under this back-end; throws DbError.
  SqliteSession& Session() override;

  // The provider the connection was opened with.
  const std::string& Provider() const { return provider_; }

 private:
  struct Com;
  AdoBackend(std::string data_source, std::unique_ptr<Com> com, std::string provider);

  std::unique_ptr<Com> com_;
  std::string provider_;
};

}  // namespace platform::db
