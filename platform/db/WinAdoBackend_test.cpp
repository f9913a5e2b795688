// The Access back-end over ADO. What needs no provider runs everywhere: the
// connection strings and the order of providers, the values between VARIANT
// and the driver, the texts of errors, COM on threads the host set up. What
// needs Jet or ACE skips, saying why, where neither is registered (wine has
// neither).
#include "platform/db/WinAdoBackend.h"

#include <gtest/gtest.h>
#include <windows.h>

// VARIANT's functions; after windows.h, which they stand on.
#include <oleauto.h>

#include <cstring>
#include <string>
#include <thread>

namespace platform::db {
namespace {

// --- Connection strings --------------------------------------------------

TEST(AdoConnectionString, JetFallsBackToAceAndOtherProvidersStandAlone) {
  using V = std::vector<std::string>;
  EXPECT_EQ(AdoProviders("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\p\\Projekt.mdb;"),
            (V{"Microsoft.Jet.OLEDB.4.0", "Microsoft.ACE.OLEDB.12.0"}));
  EXPECT_EQ(AdoProviders("provider = microsoft.jet.oledb.4.0 ; Data Source=a.mdb"),
            (V{"microsoft.jet.oledb.4.0", "Microsoft.ACE.OLEDB.12.0"}));
  EXPECT_EQ(AdoProviders("Data Source=a.mdb"),
            (V{"Microsoft.Jet.OLEDB.4.0", "Microsoft.ACE.OLEDB.12.0"}));
  EXPECT_EQ(AdoProviders("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=a.accdb"),
            (V{"Microsoft.ACE.OLEDB.12.0"}));
  // A ';' inside a quoted value is no provider's end.
  EXPECT_EQ(
      AdoProviders("Data Source=\"C:\\a;Provider=X\\b.mdb\";Provider=\"Microsoft.Jet.OLEDB.4.0\""),
      (V{"Microsoft.Jet.OLEDB.4.0", "Microsoft.ACE.OLEDB.12.0"}));
}

TEST(AdoConnectionString, ProviderReplacedOrPutInFrontTheRestKept) {
  EXPECT_EQ(WithProvider("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\p\\a.mdb;Persist "
                         "Security Info=False;",
                         "Microsoft.ACE.OLEDB.12.0"),
            "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\p\\a.mdb;Persist Security "
            "Info=False;");
  EXPECT_EQ(WithProvider("Data Source='C:\\a;b\\x.mdb'", "Microsoft.Jet.OLEDB.4.0"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source='C:\\a;b\\x.mdb'");
  EXPECT_EQ(WithProvider("", "P"), "Provider=P");
}

TEST(AdoConnectionString, AccessFilesByExtension) {
  EXPECT_TRUE(IsAccessFile("C:\\Projekte\\Projekt.mdb"));
  EXPECT_TRUE(IsAccessFile("C:\\P\\PROJEKT.MDB "));
  EXPECT_TRUE(IsAccessFile("a.accdb"));
  EXPECT_FALSE(IsAccessFile("C:\\Projekte\\dbase"));
  EXPECT_FALSE(IsAccessFile("C:\\Projekte\\test.db"));
  EXPECT_FALSE(IsAccessFile(".mdb"));
  EXPECT_FALSE(IsAccessFile("C:\\x.mdb.bak"));
}

TEST(AdoConnectionString, TransactionStatementsBecomeCalls) {
  EXPECT_EQ(TransactionVerbOf("begin"), AdoTransactionVerb::kBegin);
  EXPECT_EQ(TransactionVerbOf("  BEGIN TRANSACTION;\r\n"), AdoTransactionVerb::kBegin);
  EXPECT_EQ(TransactionVerbOf("commit"), AdoTransactionVerb::kCommit);
  EXPECT_EQ(TransactionVerbOf("Commit Work"), AdoTransactionVerb::kCommit);
  EXPECT_EQ(TransactionVerbOf("rollback trans"), AdoTransactionVerb::kRollback);
  EXPECT_EQ(TransactionVerbOf("select begin from T"), AdoTransactionVerb::kNone);
  EXPECT_EQ(TransactionVerbOf("begin foo"), AdoTransactionVerb::kNone);
  EXPECT_EQ(TransactionVerbOf("commit transaction now"), AdoTransactionVerb::kNone);
  EXPECT_EQ(TransactionVerbOf(""), AdoTransactionVerb::kNone);
}

// --- Values --------------------------------------------------------------

VARIANT Of(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

TEST(AdoValues, NumbersNullsAndDatesFromVariants) {
  EXPECT_TRUE(FromVariant(Of(VT_NULL)).IsNull());
  EXPECT_TRUE(FromVariant(Of(VT_EMPTY)).IsNull());
  VARIANT v = Of(VT_I2);
  v.iVal = -5;
  EXPECT_EQ(FromVariant(v), Value(int64_t{-5}));
  v = Of(VT_UI1);
  v.bVal = 200;
  EXPECT_EQ(FromVariant(v), Value(int64_t{200}));
  v = Of(VT_I4);
  v.lVal = -2147483647 - 1;
  EXPECT_EQ(FromVariant(v), Value(int64_t{-2147483647 - 1}));
  v = Of(VT_BOOL);
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(FromVariant(v), Value(int64_t{-1}));
  v.boolVal = VARIANT_FALSE;
  EXPECT_EQ(FromVariant(v), Value(int64_t{0}));
  v = Of(VT_R4);
  v.fltVal = 1.5f;
  EXPECT_EQ(FromVariant(v), Value(1.5));
  v = Of(VT_CY);
  v.cyVal.int64 = 12345678;  // 1234.5678
  EXPECT_EQ(FromVariant(v), Value(1234.5678));
  // An OLE date is already the system's date-time, time of day included.
  v = Of(VT_DATE);
  v.date = 45000.75;
  EXPECT_EQ(FromVariant(v), Value(45000.75));
  v = Of(VT_I4 | VT_BYREF);
  LONG referenced = 77;
  v.plVal = &referenced;
  EXPECT_EQ(FromVariant(v), Value(int64_t{77}));
}

TEST(AdoValues, DecimalsStayWholeWhereTheyAre) {
  VARIANT v = Of(VT_DECIMAL);
  ASSERT_EQ(VarDecFromI8(-1234567890123LL, &v.decVal), S_OK);
  v.vt = VT_DECIMAL;
  EXPECT_EQ(FromVariant(v), Value(int64_t{-1234567890123LL}));
  ASSERT_EQ(VarDecFromR8(2.25, &v.decVal), S_OK);
  v.vt = VT_DECIMAL;
  EXPECT_EQ(FromVariant(v), Value(2.25));
}

TEST(AdoValues, TextsBecomeUtf8AndBinaryKeepsItsBytes) {
  VARIANT v = Of(VT_BSTR);
  v.bstrVal = SysAllocString(L"Gr\u00f6\u00dfe \u20ac \U0001D11E");
  EXPECT_EQ(FromVariant(v), Value("Größe € \xF0\x9D\x84\x9E"));
  VariantClear(&v);
  v = Of(VT_BSTR);
  v.bstrVal = SysAllocString(L"");
  const Value empty = FromVariant(v);
  EXPECT_TRUE(empty.IsText());  // an empty text is no null
  VariantClear(&v);

  const char bytes[] = {'a', '\0', '\xff'};
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, sizeof(bytes));
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
  memcpy(data, bytes, sizeof(bytes));
  SafeArrayUnaccessData(a);
  v = Of(VT_ARRAY | VT_UI1);
  v.parray = a;
  EXPECT_EQ(FromVariant(v), Value(std::string(bytes, sizeof(bytes))));
  VariantClear(&v);
}

TEST(AdoValues, AnUnknownKindIsAnError) {
  VARIANT v = Of(VT_UNKNOWN);
  v.punkVal = nullptr;
  EXPECT_THROW(FromVariant(v), DbError);
}

TEST(AdoValues, ParametersComeBackAsTheyWent) {
  for (const Value& value : {Value(int64_t{42}), Value(int64_t{-2147483647 - 1}),
                             Value(int64_t{(1LL << 40) + 1}), Value(int64_t{-(1LL << 62)}),
                             Value(0.1), Value("Straße 'ß' \xF0\x9D\x84\x9E"), Value("")}) {
    VARIANT v;
    ToVariant(value, &v);
    EXPECT_EQ(FromVariant(v), value);
    VariantClear(&v);
  }
  VARIANT v;
  ToVariant(Value(), &v);
  EXPECT_EQ(v.vt, VT_NULL);  // the engine's null, not an empty variant
}

TEST(AdoValues, FieldTypesNamedAsTheSqliteColumnsAre) {
  EXPECT_EQ(AdoTypeName(3), "INTEGER");     // adInteger, Long
  EXPECT_EQ(AdoTypeName(7), "DATETIME");    // adDate, Date/Time
  EXPECT_EQ(AdoTypeName(202), "TEXT");      // adVarWChar, Text(n)
  EXPECT_EQ(AdoTypeName(203), "LONGTEXT");  // adLongVarWChar, Memo
  EXPECT_EQ(AdoTypeName(11), "BOOLEAN");    // adBoolean, Yes/No
  EXPECT_EQ(AdoTypeName(5), "DOUBLE");      // adDouble
  EXPECT_EQ(AdoTypeName(9999), "");
}

// --- Errors and COM ---------------------------------------------------------

// German whatever the language of the Windows the test runs on: Windows'
// own codes by the Env's table, COM's by the connection's.
TEST(AdoErrors, HResultsInGermanWordsWithTheirCode) {
  EXPECT_EQ(HResultText(E_OUTOFMEMORY), "Der Arbeitsspeicher reicht nicht aus (0x8007000E)");
  EXPECT_EQ(HResultText(E_ACCESSDENIED),
            "Der Zugriff ist nicht erlaubt (keine Berechtigung) (0x80070005)");
  EXPECT_EQ(HResultText(REGDB_E_CLASSNOTREG), "Die Klasse ist nicht registriert (0x80040154)");
  EXPECT_EQ(HResultText(CO_E_CLASSSTRING), "Der Name der Klasse ist unbekannt (0x800401F3)");
  EXPECT_EQ(HResultText(static_cast<long>(0x80070000L | 12345)), "Systemfehler 12345 (0x80073039)");
  // ADO's own codes have no words here.
  EXPECT_EQ(HResultText(static_cast<long>(0x800A0E7AL)), "Fehler 0x800A0E7A");
}

TEST(AdoErrors, AProviderNobodyHasIsToldWithTheFile) {
  try {
    AdoBackend::Open("Provider=Vandra.Nobody.1;Data Source=C:\\nirgends\\Projekt.mdb",
                     "C:\\nirgends\\Projekt.mdb");
    FAIL() << "opened";
  } catch (const DbError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("'C:\\nirgends\\Projekt.mdb' kann nicht geöffnet werden: ", 0),
        0u)
        << e.what();
  }
}

// The host's thread has COM already, in either model: opening joins it
// without failing and without ending it.
TEST(AdoErrors, ComOfTheHostsThreadIsKept) {
  for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    std::thread([model] {
      ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
      try {
        AdoBackend::Open("Provider=Vandra.Nobody.1;Data Source=x.mdb", "x.mdb");
      } catch (const DbError& e) {
        EXPECT_EQ(std::string(e.what()).find("COM kann nicht"), std::string::npos) << e.what();
      }
      // Still initialised as before: S_FALSE, not S_OK.
      EXPECT_EQ(CoInitializeEx(nullptr, model), S_FALSE);
      CoUninitialize();
      CoUninitialize();
    }).join();
  }
}

// --- With the provider ----------------------------------------------------

std::string TempMdb() {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"vandra_ado_" +
                            std::to_wstring(GetCurrentProcessId()) + L"_" +
                            std::to_wstring(GetTickCount64()) + L".mdb";
  const int n = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

class AdoDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempMdb();
    try {
      AdoBackend::CreateDatabase(path_);
      db_ = AdoBackend::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path_ + ";", path_);
    } catch (const DbError& e) {
      GTEST_SKIP() << "no ADO provider for Access databases here (Jet 4.0, ACE 12.0): " << e.what();
    }
  }
  void TearDown() override {
    db_.reset();
    std::wstring w(path_.size() + 1, L'\0');
    w.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path_.data(),
                                                     static_cast<int>(path_.size()), w.data(),
                                                     static_cast<int>(w.size()))));
    if (!w.empty()) DeleteFileW(w.c_str());
  }
  Rows Select(const std::string& sql) {
    Rows rows;
    db_->RunNative(sql, &rows);
    return rows;
  }

  std::string path_;
  std::unique_ptr<AdoBackend> db_;
};

