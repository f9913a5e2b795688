// Access databases through ADO, bound late (WinAdoBackend.h says why).
#include "platform/db/WinAdoBackend.h"
#include "platform/text/WideText.h"

#include <windows.h>

// VARIANT's functions; after windows.h, which they stand on.
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <utility>

#include "platform/env/Env.h"
#include "platform/text/Strings.h"

namespace platform::db {
namespace {

constexpr const char* kJet = "Microsoft.Jet.OLEDB.4.0";
// Office's engine: registered where Office or the Access Database Engine is
// set up, including 64-bit Windows, which has no Jet.
constexpr const char* kAce = "Microsoft.ACE.OLEDB.12.0";

// ADO's numbers (adoint.h), not taken from the header: its interfaces are not
// used.
constexpr HRESULT kProviderNotFound = static_cast<HRESULT>(0x800A0E7AL);  // adErrProviderNotFound
constexpr long kCmdText = 1;                                              // adCmdText
constexpr long kExecuteNoRecords = 0x80;                                  // adExecuteNoRecords
constexpr long kStateOpen = 1;                                            // adStateOpen
constexpr long kSchemaTables = 20;                                        // adSchemaTables

std::wstring Wide(std::string_view utf8) {
  return text::WideOf(utf8);
}

std::string Utf8(const wchar_t* s, size_t length) {
  if (!s) return {};
  return text::Utf8OfWide(std::wstring_view(s, length));
}

std::string Utf8(BSTR b) {
  return b ? Utf8(b, SysStringLen(b)) : std::string();
}

std::string_view Trim(std::string_view s) {
  return text::TrimChars(s, text::kBlankAndTab);
}

std::string HexCode(long hr) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%08lX", static_cast<unsigned long>(hr));
  return buf;
}

// A VARIANT owned.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }

  static Variant Text(std::string_view utf8) {
    Variant v;
    const std::wstring w = Wide(utf8);
    v.v_.vt = VT_BSTR;
    v.v_.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return v;
  }
  static Variant Long(long n) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = n;
    return v;
  }
  // An optional argument left out.
  static Variant Missing() {
    Variant v;
    v.v_.vt = VT_ERROR;
    v.v_.scode = DISP_E_PARAMNOTFOUND;
    return v;
  }

 private:
  VARIANT v_;
};

// A failed call into ADO: the provider's words when it gave some, Windows'
// for the code otherwise.
class AdoError : public DbError {
 public:
  AdoError(HRESULT code, const std::string& text) : DbError(text), code_(code) {}
  HRESULT Code() const { return code_; }

 private:
  HRESULT code_;
};

// One ADO object, reached by the names of its properties and methods.
class Object {
 public:
  Object() = default;
  explicit Object(IDispatch* p) : p_(p) {}  // takes the reference
  ~Object() {
    if (p_) p_->Release();
  }
  Object(Object&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Object& operator=(Object&& other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  explicit operator bool() const { return p_ != nullptr; }
  IDispatch* get() const { return p_; }

  // A new object of a registered class ("ADODB.Connection").
  static Object Create(const wchar_t* prog_id) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(prog_id, &clsid);
    IDispatch* p = nullptr;
    if (SUCCEEDED(hr)) {
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                            reinterpret_cast<void**>(&p));
    }
    if (FAILED(hr)) {
      throw AdoError(hr, Utf8(prog_id, wcslen(prog_id)) +
                             " ist auf diesem Rechner nicht "
                             "eingerichtet: " +
                             HResultText(hr));
    }
    return Object(p);
  }

