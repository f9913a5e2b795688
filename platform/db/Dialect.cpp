// Everything but the data definition statements passes through token by
// token, so the text SQLite sees differs from the system's only where the
// two dialects differ; error messages then still point at the user's words.
#include "platform/db/Dialect.h"

#include <charconv>
#include <cstdio>

#include "platform/db/Connection.h"
#include "platform/db/DateText.h"
#include "platform/text/Strings.h"

namespace platform::db::dialect {
namespace {

bool IsIdentChar(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || b >= 0x80;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string Excerpt(std::string_view s) {
  return std::string(s.substr(0, 60)) + (s.size() > 60 ? "..." : "");
}

// The significant tokens of a statement, with a cursor over them.
class Reader {
 public:
  explicit Reader(const std::vector<Token>& all) {
    for (const Token& t : all) {
      if (t.kind != TokenKind::kSpace && t.kind != TokenKind::kComment) tokens_.push_back(t);
    }
  }
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const Token* Peek(size_t ahead = 0) const {
    return pos_ + ahead < tokens_.size() ? &tokens_[pos_ + ahead] : nullptr;
  }
  bool IsWord(std::string_view lower_word, size_t ahead = 0) const {
    const Token* t = Peek(ahead);
    return t && t->kind == TokenKind::kWord && text::EqualsIgnoreCase(t->text, lower_word);
  }
  bool IsPunct(char c, size_t ahead = 0) const {
    const Token* t = Peek(ahead);
    return t && t->kind == TokenKind::kPunct && t->text.size() == 1 && t->text[0] == c;
  }
  const Token& Take() { return tokens_[pos_++]; }
  size_t Pos() const { return pos_; }
  const std::vector<Token>& Tokens() const { return tokens_; }

 private:
  std::vector<Token> tokens_;
  size_t pos_ = 0;
};

std::string Unquote(const Token& t) {
  if (t.kind != TokenKind::kQuoted) return std::string(t.text);
  const char close = t.text[0] == '[' ? ']' : t.text[0];
  std::string out;
  const std::string_view inner = t.text.substr(1, t.text.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    out.push_back(inner[i]);
    if (inner[i] == close && i + 1 < inner.size() && inner[i + 1] == close) ++i;
  }
  return out;
}

std::string TranslateToken(const Token& t) {
  if (t.kind == TokenKind::kDate) {
    return "'" + DateLiteralToIso(t.text.substr(1, t.text.size() - 2)) + "'";
  }
  if (t.kind == TokenKind::kWord && IsDigit(t.text[0])) return QuoteName(t.text);
  return std::string(t.text);
}

[[noreturn]] void SyntaxError(const char* what, std::string_view sql) {
  throw DbError(std::string("Syntaxfehler in der Anweisung ") + what + ": \"" + Excerpt(sql) +
                "\".");
}

std::string TakeName(Reader& r, const char* what, std::string_view sql) {
  const Token* t = r.Peek();
  if (!t || (t->kind != TokenKind::kWord && t->kind != TokenKind::kQuoted)) SyntaxError(what, sql);
  return Unquote(r.Take());
}

int TakeInt(Reader& r, const char* what, std::string_view sql) {
  const Token* t = r.Peek();
  if (!t || t->kind != TokenKind::kNumber || t->text.size() > 6) SyntaxError(what, sql);
  for (char c : t->text) {
    if (!IsDigit(c)) SyntaxError(what, sql);
  }
  r.Take();
  return std::stoi(std::string(t->text));
}

void ExpectEnd(Reader& r, const char* what, std::string_view sql) {
  while (r.IsPunct(';')) r.Take();
  if (!r.AtEnd()) SyntaxError(what, sql);
}

Statement ParseCreateTable(Reader& r, std::string_view sql) {
  constexpr const char* kWhat = "CREATE TABLE";
  Statement st;
  st.kind = Kind::kCreateTable;
  st.table = TakeName(r, kWhat, sql);
  if (!r.IsPunct('(')) SyntaxError(kWhat, sql);
  r.Take();
  for (;;) {
    ColumnDef col;
    col.name = TakeName(r, kWhat, sql);
    const Token* type = r.Peek();
    if (!type || type->kind != TokenKind::kWord) SyntaxError(kWhat, sql);
    col.type = text::ToLowerAscii(r.Take().text);
    if (r.IsPunct('(')) {
      r.Take();
      col.size = TakeInt(r, kWhat, sql);
      if (r.IsPunct(',')) {
        r.Take();
        col.scale = TakeInt(r, kWhat, sql);
      }
      if (!r.IsPunct(')')) SyntaxError(kWhat, sql);
      r.Take();
    }
    int depth = 0;
    while (!r.AtEnd() && !(depth == 0 && (r.IsPunct(',') || r.IsPunct(')')))) {
      if (r.IsPunct('(')) ++depth;
      if (r.IsPunct(')')) --depth;
      if (!col.rest.empty()) col.rest += ' ';
      col.rest += TranslateToken(r.Take());
    }
    st.columns.push_back(std::move(col));
    if (r.IsPunct(',')) {
      r.Take();
      continue;
    }
    if (!r.IsPunct(')')) SyntaxError(kWhat, sql);
    r.Take();
    break;
  }
  ExpectEnd(r, kWhat, sql);
  return st;
}

Statement ParseCreateIndex(Reader& r, std::string_view sql, bool unique) {
  constexpr const char* kWhat = "CREATE INDEX";
  Statement st;
  st.kind = Kind::kCreateIndex;
  st.unique = unique;
  st.index = TakeName(r, kWhat, sql);
  if (!r.IsWord("on")) SyntaxError(kWhat, sql);
  r.Take();
  st.table = TakeName(r, kWhat, sql);
  if (!r.IsPunct('(')) SyntaxError(kWhat, sql);
  r.Take();
  for (;;) {
    std::string col = TakeName(r, kWhat, sql);
    if (r.IsWord("asc")) {
      r.Take();
    } else if (r.IsWord("desc")) {
      r.Take();
      col += " DESC";
    }
    st.index_columns.push_back(std::move(col));
    if (r.IsPunct(',')) {
      r.Take();
      continue;
    }
    if (!r.IsPunct(')')) SyntaxError(kWhat, sql);
    r.Take();
    break;
  }
  if (r.IsWord("with")) {
    r.Take();
    bool any = false;
    for (;;) {
      if (r.IsWord("primary")) {
        r.Take();
        st.primary = st.unique = st.disallow_null = true;
      } else if (r.IsWord("disallow") && r.IsWord("null", 1)) {
        r.Take();
        r.Take();
        st.disallow_null = true;
      } else if (r.IsWord("ignore") && r.IsWord("null", 1)) {
        r.Take();
        r.Take();
      } else {
        break;
      }
      any = true;
    }
    if (!any) SyntaxError(kWhat, sql);
  }
  ExpectEnd(r, kWhat, sql);
  return st;
}

int TwoDigitYear(int y) {
  return y < 30 ? 2000 + y : 1900 + y;
}

}  // namespace

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  const auto emit = [&](TokenKind kind, size_t start) {
    out.push_back({kind, s.substr(start, i - start)});
  };
  while (i < s.size()) {
    const size_t start = i;
    const char c = s[i];
    if (IsSpace(c)) {
      while (i < s.size() && IsSpace(s[i])) ++i;
      emit(TokenKind::kSpace, start);
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      emit(TokenKind::kComment, start);
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
      emit(TokenKind::kComment, start);
    } else if (c == '\'' || c == '"' || c == '[' || c == '`') {
      const char close = c == '[' ? ']' : c;
      ++i;
      bool closed = false;
      while (i < s.size()) {
        if (s[i] == close) {
          if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        ++i;
      }
      if (!closed) {
        throw DbError(std::string(c == '\'' ? "Ein Text" : "Ein Name") +
                      " in der Anweisung ist nicht abgeschlossen: \"" + Excerpt(s.substr(start)) +
                      "\".");
      }
      emit(c == '\'' ? TokenKind::kString : TokenKind::kQuoted, start);
    } else if (c == '#') {
      const size_t end = s.find('#', i + 1);
      const size_t nl = s.find('\n', i + 1);
      if (end == std::string_view::npos || (nl != std::string_view::npos && nl < end)) {
        throw DbError("Syntaxfehler in einem Datum der Anweisung: \"" + Excerpt(s.substr(start)) +
                      "\".");
      }
      i = end + 1;
      emit(TokenKind::kDate, start);
    } else if (IsDigit(c) || (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1]))) {
      while (i < s.size() && IsDigit(s[i])) ++i;
      if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i;
      }
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && IsDigit(s[j])) {
          i = j;
          while (i < s.size() && IsDigit(s[i])) ++i;
        }
      }
      if (i < s.size() && IsIdentChar(s[i]) &&
          s.substr(start, i - start).find('.') == std::string_view::npos) {
        // A name that begins with a digit, such as an export prefix "0815_aktion".
        while (i < s.size() && IsIdentChar(s[i])) ++i;
        emit(TokenKind::kWord, start);
      } else {
        emit(TokenKind::kNumber, start);
      }
    } else if (IsIdentChar(c)) {
      while (i < s.size() && IsIdentChar(s[i])) ++i;
      emit(TokenKind::kWord, start);
    } else {
      ++i;
      emit(TokenKind::kPunct, start);
    }
  }
  return out;
}