TEST_F(AdoDatabase, RowsWithNamesTypesAndValues) {
  db_->RunNative(
      "create table Proben (ID counter primary key, NAME text(50), ANZAHL long, WERT double, "
      "DATUM datetime, OK yesno, NOTIZ memo)",
      nullptr);
  db_->RunNative(
      "insert into Proben (NAME, ANZAHL, WERT, DATUM, OK) values ('Größe', 3, 2.5, "
      "#3-1-2024 18:00:00#, true)",
      nullptr);
  EXPECT_EQ(db_->LastInsertRowid(), 1);
  db_->RunSql("insert into Proben (NAME, ANZAHL, NOTIZ) values (?, ?, ?)",
              {Value("Straße"), Value(int64_t{-7}), Value()}, nullptr);
  EXPECT_EQ(db_->LastInsertRowid(), 2);

  const Rows rows = Select("select NAME, ANZAHL, WERT, DATUM, OK, NOTIZ from Proben order by ID");
  EXPECT_EQ(rows.names,
            (std::vector<std::string>{"NAME", "ANZAHL", "WERT", "DATUM", "OK", "NOTIZ"}));
  EXPECT_EQ(rows.types, (std::vector<std::string>{"TEXT", "INTEGER", "DOUBLE", "DATETIME",
                                                  "BOOLEAN", "LONGTEXT"}));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[0][0], Value("Größe"));
  EXPECT_EQ(rows.rows[0][1], Value(int64_t{3}));
  EXPECT_EQ(rows.rows[0][2], Value(2.5));
  EXPECT_EQ(rows.rows[0][3], Value(45352.75));  // 2024-03-01 18:00
  EXPECT_EQ(rows.rows[0][4], Value(int64_t{-1}));
  EXPECT_EQ(rows.rows[1][0], Value("Straße"));
  EXPECT_TRUE(rows.rows[1][2].IsNull());
  EXPECT_TRUE(rows.rows[1][5].IsNull());

  const Rows found = Select("select count(*) from Proben where NAME = 'Straße'");
  ASSERT_EQ(found.rows.size(), 1u);
  EXPECT_EQ(found.rows[0][0], Value(int64_t{1}));
}