  // A property, or a method's result; `args` in the order written.
  Variant Get(const wchar_t* name, std::initializer_list<const VARIANT*> args = {}) const {
    return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args);
  }
  Variant Call(const wchar_t* name, std::initializer_list<const VARIANT*> args = {}) const {
    return Invoke(name, DISPATCH_METHOD, args);
  }
  void Put(const wchar_t* name, const VARIANT& value) const {
    Invoke(name, value.vt == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
           {&value});
  }
  Object GetObject(const wchar_t* name, std::initializer_list<const VARIANT*> args = {}) const {
    return ObjectOf(Get(name, args));
  }
  long GetLong(const wchar_t* name) const { return (*GetAs(name, VT_I4)).lVal; }
  bool GetBool(const wchar_t* name) const {
    return (*GetAs(name, VT_BOOL)).boolVal != VARIANT_FALSE;
  }
  std::string GetText(const wchar_t* name) const { return Utf8((*GetAs(name, VT_BSTR)).bstrVal); }

  static Object ObjectOf(Variant v) {
    const VARIANT& r = *v;
    IDispatch* p = nullptr;
    if (r.vt == VT_DISPATCH && r.pdispVal) {
      p = r.pdispVal;
    } else if (r.vt == VT_UNKNOWN && r.punkVal) {
      r.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&p));
      return Object(p);
    } else {
      return Object();
    }
    p->AddRef();
    return Object(p);
  }

 private:
  Variant Invoke(const wchar_t* name, WORD flags,
                 std::initializer_list<const VARIANT*> args) const {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = p_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
      throw AdoError(hr, "ADO kennt '" + Utf8(name, wcslen(name)) + "' nicht: " + HResultText(hr));
    }
    // IDispatch wants the arguments last first.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size());
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) reversed.push_back(**it);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO info{};
    UINT bad_arg = 0;
    hr = p_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                    (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.get(), &info, &bad_arg);
    if (FAILED(hr)) {
      std::string description;
      if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        description = Utf8(info.bstrDescription);
        hr = info.scode ? info.scode : hr;
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
      }
      while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        description.pop_back();
      throw AdoError(hr, description.empty() ? HResultText(hr) : description);
    }
    return result;
  }

  // A property as the kind asked; a provider that answers with another kind
  // must not be read as a closed recordset or an endless one.
  Variant GetAs(const wchar_t* name, VARTYPE vt) const {
    Variant v = Get(name);
    const HRESULT hr = VariantChangeType(v.get(), v.get(), 0, vt);
    if (FAILED(hr)) {
      throw AdoError(hr, "ADO gibt '" + Utf8(name, wcslen(name)) +
                             "' in einer unerwarteten Art an: " + HResultText(hr));
    }
    return v;
  }

  IDispatch* p_ = nullptr;
};

// COM on the calling thread for as long as a connection lives. The host's
// thread has it initialised already, usually as a single-threaded apartment;
// whatever model it chose stays. A thread without COM gets a single-threaded
// apartment, ADO's own threading model, so its objects need no marshalling.
class Apartment {
 public:
  Apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: initialised already with the same model, which still wants
    // its CoUninitialize. RPC_E_CHANGED_MODE: a multi-threaded apartment,
    // which ADO works in as well.
    joined_ = SUCCEEDED(hr);
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) {
      throw DbError("COM kann nicht gestartet werden: " + HResultText(hr));
    }
  }
  ~Apartment() {
    if (joined_) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  bool joined_ = false;
};

// The segments of a connection string between ';', a quoted value kept
// whole.
std::vector<std::string_view> Segments(std::string_view s) {
  std::vector<std::string_view> out;
  size_t start = 0;
  char quote = 0;
  bool after_eq = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == ';') {
      out.push_back(s.substr(start, i - start));
      start = i + 1;
      after_eq = false;
    } else if (c == '=') {
      after_eq = true;
    } else if (after_eq && (c == '"' || c == '\'')) {
      quote = c;
    } else if (c != ' ' && c != '\t') {
      after_eq = false;
    }
  }
  if (start < s.size()) out.push_back(s.substr(start));
  return out;
}

std::string KeyOf(std::string_view segment) {
  const size_t eq = segment.find('=');
  if (eq == std::string_view::npos) return {};
  return text::ToLowerAscii(Trim(segment.substr(0, eq)));
}

std::string NamedProvider(std::string_view connection_string) {
  for (std::string_view seg : Segments(connection_string)) {
    if (KeyOf(seg) == "provider") {
      std::string_view value = Trim(seg.substr(seg.find('=') + 1));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return std::string(Trim(value));
    }
  }
  return {};
}

