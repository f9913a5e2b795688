// dbsql: runs statements through the database driver stand-in, the way the
// plug-in does, and prints result rows tab-separated. It is how a user or a
// support engineer looks into TA_LIST.dbf or the project database.
//
//   dbsql "CONNECTION STRING" "SQL"     runs one statement
//   dbsql "CONNECTION STRING"           reads statements from standard input,
//                                       each ended by ";" (or by the input's end)
//   -H, --header                        prints the column names first
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/Connection.h"

namespace {

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Query;

void Usage() {
  std::cerr << "usage: dbsql [-H|--header] \"CONNECTION STRING\" [\"SQL\"]\n"
               "  e.g. dbsql \"Data Source=/path/to/project;Extended Properties=DBASE III;\" "
               "\"select * from TA_LIST\"\n"
               "  Without SQL, statements are read from standard input, each ended by ';'.\n";
}

// Tabs and line breaks inside a value would break the columns.
std::string Cell(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool RunOne(Connection& c, const std::string& sql, bool header) {
  try {
    Query q(c, sql);
    if (header && q.FieldCount() > 0) {
      for (int i = 0; i < q.FieldCount(); ++i) std::cout << (i ? "\t" : "") << Cell(q.FieldName(i));
      std::cout << '\n';
    }
    for (; !q.Eof(); q.Next()) {
      for (int i = 0; i < q.FieldCount(); ++i) std::cout << (i ? "\t" : "") << Cell(q.AsString(i));
      std::cout << '\n';
    }
    return true;
  } catch (const DbError& e) {
    std::cerr << "dbsql: " << e.what() << '\n';
    return false;
  }
}

// Splits the input at ';' outside texts, names and comments.
std::vector<std::string> SplitStatements(std::string_view in) {
  std::vector<std::string> out;
  std::string current;
  char quote = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (quote) {
      current.push_back(c);
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '-' && i + 1 < in.size() && in[i + 1] == '-') {
      while (i < in.size() && in[i] != '\n') ++i;
      current.push_back('\n');
      continue;
    }
    if (c == '\'' || c == '"' || c == '[' || c == '#') {
      quote = c == '[' ? ']' : c;
    }
    if (c == ';') {
      out.push_back(current);
      current.clear();
      continue;
    }
    current.push_back(c);
  }
  out.push_back(current);
  std::vector<std::string> statements;
  for (std::string& s : out) {
    if (s.find_first_not_of(" \t\r\n") != std::string::npos) statements.push_back(std::move(s));
  }
  return statements;
}

}  // namespace

int main(int argc, char** argv) {
  bool header = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-H" || a == "--header") {
      header = true;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty() || args.size() > 2) {
    Usage();
    return 2;
  }
  std::unique_ptr<Connection> c;
  try {
    c = Connection::Open(args[0]);
  } catch (const DbError& e) {
    std::cerr << "dbsql: " << e.what() << '\n';
    return 1;
  }
  if (args.size() == 2) return RunOne(*c, args[1], header) ? 0 : 1;
  const std::string input((std::istreambuf_iterator<char>(std::cin)),
                          std::istreambuf_iterator<char>());
  bool ok = true;
  for (const std::string& sql : SplitStatements(input)) ok = RunOne(*c, sql, header) && ok;
  return ok ? 0 : 1;
}
