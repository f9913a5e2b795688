// Scenario commands of kartul-sim: the mapper's actions, the expectations, and
// the reading of the plug-in's dialog transcript.
#include "hostsim/Simulator.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

// Plain bytes: applicat.ini holds ANSI text, converted at the edges here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "hostsim/Ansi.h"
#include "hostsim/Geometry.h"

namespace fs = std::filesystem;

namespace hostsim {

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted_any = false;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      if (line[i] != '"') {
        word += line[i++];
        continue;
      }
      quoted_any = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < line.size()) {
          char e = line[i++];
          switch (e) {
            case 'r':
              word += '\r';
              break;
            case 'n':
              word += '\n';
              break;
            case 't':
              word += '\t';
              break;
            case '"':
              word += '"';
              break;
            case '\\':
              word += '\\';
              break;
            default:
              word += '\\';
              word += e;
          }
        } else {
          word += c;
        }
      }
      if (!closed) throw HostError("a double quote is not closed");
    }
    if (!word.empty() || quoted_any) words.push_back(word);
  }
  return words;
}

std::string ExpandVariables(std::string_view line, const std::map<std::string, std::string>& vars) {
  std::string out;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == '$' && i + 1 < line.size() && line[i + 1] == '{') {
      size_t close = line.find('}', i + 2);
      if (close == std::string_view::npos) throw HostError("${ without }");
      std::string name(line.substr(i + 2, close - i - 2));
      auto it = vars.find(name);
      if (it == vars.end()) throw HostError("unknown variable ${" + name + "}");
      out += it->second;
      i = close + 1;
    } else {
      out += line[i++];
    }
  }
  return out;
}

namespace {

std::string Unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char e = s[++i];
      out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::string Quote(const std::string& s) {
  return "\"" + Escape(s) + "\"";
}

double Number(const std::string& word) {
  try {
    size_t used = 0;
    double v = std::stod(word, &used);
    if (used == word.size() && std::isfinite(v)) return v;
  } catch (...) {
  }
  throw HostError("\"" + word + "\" is no number");
}

long Integer(const std::string& word) {
  try {
    size_t used = 0;
    long v = std::stol(word, &used);
    if (used == word.size()) return v;
  } catch (...) {
  }
  throw HostError("\"" + word + "\" is no whole number");
}

// Coordinates as "x y x y ..." or "x,y x,y ...".
std::vector<Point> Coordinates(const std::vector<std::string>& words, size_t from, size_t to) {
  std::vector<double> numbers;
  for (size_t i = from; i < to; ++i) {
    std::string w = words[i];
    std::replace(w.begin(), w.end(), ',', ' ');
    std::istringstream parts(w);
    std::string part;
    while (parts >> part) numbers.push_back(Number(part));
  }
  if (numbers.empty() || numbers.size() % 2) throw HostError("coordinates come in x y pairs");
  std::vector<Point> points;
  for (size_t i = 0; i < numbers.size(); i += 2) points.push_back({numbers[i], numbers[i + 1]});
  return points;
}

std::string AnswerName(const HookCall& c) {
  if (!c.answer) return "(no answer)";
  return *c.answer == 0 ? "false" : (*c.answer == -1 ? "true" : std::to_string(*c.answer));
}

struct TranscriptRecord {
  std::string head;                // the first line
  std::vector<std::string> lines;  // the indented lines after it
};

}  // namespace

struct Simulator::Impl {
  Impl(Simulator& s, Host& h, std::ostream& o, SimOptions opt)
      : sim(s), host(h), out(o), options(std::move(opt)) {}
  Simulator& sim;
  Host& host;
  std::ostream& out;
  SimOptions options;

  // Transcript.
  std::uintmax_t transcript_offset = 0;
  std::string partial;  // an unfinished last line
  std::vector<TranscriptRecord> records;
  size_t record_cursor = 0;  // expect message/form search from here
  bool unexpected = false;

  // Trace: a call line waits until it is known whether nested calls follow.
  bool pending_open = false;
  std::string pending_text;
  int pending_depth = 0;

  bool expect_failure = false;

  // Standard output of the last program run by exec.
  std::string last_output;
  void Exec(const std::vector<std::string>& w);