// The rows of an open recordset, read to its end.
void ReadRows(const Object& rs, Rows* out) {
  out->names.clear();
  out->types.clear();
  out->tables.clear();
  out->rows.clear();
  // A statement without rows leaves a closed recordset (or none).
  if (!rs || !(rs.GetLong(L"State") & kStateOpen)) return;
  const Object fields = rs.GetObject(L"Fields");
  const long count = fields.GetLong(L"Count");
  std::vector<Object> columns;
  for (long i = 0; i < count; ++i) {
    Variant index = Variant::Long(i);
    columns.push_back(fields.GetObject(L"Item", {index.get()}));
    const Object& f = columns.back();
    out->names.push_back(f.GetText(L"Name"));
    out->types.push_back(AdoTypeName(static_cast<int>(f.GetLong(L"Type"))));
    // The table a column comes from, where the provider tells it.
    std::string table;
    try {
      Variant key = Variant::Text("BASETABLENAME");
      Variant v = f.GetObject(L"Properties").GetObject(L"Item", {key.get()}).Get(L"Value");
      if ((*v).vt == VT_BSTR) table = Utf8((*v).bstrVal);
    } catch (const AdoError&) {
    }
    out->tables.push_back(std::move(table));
  }
  while (!rs.GetBool(L"EOF")) {
    std::vector<Value> row;
    row.reserve(columns.size());
    for (const Object& f : columns) row.push_back(FromVariant(*f.Get(L"Value")));
    out->rows.push_back(std::move(row));
    rs.Call(L"MoveNext");
  }
}

}  // namespace

// --- Free functions ------------------------------------------------------

std::vector<std::string> AdoProviders(std::string_view connection_string) {
  const std::string named = NamedProvider(connection_string);
  if (named.empty()) return {kJet, kAce};
  if (text::ToLowerAscii(named) == text::ToLowerAscii(kJet)) return {named, kAce};
  return {named};
}

std::string WithProvider(std::string_view connection_string, std::string_view provider) {
  std::string out;
  bool replaced = false;
  for (std::string_view seg : Segments(connection_string)) {
    if (!out.empty()) out += ';';
    if (!replaced && KeyOf(seg) == "provider") {
      out += "Provider=" + std::string(provider);
      replaced = true;
    } else {
      out += seg;
    }
  }
  if (!replaced) out = "Provider=" + std::string(provider) + (out.empty() ? "" : ";" + out);
  if (!connection_string.empty() && connection_string.back() == ';') out += ';';
  return out;
}

bool IsAccessFile(std::string_view data_source) {
  const std::string lower = text::ToLowerAscii(Trim(data_source));
  for (const char* ext : {".mdb", ".accdb"}) {
    const std::string_view e(ext);
    if (lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0)
      return true;
  }
  return false;
}

AdoTransactionVerb TransactionVerbOf(std::string_view sql) {
  std::string s = text::ToLowerAscii(Trim(sql));
  while (!s.empty() && (s.back() == ';' || s.back() == ' ' || s.back() == '\t' ||
                        s.back() == '\r' || s.back() == '\n'))
    s.pop_back();
  std::vector<std::string> words;
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = s.find_first_not_of(" \t\r\n", i);
    if (start == std::string::npos) break;
    const size_t end = std::min(s.find_first_of(" \t\r\n", start), s.size());
    words.push_back(s.substr(start, end - start));
    i = end;
  }
  if (words.empty() || words.size() > 2) return AdoTransactionVerb::kNone;
  if (words.size() == 2 && words[1] != "transaction" && words[1] != "trans" && words[1] != "work")
    return AdoTransactionVerb::kNone;
  if (words[0] == "begin") return AdoTransactionVerb::kBegin;
  if (words[0] == "commit") return AdoTransactionVerb::kCommit;
  if (words[0] == "rollback") return AdoTransactionVerb::kRollback;
  return AdoTransactionVerb::kNone;
}