TEST_F(AdoDatabase, TransactionsKeepOrDropTheirRows) {
  db_->RunNative("create table T (A long)", nullptr);
  db_->RunNative("begin", nullptr);
  db_->RunNative("insert into T (A) values (1)", nullptr);
  db_->RunNative("rollback", nullptr);
  db_->RunNative("begin", nullptr);
  db_->RunNative("insert into T (A) values (2)", nullptr);
  db_->RunNative("commit", nullptr);
  const Rows rows = Select("select A from T");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0][0], Value(int64_t{2}));
}

TEST_F(AdoDatabase, TablesListedWithoutTheSystemsOwn) {
  db_->RunNative("create table zeta (A long)", nullptr);
  db_->RunNative("create table Alpha (A long)", nullptr);
  EXPECT_EQ(db_->TableNames(), (std::vector<std::string>{"Alpha", "zeta"}));
  EXPECT_TRUE(db_->HasTable("ALPHA"));
  EXPECT_FALSE(db_->HasTable("MSysObjects"));
}

TEST_F(AdoDatabase, TheProvidersMessagePassesUnchanged) {
  try {
    Select("select * from Fehlt");
    FAIL() << "a missing table was read";
  } catch (const DbError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("Fehlt"), std::string::npos) << text;  // Jet names the table
    EXPECT_EQ(text.rfind("Fehler 0x", 0), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace platform::db