  void Trace(const HookCall& call) {
    PollTranscriptQuiet();
    if (!options.trace) return;
    std::string indent(2 + 2 * static_cast<size_t>(call.depth), ' ');
    if (!call.done) {
      FlushPending();
      pending_open = true;
      pending_depth = call.depth;
      pending_text = indent + "hook " + call.export_name + "(" + call.arguments + ")";
      return;
    }
    if (pending_open && pending_depth == call.depth) {
      out << pending_text << " -> " << AnswerName(call) << "\n";
      pending_open = false;
    } else {
      FlushPending();
      out << indent << "hook " << call.export_name << " -> " << AnswerName(call) << "\n";
    }
  }

  void FlushPending() {
    if (pending_open) {
      out << pending_text << " ...\n";
      pending_open = false;
    }
  }

  void PollTranscriptQuiet() {
    if (options.transcript_path.empty()) return;
    std::error_code ec;
    auto size = fs::file_size(options.transcript_path, ec);
    if (ec || size <= transcript_offset) return;
    std::ifstream in(options.transcript_path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(transcript_offset));
    std::string chunk(size - transcript_offset, '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<size_t>(in.gcount()));
    transcript_offset += chunk.size();
    partial += chunk;
    size_t nl;
    while ((nl = partial.find('\n')) != std::string::npos) {
      std::string line = partial.substr(0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      partial.erase(0, nl + 1);
      FlushPending();
      out << "  | " << line << "\n";
      if (line.rfind("UNEXPECTED ", 0) == 0) unexpected = true;
      if (!line.empty() && line[0] == ' ' && !records.empty())
        records.back().lines.push_back(line);
      else if (!line.empty())
        records.push_back({line, {}});
    }
  }

  const GeoObject& Obj(const std::string& ref) {
    int32_t id = host.Resolve(ref);
    if (!id) throw HostError("unknown object " + ref);
    return *host.FindObject(id);
  }

  int32_t Class(const std::string& ref) {
    const ObjectClass* c = host.FindClass(ref);
    if (!c) throw HostError("unknown object class " + ref);
    return c->id;
  }

  std::string Path(const std::string& p) {
    fs::path path(p);
    if (path.is_relative() && host.HasProject()) path = fs::path(host.ProjectDir()) / path;
    return path.string();
  }

  void Need(const std::vector<std::string>& w, size_t min, size_t max, const char* usage) {
    if (w.size() < min || w.size() > max) throw HostError(std::string("usage: ") + usage);
  }

  void Fail(const std::string& what) { throw HostError("expectation failed: " + what); }

  void Run(const std::vector<std::string>& w, std::string_view raw);
  void Expect(const std::vector<std::string>& w);
  void Show(const std::vector<std::string>& w);
};

namespace {

struct CommandHelp {
  const char* name;
  const char* usage;
};

constexpr CommandHelp kCommands[] = {
    {"new-project", "new-project <dir> [<procedure-dir>]  create a project (and procedure folder)"},
    {"open", "open <dir>  load a project"},
    {"close", "close  close the project"},
    {"plugin", "plugin <build|path>  load a plug-in build"},
    {"hooks", "hooks <build>  take a build's default hook table"},
    {"bind", "bind <event> <export>|-  bind an event of the hook table"},
    {"bind-menu", "bind-menu <command> <export>|-  bind a menu command"},
    {"utf16", "utf16 on|off  hook texts in UTF-16 or ANSI"},
    {"class", "class <class>  set the current object class"},
    {"create", "create <class> <typ> <x> <y> [...] [as <kennung>]  create an object"},
    {"place", "place <x> <y> [...]  place the object the plug-in asked for"},
    {"abandon", "abandon  give up placing"},
    {"delete", "delete <obj>  delete an object"},
    {"rename", "rename <obj> <kennung>  change an identifier"},
    {"move", "move <obj> <vertex> <x> <y>  move a vertex (counted from 0)"},
    {"reclass", "reclass <obj> <class>  give an object another class"},
    {"paste", "paste <from> <to>  paste attribute data into an object"},
    {"select", "select <obj>... | select all  add to the selection"},
    {"deselect", "deselect <obj>... | deselect all"},
    {"activate", "activate <obj>  make an object the active one"},
    {"cursor", "cursor <x> <y>  put the map cursor"},
    {"set", "set <table> <field> <text>  enter a value in the current row"},
    {"post", "post <table>  save the current row"},
    {"append", "append <table>  start a new row"},
    {"delete-row", "delete-row <table>  delete the current row"},
    {"first", "first <table>  go to the first row"},
    {"next", "next <table>  go to the next row"},
    {"run", "run <command>  run a menu command of the plug-in"},
    {"export-geodata", "export-geodata <file> [all]  write shapefiles"},
    {"import-geodata", "import-geodata <file> [replace]  read shapefiles"},
    {"export-xml", "export-xml <file> [all] [empty] [<true> <false>]  write linfos as XML"},
    {"import-xml", "import-xml <file> [create]  read linfos from XML"},
    {"answer", "answer <action line>  append an answer for the plug-in's next dialog"},
    {"wait", "wait <ms>  let time pass; timers run"},
    {"config", "config <section> <key> <value>  set a key of the procedure's applicat.ini"},
    {"let", "let <name> <text>  give a variable a value for ${<name>}"},
    {"include", "include <file>  run the lines of another scenario file (beside this one)"},
    {"exec", "exec <program> <args...>  run a program (dbsql, say) and keep its output"},
    {"echo", "echo <text>  print a text"},
    {"show", "show objects|selection|classes|hooks|row <table>|rows <table>  print host state"},
    {"fails", "fails <command...>  the command must fail"},
    {"expect", "expect <what> ...  check host state (see README)"},
    {"help", "help  list the commands"},
};

}  // namespace

std::vector<std::string> Simulator::CommandNames() {
  std::vector<std::string> names;
  for (const auto& c : kCommands) names.push_back(c.name);
  return names;
}

std::string Simulator::Help() {
  std::string text;
  for (const auto& c : kCommands) text += std::string("  ") + c.usage + "\n";
  return text;
}

Simulator::Simulator(Host& host, std::ostream& out, SimOptions options)
    : impl_(std::make_unique<Impl>(*this, host, out, std::move(options))) {
  vars_["TEMP"] = impl_->options.temp_dir;
  vars_["BIN"] = impl_->options.program_dir;
  host.SetTraceSink([this](const HookCall& c) { impl_->Trace(c); });
  host.SetNoteSink([this](const std::string& note) {
    impl_->FlushPending();
    impl_->out << "  host: " << note << "\n";
  });
}

Simulator::~Simulator() {
  impl_->host.SetTraceSink(nullptr);
  impl_->host.SetNoteSink(nullptr);
}

bool Simulator::PollTranscript() {
  impl_->PollTranscriptQuiet();
  return impl_->unexpected;
}

bool Simulator::RunLine(std::string_view line, const std::string& where) {
  Impl& m = *impl_;
  std::string text(line);
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
    text.pop_back();
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos || text[first] == '#') return true;
  if (m.options.echo) m.out << "> " << text.substr(first) << "\n";
  bool ok = true;
  std::string error;
  try {
    if (m.host.HasProject()) vars_["PROJECT"] = m.host.ProjectDir();
    std::string expanded = ExpandVariables(text, vars_);
    std::vector<std::string> words = SplitWords(expanded);
    if (words.empty()) return true;
    bool expect_fail = words[0] == "fails";
    if (expect_fail) {
      words.erase(words.begin());
      if (words.empty()) throw HostError("usage: fails <command...>");
    }
    if (words[0] != "expect" && words[0] != "show") m.host.ClearHookLog();
    try {
      size_t raw_start = expanded.find(words[0]) + words[0].size();
      m.Run(words, std::string_view(expanded).substr(std::min(raw_start, expanded.size())));
      if (expect_fail) throw HostError("expectation failed: the command did not fail");
    } catch (const HostError& e) {
      if (!expect_fail ||
          std::string(e.what()).rfind("expectation failed: the command did not fail", 0) == 0)
        throw;
      m.FlushPending();
      m.out << "  failed as expected: " << e.what() << "\n";
    }
  } catch (const std::exception& e) {
    ok = false;
    error = e.what();
  }
  m.FlushPending();
  m.PollTranscriptQuiet();
  if (m.unexpected) {
    m.unexpected = false;
    if (ok) {
      ok = false;
      error = "the plug-in showed an unexpected dialog (see the transcript lines above)";
    }
  }
  if (!ok) m.out << where << ": error: " << error << "\n";
  m.out.flush();
  return ok;
}

bool Simulator::RunBatch(std::istream& in, const std::string& name) {
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!RunLine(line, name + ":" + std::to_string(number))) return false;
    impl_->host.AdvanceClock(impl_->options.step);
    if (PollTranscript()) {
      impl_->out << name << ":" << number << ": error: the plug-in showed an unexpected dialog\n";
      return false;
    }
  }
  return true;
}