void RefuseColumnType(const ColumnDef& col) {
  throw DbError("Syntaxfehler in der Felddefinition: Den Typ '" + col.type + "' der Spalte " +
                col.name + " gibt es nicht.");
}

std::string DateLiteralToIso(std::string_view inner) {
  const auto bad = [&]() -> std::string {
    throw DbError("Syntaxfehler im Datum '#" + std::string(inner) + "#' der Anweisung.");
  };
  size_t i = 0;
  const auto skip_spaces = [&] {
    while (i < inner.size() && inner[i] == ' ') ++i;
  };
  const auto number = [&](int max_digits) {
    int v = 0, n = 0;
    while (i < inner.size() && IsDigit(inner[i]) && n < max_digits) {
      v = v * 10 + (inner[i] - '0');
      ++i;
      ++n;
    }
    if (n == 0) bad();
    return std::make_pair(v, n);
  };
  skip_spaces();
  auto [a, a_digits] = number(4);
  if (i >= inner.size() || (inner[i] != '-' && inner[i] != '/')) bad();
  const char sep = inner[i++];
  auto [b, b_digits] = number(2);
  if (i >= inner.size() || inner[i] != sep) bad();
  ++i;
  auto [c, c_digits] = number(4);
  (void)b_digits;
  int year, month, day;
  if (a_digits == 4) {
    year = a;
    month = b;
    day = c;
  } else {
    month = a;
    day = b;
    year = c_digits <= 2 ? TwoDigitYear(c) : c;
  }
  int h = 0, m = 0, sec = 0;
  bool has_time = false;
  skip_spaces();
  if (i < inner.size()) {
    has_time = true;
    h = number(2).first;
    if (i < inner.size() && inner[i] == ':') {
      ++i;
      m = number(2).first;
      if (i < inner.size() && inner[i] == ':') {
        ++i;
        sec = number(2).first;
      }
    }
    skip_spaces();
    if (i < inner.size()) {
      const std::string ampm = text::ToLowerAscii(inner.substr(i));
      if (ampm != "am" && ampm != "pm") bad();
      if (h < 1 || h > 12) bad();
      if (ampm == "am" && h == 12) h = 0;
      if (ampm == "pm" && h != 12) h += 12;
      i = inner.size();
    }
    if (h > 23 || m > 59 || sec > 59) bad();
  }
  if (!DaysFromDate(year, month, day)) bad();
  char buf[80];
  if (has_time && (h || m || sec)) {
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, h, m, sec);
  } else {
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d", year, month, day);
  }
  return buf;
}