Value FromVariant(const VARIANT& v) {
  if (v.vt & VT_BYREF) {
    Variant copy;
    if (FAILED(VariantCopyInd(copy.get(), const_cast<VARIANT*>(&v)))) {
      throw DbError("Ein Feldwert kann nicht gelesen werden.");
    }
    return FromVariant(*copy);
  }
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return Value();
    case VT_I1:
      return Value(static_cast<int64_t>(v.cVal));
    case VT_UI1:
      return Value(static_cast<int64_t>(v.bVal));
    case VT_I2:
      return Value(static_cast<int64_t>(v.iVal));
    case VT_UI2:
      return Value(static_cast<int64_t>(v.uiVal));
    case VT_I4:
      return Value(static_cast<int64_t>(v.lVal));
    case VT_UI4:
      return Value(static_cast<int64_t>(v.ulVal));
    case VT_INT:
      return Value(static_cast<int64_t>(v.intVal));
    case VT_UINT:
      return Value(static_cast<int64_t>(v.uintVal));
    case VT_I8:
      return Value(static_cast<int64_t>(v.llVal));
    case VT_UI8:
      if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max()))
        return Value(static_cast<double>(v.ullVal));
      return Value(static_cast<int64_t>(v.ullVal));
    case VT_BOOL:
      // Yes/No fields read as the engine's own truth values, -1 and 0.
      return Value(static_cast<int64_t>(v.boolVal != VARIANT_FALSE ? -1 : 0));
    case VT_R4:
      return Value(static_cast<double>(v.fltVal));
    case VT_R8:
      return Value(v.dblVal);
    case VT_CY:
      return Value(static_cast<double>(v.cyVal.int64) / 10000.0);
    case VT_DECIMAL: {
      const DECIMAL& d = v.decVal;
      // A whole number that fits stays whole (Jet's Decimal fields, counters
      // of other providers); the rest becomes a double, as in the SQLite
      // stand-in.
      if (d.scale == 0 && d.Hi32 == 0 &&
          d.Lo64 <= static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max())) {
        const auto n = static_cast<int64_t>(d.Lo64);
        return Value(d.sign & DECIMAL_NEG ? -n : n);
      }
      double out = 0;
      DECIMAL in = d;  // oleauto.h takes it by pointer to non-const
      VarR8FromDec(&in, &out);
      return Value(out);
    }
    case VT_DATE:
      // An OLE date is the system's date-time: days since 1899-12-30.
      return Value(static_cast<double>(v.date));
    case VT_BSTR:
      return Value(Utf8(v.bstrVal));
    case VT_ARRAY | VT_UI1: {
      // Binary fields as their bytes.
      SAFEARRAY* a = v.parray;
      if (!a || SafeArrayGetDim(a) != 1) return Value(std::string());
      LONG lo = 0;
      LONG hi = -1;
      SafeArrayGetLBound(a, 1, &lo);
      SafeArrayGetUBound(a, 1, &hi);
      void* data = nullptr;
      if (hi < lo || FAILED(SafeArrayAccessData(a, &data))) return Value(std::string());
      std::string bytes(static_cast<const char*>(data), static_cast<size_t>(hi - lo + 1));
      SafeArrayUnaccessData(a);
      return Value(std::move(bytes));
    }
    default:
      throw DbError("Ein Feldwert der Art " + std::to_string(v.vt) + " kann nicht gelesen werden.");
  }
}

void ToVariant(const Value& value, VARIANT* out) {
  VariantInit(out);
  const Value::Data& d = value.Held();
  if (const auto* i = std::get_if<int64_t>(&d)) {
    if (*i >= std::numeric_limits<LONG>::min() && *i <= std::numeric_limits<LONG>::max()) {
      out->vt = VT_I4;
      out->lVal = static_cast<LONG>(*i);
    } else {
      // Beyond a Long the engine has Decimal, which holds it exactly.
      out->vt = VT_DECIMAL;
      VarDecFromI8(*i, &out->decVal);
      out->vt = VT_DECIMAL;
    }
  } else if (const auto* f = std::get_if<double>(&d)) {
    out->vt = VT_R8;
    out->dblVal = *f;
  } else if (const auto* s = std::get_if<std::string>(&d)) {
    const std::wstring w = Wide(*s);
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  } else {
    out->vt = VT_NULL;
  }
}