void Simulator::Impl::Run(const std::vector<std::string>& w, std::string_view raw) {
  const std::string& c = w[0];
  auto all_or_objects = [&](auto each) {
    for (size_t i = 1; i < w.size(); ++i) each(Obj(w[i]).id);
  };
  if (c == "help") {
    out << Help();
  } else if (c == "new-project") {
    Need(w, 2, 3, "new-project <dir> [<procedure-dir>]");
    Host::CreateProject(w[1], w.size() > 2 ? w[2] : "");
    host.OpenProject(w[1]);
  } else if (c == "open") {
    Need(w, 2, 2, "open <dir>");
    host.OpenProject(w[1]);
  } else if (c == "close") {
    Need(w, 1, 1, "close");
    host.CloseProject();
  } else if (c == "plugin") {
    Need(w, 2, 2, "plugin <build|path>");
    host.LoadPlugin(w[1], options.program_dir);
    out << "  loaded " << host.PluginFile() << "\n";
  } else if (c == "hooks") {
    Need(w, 2, 2, "hooks <build>");
    auto table = HookTable::ForBuild(w[1]);
    if (!table) throw HostError("no hook table for " + w[1]);
    host.SetHookTable(*table);
  } else if (c == "bind") {
    Need(w, 3, 3, "bind <event> <export>|-");
    auto event = EventByName(w[1]);
    if (!event) throw HostError("unknown event " + w[1]);
    host.Bind(*event, w[2] == "-" ? "" : w[2]);
  } else if (c == "bind-menu") {
    Need(w, 3, 3, "bind-menu <command> <export>|-");
    host.BindMenu(w[1], w[2] == "-" ? "" : w[2]);
  } else if (c == "utf16") {
    Need(w, 2, 2, "utf16 on|off");
    host.SetUtf16HookTexts(w[1] == "on");
  } else if (c == "class") {
    Need(w, 2, 2, "class <class>");
    host.SetCurrentClass(Class(w[1]));
  } else if (c == "create") {
    if (w.size() < 5) throw HostError("usage: create <class> <typ> <x> <y> [...] [as <kennung>]");
    int32_t klasse = Class(w[1]);
    auto typ = DrawTypByName(w[2]);
    if (!typ) throw HostError("unknown draw type " + w[2]);
    size_t end = w.size();
    std::string kennung;
    if (w.size() >= 2 && w[w.size() - 2] == "as") {
      kennung = w.back();
      end -= 2;
    }
    int32_t id = host.CreateObject(klasse, *typ, Coordinates(w, 3, end), kennung);
    if (id)
      out << "  created #" << id << " " << host.FindObject(id)->kennung << "\n";
    else
      out << "  creation cancelled by the plug-in\n";
  } else if (c == "place") {
    if (w.size() < 3) throw HostError("usage: place <x> <y> [...]");
    int32_t id = host.Place(Coordinates(w, 1, w.size()));
    if (id)
      out << "  placed #" << id << " " << host.FindObject(id)->kennung << "\n";
    else
      out << "  placing cancelled by the plug-in\n";
  } else if (c == "abandon") {
    Need(w, 1, 1, "abandon");
    host.Abandon();
  } else if (c == "delete") {
    Need(w, 2, 2, "delete <obj>");
    host.DeleteObject(Obj(w[1]).id);
  } else if (c == "rename") {
    Need(w, 3, 3, "rename <obj> <kennung>");
    int32_t id = Obj(w[1]).id;
    if (!host.RenameObject(id, w[2]))
      out << "  the identifier stays " << host.FindObject(id)->kennung << "\n";
    else if (host.FindObject(id)->kennung != w[2])
      out << "  the identifier is now " << host.FindObject(id)->kennung << "\n";
  } else if (c == "move") {
    Need(w, 5, 5, "move <obj> <vertex> <x> <y>");
    long vertex = Integer(w[2]);
    if (vertex < 0) throw HostError("vertices are counted from 0");
    if (!host.MoveVertex(Obj(w[1]).id, static_cast<size_t>(vertex), {Number(w[3]), Number(w[4])}))
      out << "  the geometry change was vetoed\n";
  } else if (c == "reclass") {
    Need(w, 3, 3, "reclass <obj> <class>");
    host.ChangeClass(Obj(w[1]).id, Class(w[2]));
  } else if (c == "paste") {
    Need(w, 3, 3, "paste <from> <to>");
    host.PasteData(Obj(w[1]).id, Obj(w[2]).id);
  } else if (c == "select") {
    if (w.size() < 2) throw HostError("usage: select <obj>... | select all");
    if (w.size() == 2 && w[1] == "all") {
      for (int32_t id : host.ObjectIds()) host.Select(id);
    } else {
      all_or_objects([&](int32_t id) { host.Select(id); });
    }
  } else if (c == "deselect") {
    if (w.size() < 2) throw HostError("usage: deselect <obj>... | deselect all");
    if (w.size() == 2 && w[1] == "all")
      host.DeselectAll();
    else
      all_or_objects([&](int32_t id) { host.Deselect(id); });
  } else if (c == "activate") {
    Need(w, 2, 2, "activate <obj>");
    host.Activate(Obj(w[1]).id);
  } else if (c == "cursor") {
    Need(w, 3, 3, "cursor <x> <y>");
    host.SetCursor({Number(w[1]), Number(w[2])});
  } else if (c == "set") {
    Need(w, 4, 4, "set <table> <field> <text>");
    host.EnterValue(w[1], w[2], w[3]);
  } else if (c == "post" || c == "append" || c == "delete-row" || c == "first" || c == "next") {
    Need(w, 2, 2, (c + " <table>").c_str());
    if (c == "post") host.PostRow(w[1]);
    if (c == "append") host.AppendRow(w[1]);
    if (c == "delete-row") host.DeleteRow(w[1]);
    if (c == "first") host.FirstRow(w[1]);
    if (c == "next") host.NextRow(w[1]);
  } else if (c == "run") {
    Need(w, 2, 2, "run <command>");
    bool answer = host.RunMenuCommand(w[1]);
    if (!options.trace) out << "  " << w[1] << " answered " << (answer ? "true" : "false") << "\n";
  } else if (c == "export-geodata" || c == "import-geodata" || c == "export-xml" ||
             c == "import-xml") {
    if (w.size() < 2) throw HostError("usage: " + c + " <file> ...");
    auto has = [&](const char* flag) { return std::find(w.begin() + 2, w.end(), flag) != w.end(); };
    bool ok = false;
    int32_t number = 0;
    if (c == "export-geodata") {
      ok = host.ExportGeodata(Path(w[1]), has("all"));
      number = command::kExportGeodata;
    } else if (c == "import-geodata") {
      ok = host.ImportGeodata(Path(w[1]), has("replace"));
      number = command::kImportGeodata;
    } else if (c == "export-xml") {
      std::vector<std::string> texts;
      for (size_t i = 2; i < w.size(); ++i)
        if (w[i] != "all" && w[i] != "empty") texts.push_back(w[i]);
      if (!texts.empty() && texts.size() != 2)
        throw HostError("usage: export-xml <file> [all] [empty] [<true> <false>]");
      ok = host.ExportXml(Path(w[1]), has("all"), has("empty"), texts.empty() ? "T" : texts[0],
                          texts.empty() ? "F" : texts[1]);
      number = command::kExportXml;
    } else {
      ok = host.ImportXml(Path(w[1]), has("create"));
      number = command::kImportXml;
    }
    host.ReportCommand(number);
    if (!ok) throw HostError(c + " " + w[1] + " failed");
  } else if (c == "answer") {
    if (options.answers_path.empty()) {
      // Interactive: the mapper answers the dialog at the terminal instead,
      // so that included scenario files run there too.
      out << "  (no answer file: answer at the terminal)\n";
      return;
    }
    std::string action(raw);
    size_t b = action.find_first_not_of(" \t");
    if (b == std::string::npos) throw HostError("usage: answer <action line>");
    std::ofstream a(options.answers_path, std::ios::app | std::ios::binary);
    a << action.substr(b) << "\n";
    if (!a.flush()) throw HostError("cannot write " + options.answers_path);
  } else if (c == "exec") {
    Exec(w);
  } else if (c == "config") {
    Need(w, 4, 4, "config <section> <key> <value>");
    if (!host.HasProject()) throw HostError("no project is open");
    const std::string file = host.ProcedureDir() + "applicat.ini";
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(file.c_str()) < 0) throw HostError("cannot read " + file);
    ini.SetValue(Utf8ToAnsi(w[1]).c_str(), Utf8ToAnsi(w[2]).c_str(), Utf8ToAnsi(w[3]).c_str());
    if (ini.SaveFile(file.c_str(), false) < 0) throw HostError("cannot write " + file);
  } else if (c == "let") {
    Need(w, 3, 3, "let <name> <text>");
    if (w[1].empty() || w[1].find_first_of("{}$ ") != std::string::npos)
      throw HostError("no variable name: " + w[1]);
    sim.Variables()[w[1]] = w[2];
  } else if (c == "include") {
    Need(w, 2, 2, "include <file>");
    std::filesystem::path file(w[1]);
    if (file.is_relative() && sim.Variables().count("HERE")) file = sim.Variables()["HERE"] / file;
    std::ifstream in(file);
    if (!in) throw HostError("cannot read " + file.string());
    if (!sim.RunBatch(in, file.filename().string()))
      throw HostError("the included " + file.filename().string() + " failed");
  } else if (c == "wait") {
    Need(w, 2, 2, "wait <ms>");
    long ms = Integer(w[1]);
    if (ms < 0) throw HostError("time does not run backwards");
    host.AdvanceClock(std::chrono::milliseconds(ms));
  } else if (c == "echo") {
    std::string text(raw);
    size_t b = text.find_first_not_of(" \t");
    out << (b == std::string::npos ? "" : text.substr(b)) << "\n";
  } else if (c == "show") {
    Show(w);
  } else if (c == "expect") {
    Expect(w);
  } else {
    throw HostError("unknown command " + c + " (try help)");
  }
}