namespace {

// The value of a literal token, or empty when it stays in the text.
bool LiteralValue(const Token& t, Value& out) {
  if (t.kind == TokenKind::kString) {
    std::string text;
    const std::string_view inner = t.text.substr(1, t.text.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
      text.push_back(inner[i]);
      if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
    }
    out = Value(std::move(text));
    return true;
  }
  if (t.kind == TokenKind::kDate) {
    out = Value(DateLiteralToIso(t.text.substr(1, t.text.size() - 2)));
    return true;
  }
  if (t.kind == TokenKind::kNumber) {
    const std::string_view s = t.text;
    if (s.find_first_of(".eE") == std::string_view::npos) {
      int64_t i = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
      if (ec == std::errc() && p == s.data() + s.size()) {
        out = Value(i);
        return true;
      }
    }
    double d = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (ec == std::errc() && p == s.data() + s.size()) {
      out = Value(d);
      return true;
    }
  }
  return false;
}

}  // namespace

Statement Parse(std::string_view sql, bool lift_literals) {
  const std::vector<Token> tokens = Tokenize(sql);
  Reader r(tokens);
  if (r.IsWord("create") && r.IsWord("table", 1)) {
    r.Take();
    r.Take();
    return ParseCreateTable(r, sql);
  }
  if (r.IsWord("create") && r.IsWord("index", 1)) {
    r.Take();
    r.Take();
    return ParseCreateIndex(r, sql, false);
  }
  if (r.IsWord("create") && r.IsWord("unique", 1) && r.IsWord("index", 2)) {
    r.Take();
    r.Take();
    r.Take();
    return ParseCreateIndex(r, sql, true);
  }
  if (r.IsWord("drop") && r.IsWord("table", 1)) {
    r.Take();
    r.Take();
    Statement st;
    st.kind = Kind::kDropTable;
    st.table = TakeName(r, "DROP TABLE", sql);
    ExpectEnd(r, "DROP TABLE", sql);
    return st;
  }
  if (r.IsWord("drop") && r.IsWord("index", 1)) {
    r.Take();
    r.Take();
    Statement st;
    st.kind = Kind::kDropIndex;
    st.index = TakeName(r, "DROP INDEX", sql);
    if (r.IsWord("on")) {
      r.Take();
      st.table = TakeName(r, "DROP INDEX", sql);
    }
    ExpectEnd(r, "DROP INDEX", sql);
    return st;
  }
  Statement st;
  st.sql.reserve(sql.size() + 8);
  const bool liftable = lift_literals && (r.IsWord("select") || r.IsWord("insert") ||
                                          r.IsWord("update") || r.IsWord("delete"));
  bool lifting = false;
  bool stopped = !liftable;
  const Token* previous = nullptr;
  for (const Token& t : tokens) {
    if (t.kind == TokenKind::kWord && !stopped) {
      const std::string w = text::ToLowerAscii(t.text);
      if (w == "where" || w == "values" || w == "set") {
        lifting = true;
      } else if (w == "order" || w == "group" || w == "having" || w == "limit") {
        stopped = true;  // positions and counts must stay literal
      }
    }
    // x'0A' is a blob: its text belongs to the x before it.
    const bool blob = previous && previous->kind == TokenKind::kWord &&
                      (previous->text == "x" || previous->text == "X") &&
                      previous->text.data() + previous->text.size() == t.text.data();
    Value v;
    if (lifting && !stopped && !blob && LiteralValue(t, v)) {
      st.sql += '?';
      st.params.push_back(std::move(v));
    } else {
      st.sql += TranslateToken(t);
    }
    if (t.kind != TokenKind::kSpace && t.kind != TokenKind::kComment) previous = &t;
  }
  return st;
}

}  // namespace platform::db::dialect