std::string AdoTypeName(int ado_type) {
  switch (ado_type) {
    case 2:   // adSmallInt
    case 18:  // adUnsignedSmallInt
      return "SMALLINT";
    case 16:  // adTinyInt
    case 17:  // adUnsignedTinyInt
      return "TINYINT";
    case 3:   // adInteger
    case 19:  // adUnsignedInt
    case 20:  // adBigInt
    case 21:  // adUnsignedBigInt
      return "INTEGER";
    case 4:  // adSingle
      return "REAL";
    case 5:  // adDouble
      return "DOUBLE";
    case 6:    // adCurrency
    case 14:   // adDecimal
    case 131:  // adNumeric
    case 139:  // adVarNumeric
      return "NUMERIC";
    case 11:  // adBoolean
      return "BOOLEAN";
    case 133:  // adDBDate
      return "DATE";
    case 7:    // adDate
    case 134:  // adDBTime
    case 135:  // adDBTimeStamp
      return "DATETIME";
    case 8:    // adBSTR
    case 72:   // adGUID
    case 129:  // adChar
    case 130:  // adWChar
    case 200:  // adVarChar
    case 202:  // adVarWChar
      return "TEXT";
    // Memo: told apart from a short text, as no row is found by its value.
    case 201:  // adLongVarChar
    case 203:  // adLongVarWChar
      return "LONGTEXT";
    case 128:  // adBinary
    case 204:  // adVarBinary
    case 205:  // adLongVarBinary
      return "BLOB";
    default:
      return "";
  }
}

// The COM codes the connection meets beside Windows' own (FACILITY_WIN32),
// which ErrorText.cpp's table names. German whatever the system's language.
struct ComReason {
  unsigned long code;
  const char* text;
};
constexpr ComReason kComReasons[] = {
    {0x80004001UL, "Der Vorgang ist nicht umgesetzt"},                      // E_NOTIMPL
    {0x80004002UL, "Das Objekt bietet die verlangte Schnittstelle nicht"},  // E_NOINTERFACE
    {0x80004004UL, "Der Vorgang wurde abgebrochen"},                        // E_ABORT
    {0x80004005UL, "Ein nicht näher bezeichneter Fehler ist aufgetreten"},  // E_FAIL
    {0x8000FFFFUL, "Ein unerwarteter Fehler ist aufgetreten"},              // E_UNEXPECTED
    {0x80010106UL,
     "COM läuft in diesem Thread schon in einer anderen Betriebsart"},  // RPC_E_CHANGED_MODE
    {0x80020003UL, "Das Element ist nicht vorhanden"},                  // DISP_E_MEMBERNOTFOUND
    {0x80020005UL, "Ein Wert hat die falsche Art"},                     // DISP_E_TYPEMISMATCH
    {0x80020006UL, "Der Name ist unbekannt"},                           // DISP_E_UNKNOWNNAME
    {0x80020009UL, "Das Objekt hat einen Fehler gemeldet"},             // DISP_E_EXCEPTION
    {0x8002000EUL, "Die Zahl der Parameter ist falsch"},                // DISP_E_BADPARAMCOUNT
    {0x80040154UL, "Die Klasse ist nicht registriert"},                 // REGDB_E_CLASSNOTREG
    {0x800401F0UL, "COM ist nicht gestartet"},                          // CO_E_NOTINITIALIZED
    {0x800401F3UL, "Der Name der Klasse ist unbekannt"},                // CO_E_CLASSSTRING
};

std::string HResultText(long hr) {
  const auto code = static_cast<unsigned long>(hr);
  if ((code & 0xFFFF0000UL) == 0x80070000UL) {
    return env::WindowsReasonText(code & 0xFFFFUL) + " (" + HexCode(hr) + ")";
  }
  for (const ComReason& r : kComReasons) {
    if (r.code == code) return std::string(r.text) + " (" + HexCode(hr) + ")";
  }
  return "Fehler " + HexCode(hr);
}