void Simulator::Impl::Show(const std::vector<std::string>& w) {
  Need(w, 2, 3, "show objects|selection|classes|hooks|row <table>|rows <table>");
  const std::string& what = w[1];
  if (what == "objects") {
    for (int32_t id : host.ObjectIds()) {
      const GeoObject& o = *host.FindObject(id);
      out << "  #" << id << " " << Quote(o.kennung) << " class " << o.klasse << " "
          << DrawTypName(o.typ) << " " << GeometryToText(o.geometry) << "\n";
    }
  } else if (what == "selection") {
    out << " ";
    for (int32_t id : host.Selection()) out << " " << host.FindObject(id)->kennung;
    out << "\n  active: "
        << (host.ActiveObject() ? host.FindObject(host.ActiveObject())->kennung : "none") << "\n";
  } else if (what == "classes") {
    for (const auto& c : host.Classes())
      out << "  " << c.id << " " << c.short_name << " " << Quote(c.long_name) << " "
          << DrawTypName(c.typ) << "\n";
  } else if (what == "hooks") {
    const HookTable& t = host.Hooks();
    for (size_t i = 0; i < kHookEventCount; ++i) {
      auto e = static_cast<HookEvent>(i);
      out << "  " << EventName(e) << " -> " << (t.ExportFor(e).empty() ? "-" : t.ExportFor(e))
          << "\n";
    }
    for (const auto& [command, export_name] : t.Menu())
      out << "  menu " << command << " -> " << export_name << "\n";
  } else if (what == "row" || what == "rows") {
    Need(w, 3, 3, "show row <table>");
    const TableDef* def = nullptr;
    for (const auto& t : HostTables())
      if (t.name == w[2]) def = &t;
    if (!def) throw HostError("no table " + w[2]);
    if (what == "row") {
      for (const auto& f : def->fields) {
        auto v = host.Value(w[2], f.name);
        out << "  " << f.name << " = " << (v ? Quote(*v) : "null") << "\n";
      }
    } else {
      for (const auto& row : host.StoredRows(w[2])) {
        out << " ";
        for (const auto& f : def->fields) out << " " << f.name << "=" << Quote(row.at(f.name));
        out << "\n";
      }
    }
  } else {
    throw HostError("show what? objects, selection, classes, hooks, row <table>, rows <table>");
  }
}

// Runs a program with its arguments as they stand (no shell) and waits for
// it; its standard output is kept for "expect output" and shown, its errors
// go to the terminal. A program that cannot start or ends with a status
// other than 0 fails the command.
void Simulator::Impl::Exec(const std::vector<std::string>& w) {
  if (w.size() < 2) throw HostError("usage: exec <program> <args...>");
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw HostError("exec: no pipe");
  std::vector<char*> argv;
  for (size_t i = 1; i < w.size(); ++i) argv.push_back(const_cast<char*>(w[i].c_str()));
  argv.push_back(nullptr);
  out.flush();
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    throw HostError("exec: cannot start " + w[1]);
  }
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  last_output.clear();
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) last_output.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::istringstream lines(last_output);
  std::string line;
  while (std::getline(lines, line)) out << "  | " << line << "\n";
  if (WIFSIGNALED(status)) {
    throw HostError(w[1] + " was killed by signal " + std::to_string(WTERMSIG(status)));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw HostError(w[1] + (WEXITSTATUS(status) == 127
                                ? " could not be started"
                                : " ended with status " + std::to_string(WEXITSTATUS(status))));
  }
}

void Simulator::Impl::Expect(const std::vector<std::string>& w) {
  if (w.size() < 2) throw HostError("usage: expect <what> ...");
  const std::string& what = w[1];
  auto names = [&](const std::vector<int32_t>& ids) {
    std::vector<std::string> n;
    for (int32_t id : ids)
      n.push_back(host.FindObject(id) ? host.FindObject(id)->kennung : "#" + std::to_string(id));
    std::sort(n.begin(), n.end());
    std::string s;
    for (const auto& x : n) s += (s.empty() ? "" : " ") + x;
    return s.empty() ? std::string("none") : s;
  };
  auto near = [](double a, double b) {
    return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
  };

  if (what == "output") {
    Need(w, 3, 3, "expect output <text>");
    if (last_output != w[2]) Fail("the program's output is " + Quote(last_output) + ", not " + Quote(w[2]));
    return;
  }
  if (what == "selection") {
    std::vector<int32_t> want;
    if (!(w.size() == 3 && w[2] == "none"))
      for (size_t i = 2; i < w.size(); ++i) want.push_back(Obj(w[i]).id);
    std::string got = names(host.Selection()), expected = names(want);
    if (got != expected) Fail("selection is " + got + ", not " + expected);
  } else if (what == "active") {
    Need(w, 3, 3, "expect active <obj>|none");
    int32_t want = w[2] == "none" ? 0 : Obj(w[2]).id;
    if (host.ActiveObject() != want)
      Fail("active object is " + names({host.ActiveObject()}) + ", not " + w[2]);
  } else if (what == "objects") {
    Need(w, 3, 3, "expect objects <n>");
    if (static_cast<long>(host.ObjectIds().size()) != Integer(w[2]))
      Fail(std::to_string(host.ObjectIds().size()) + " objects, not " + w[2]);
  } else if (what == "exists" || what == "missing") {
    Need(w, 3, 3, "expect exists|missing <kennung>");
    bool exists = host.IdOf(w[2]) > 0;
    if (exists != (what == "exists"))
      Fail("object " + w[2] + (exists ? " exists" : " does not exist"));
  } else if (what == "kennung") {
    Need(w, 4, 4, "expect kennung <obj> <kennung>");
    const GeoObject& o = Obj(w[2]);
    if (o.kennung != w[3])
      Fail("object #" + std::to_string(o.id) + " is " + Quote(o.kennung) + ", not " + Quote(w[3]));
  } else if (what == "class") {
    Need(w, 4, 4, "expect class <obj> <class>");
    const GeoObject& o = Obj(w[2]);
    if (o.klasse != Class(w[3])) Fail(o.kennung + " has class " + std::to_string(o.klasse));
  } else if (what == "geometry") {
    if (w.size() < 5) throw HostError("usage: expect geometry <obj> <x> <y> ...");
    const GeoObject& o = Obj(w[2]);
    auto want = Coordinates(w, 3, w.size());
    if (o.geometry != want) Fail(o.kennung + " has the geometry " + GeometryToText(o.geometry));
  } else if (what == "easting" || what == "northing" || what == "area") {
    Need(w, 4, 4, "expect easting|northing|area <obj> <value>");
    int32_t id = Obj(w[2]).id;
    double got = what == "easting"    ? host.Easting(id)
                 : what == "northing" ? host.Northing(id)
                                      : host.Area(id);
    if (!near(got, Number(w[3]))) Fail(what + " of " + w[2] + " is " + NumberText(got));
  } else if (what == "value") {
    Need(w, 5, 5, "expect value <table> <field> <text>|null");
    auto v = host.Value(w[2], w[3]);
    if (w[4] == "null" ? v.has_value() : (!v || *v != w[4]))
      Fail(w[2] + "." + w[3] + " is " + (v ? Quote(*v) : "null") + ", not " +
           (w[4] == "null" ? "null" : Quote(w[4])));
  } else if (what == "rows") {
    Need(w, 4, 4, "expect rows <table> <n>");
    if (host.RowCount(w[2]) != Integer(w[3]))
      Fail(w[2] + " shows " + std::to_string(host.RowCount(w[2])) + " rows, not " + w[3]);
  } else if (what == "eof") {
    Need(w, 4, 4, "expect eof <table> yes|no");
    if (host.RowEof(w[2]) != (w[3] == "yes"))
      Fail(w[2] + (host.RowEof(w[2]) ? " is" : " is not") + " at its end");
  } else if (what == "creation") {
    Need(w, 3, 3, "expect creation idle|placing|placed");
    const char* state[] = {"idle", "placing", "placed"};
    std::string got = state[static_cast<int>(host.CreationState())];
    if (got != w[2]) Fail("creation is " + got);
  } else if (what == "view") {
    Need(w, 3, 3, "expect view map|data");
    std::string got = host.CurrentView() == View::kMap ? "map" : "data";
    if (got != w[2]) Fail("the host shows the " + got);
  } else if (what == "redraws" || what == "update-depth" || what == "timers" ||
             what == "disabled") {
    long got = 0, want = 0;
    if (what == "disabled") {
      Need(w, 4, 4, "expect disabled <table> <n>");
      got = host.ControlsDisabled(w[2]);
      want = Integer(w[3]);
    } else {
      Need(w, 3, 3, "expect redraws|update-depth|timers <n>");
      got = what == "redraws"  ? host.RedrawCount()
            : what == "timers" ? static_cast<long>(host.TimerCount())
                               : host.UpdateDepth();
      want = Integer(w[2]);
    }
    if (got != want) Fail(what + " is " + std::to_string(got) + ", not " + std::to_string(want));
  } else if (what == "file") {
    if (w.size() < 4) throw HostError("usage: expect file <path> exists|missing|contains <text>");
    std::string path = Path(w[2]);
    bool exists = fs::exists(path);
    if (w[3] == "exists" || w[3] == "missing") {
      if (exists != (w[3] == "exists"))
        Fail("file " + path + (exists ? " exists" : " does not exist"));
    } else if (w[3] == "contains" && w.size() == 5) {
      std::ifstream in(path, std::ios::binary);
      if (!in) Fail("file " + path + " cannot be read");
      std::stringstream content;
      content << in.rdbuf();
      if (content.str().find(w[4]) == std::string::npos)
        Fail("file " + path + " does not contain " + Quote(w[4]));
    } else {
      throw HostError("usage: expect file <path> exists|missing|contains <text>");
    }
  } else if (what == "message" || what == "form") {
    if (w.size() < 3 || w.size() > 4)
      throw HostError("usage: expect message [<kind>] <text> | expect form <Class>");
    PollTranscriptQuiet();
    if (options.transcript_path.empty()) throw HostError("no transcript in interactive mode");
    for (size_t i = record_cursor; i < records.size(); ++i) {
      const std::string& head = records[i].head;
      bool match = false;
      if (what == "message" && head.rfind("message ", 0) == 0) {
        size_t colon = head.find(": ");
        std::string text = colon == std::string::npos ? "" : Unescape(head.substr(colon + 2));
        std::string kind =
            SplitWords(head.substr(8, colon == std::string::npos ? 0 : colon - 8)).front();
        match = text == w.back() && (w.size() == 3 || kind == w[2]);
      } else if (what == "form" && head.rfind("form ", 0) == 0) {
        match = SplitWords(head.substr(5)).front() == w[2];
      }
      if (match) {
        record_cursor = i + 1;
        return;
      }
    }
    Fail("no " + what + " " + Quote(w.back()) + " in the transcript since its record " +
         std::to_string(record_cursor + 1));
  } else if (what == "hooks") {
    std::vector<std::string> got;
    for (const auto& call : host.HookLog()) got.push_back(call.export_name);
    std::vector<std::string> want(w.begin() + 2, w.end());
    if (want.size() == 1 && want[0] == "none") want.clear();
    if (got != want) {
      std::string s;
      for (const auto& g : got) s += (s.empty() ? "" : " ") + g;
      Fail("the last command called " + (s.empty() ? std::string("no hook") : s));
    }
  } else if (what == "hook") {
    Need(w, 3, 4, "expect hook <export> [<times>|true|false]");
    long count = 0;
    std::optional<int16_t> last;
    for (const auto& call : host.HookLog())
      if (call.export_name == w[2]) ++count, last = call.answer;
    if (w.size() == 3 || w[3] == "true" || w[3] == "false") {
      if (count == 0) Fail("the last command did not call " + w[2]);
      if (w.size() == 4 && (!last || (*last != 0) != (w[3] == "true")))
        Fail(w[2] + " answered " + (last ? (*last ? "true" : "false") : "nothing"));
    } else if (count != Integer(w[3])) {
      Fail("the last command called " + w[2] + " " + std::to_string(count) + " times");
    }
  } else {
    throw HostError("expect what? see help");
  }
}

}  // namespace hostsim