// --- AdoBackend ----------------------------------------------------------

struct AdoBackend::Com {
  Apartment apartment;  // first in, last out: the objects go before COM
  Object connection;
};

AdoBackend::AdoBackend(std::string data_source, std::unique_ptr<Com> com, std::string provider)
    : Backend(false, std::move(data_source)),
      com_(std::move(com)),
      provider_(std::move(provider)) {}

AdoBackend::~AdoBackend() {
  try {
    com_->connection.Call(L"Close");
  } catch (const DbError&) {
    // Closed already, or the provider failed; the object goes either way.
  }
}

std::unique_ptr<AdoBackend> AdoBackend::Open(std::string_view connection_string,
                                             const std::string& data_source) {
  const std::string cannot_open = "'" + data_source + "' kann nicht geöffnet werden: ";
  auto com = std::make_unique<Com>();
  try {
    com->connection = Object::Create(L"ADODB.Connection");
  } catch (const AdoError& e) {
    throw DbError(cannot_open + e.what());
  }
  const std::vector<std::string> providers = AdoProviders(connection_string);
  for (const std::string& provider : providers) {
    Variant cs = Variant::Text(WithProvider(connection_string, provider));
    try {
      com->connection.Call(L"Open", {cs.get()});
    } catch (const AdoError& e) {
      if (e.Code() == kProviderNotFound) continue;  // the next provider, if any
      throw DbError(cannot_open + e.what());
    }
    return std::unique_ptr<AdoBackend>(new AdoBackend(data_source, std::move(com), provider));
  }
  std::string names;
  for (size_t i = 0; i < providers.size(); ++i)
    names += (i ? (i + 1 == providers.size() ? " noch " : ", ") : "") + providers[i];
  throw DbError(cannot_open + "Für Access-Datenbanken ist " +
                (providers.size() > 1 ? "weder " : "") + names +
                " auf diesem Rechner eingerichtet.");
}

void AdoBackend::CreateDatabase(const std::string& path) {
  bool exists = false;
  try {
    exists = env::Env::Current().Stat(path).has_value();
  } catch (const env::EnvError&) {
    exists = true;  // let the engine say what is wrong with it
  }
  const std::string cs = "Data Source=" + path + ";";
  if (exists) {
    // A database that is there already is kept; one that is no database
    // is an error, as it would be on opening.
    Open(cs, path);
    return;
  }
  const std::string cannot_create = "Die Datenbank '" + path + "' kann nicht angelegt werden: ";
  Apartment apartment;
  Object catalog;
  try {
    catalog = Object::Create(L"ADOX.Catalog");
  } catch (const AdoError& e) {
    throw DbError(cannot_create + e.what());
  }
  const std::vector<std::string> providers = AdoProviders(cs);
  for (const std::string& provider : providers) {
    Variant text = Variant::Text(WithProvider(cs, provider));
    try {
      // Create hands back the connection it opened on the new file.
      const Object connection = Object::ObjectOf(catalog.Call(L"Create", {text.get()}));
      if (connection) connection.Call(L"Close");
      return;
    } catch (const AdoError& e) {
      if (e.Code() == kProviderNotFound) continue;
      throw DbError(cannot_create + e.what());
    }
  }
  throw DbError(cannot_create +
                "Für Access-Datenbanken ist kein Treiber auf diesem Rechner "
                "eingerichtet.");
}

void AdoBackend::RunNative(std::string_view sql, Rows* out) {
  const Object& c = com_->connection;
  switch (TransactionVerbOf(sql)) {
    case AdoTransactionVerb::kBegin:
      c.Call(L"BeginTrans");
      return;
    case AdoTransactionVerb::kCommit:
      c.Call(L"CommitTrans");
      return;
    case AdoTransactionVerb::kRollback:
      c.Call(L"RollbackTrans");
      return;
    case AdoTransactionVerb::kNone:
      break;
  }
  RunSql(std::string(sql), {}, out);
}

void AdoBackend::Run(const dialect::Statement& st, Rows* out) {
  RunSql(st.sql, st.params, out);
}

void AdoBackend::RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) {
  Variant missing = Variant::Missing();
  Variant options = Variant::Long(kCmdText | (out ? 0 : kExecuteNoRecords));
  Object rs;
  if (binds.empty()) {
    Variant text = Variant::Text(sql);
    rs = Object::ObjectOf(
        com_->connection.Call(L"Execute", {text.get(), missing.get(), options.get()}));
  } else {
    const Object cmd = Object::Create(L"ADODB.Command");
    Variant conn;
    conn.get()->vt = VT_DISPATCH;
    conn.get()->pdispVal = com_->connection.get();
    com_->connection.get()->AddRef();
    cmd.Put(L"ActiveConnection", *conn);
    Variant text = Variant::Text(sql);
    cmd.Put(L"CommandText", *text);
    // The values as an array of variants, the parameters in the order of
    // their '?'s.
    Variant values;
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(binds.size()));
    if (!a) throw DbError("Zu wenig Speicher für die Parameter der Anweisung.");
    values.get()->vt = VT_ARRAY | VT_VARIANT;
    values.get()->parray = a;
    for (size_t i = 0; i < binds.size(); ++i) {
      Variant v;
      ToVariant(binds[i], v.get());
      LONG index = static_cast<LONG>(i);
      SafeArrayPutElement(a, &index, v.get());
    }
    rs = Object::ObjectOf(cmd.Call(L"Execute", {missing.get(), values.get(), options.get()}));
  }
  if (!out) return;
  ReadRows(rs, out);
  try {
    if (rs && (rs.GetLong(L"State") & kStateOpen)) rs.Call(L"Close");
  } catch (const AdoError&) {
    // The rows are read; a recordset that does not close goes with its object.
  }
}

std::vector<std::string> AdoBackend::TableNames() {
  Variant schema = Variant::Long(kSchemaTables);
  const Object rs = Object::ObjectOf(com_->connection.Call(L"OpenSchema", {schema.get()}));
  Rows rows;
  ReadRows(rs, &rows);
  const auto column = [&](const char* name) {
    const auto it = std::find(rows.names.begin(), rows.names.end(), name);
    return it == rows.names.end() ? -1 : static_cast<int>(it - rows.names.begin());
  };
  const int name_col = column("TABLE_NAME");
  const int type_col = column("TABLE_TYPE");
  std::vector<std::string> names;
  if (name_col < 0) return names;
  for (const auto& row : rows.rows) {
    // System tables ("SYSTEM TABLE", "ACCESS TABLE") and queries ("VIEW")
    // are left out.
    if (type_col >= 0 && std::get_if<std::string>(&row[type_col].Held()) &&
        *std::get_if<std::string>(&row[type_col].Held()) != "TABLE")
      continue;
    if (const auto* n = std::get_if<std::string>(&row[name_col].Held())) names.push_back(*n);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return text::ToLowerAscii(a) < text::ToLowerAscii(b);
  });
  return names;
}

bool AdoBackend::HasTable(std::string_view name) {
  const std::string wanted = text::ToLowerAscii(name);
  for (const std::string& t : TableNames()) {
    if (text::ToLowerAscii(t) == wanted) return true;
  }
  return false;
}

std::string AdoBackend::QuoteName(std::string_view name) const {
  std::string out = "[";
  for (char c : name) {
    out.push_back(c);
    if (c == ']') out.push_back(']');
  }
  return out + "]";
}

int64_t AdoBackend::LastInsertRowid() {
  Rows rows;
  RunSql("SELECT @@IDENTITY", {}, &rows);
  if (rows.rows.empty() || rows.rows[0].empty()) return 0;
  const Value::Data& d = rows.rows[0][0].Held();
  if (const auto* i = std::get_if<int64_t>(&d)) return *i;
  if (const auto* f = std::get_if<double>(&d)) return static_cast<int64_t>(*f);
  return 0;
}

SqliteSession& AdoBackend::Session() {
  throw DbError("Eine Access-Datenbank wird über ADO erreicht, nicht über SQLite.");
}

}  // namespace platform::db
