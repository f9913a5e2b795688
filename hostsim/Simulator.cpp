// Scenario commands of kartul-sim: the mapper's actions, the expectations, and
// the reading of the plug-in's dialog transcript. One table of commands (and
// one each of the kinds of expect and show) drives dispatch, the usage
// messages, help and completion.
#include "hostsim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <span>
#include <sstream>

// Plain bytes: applicat.ini holds ANSI text, converted at the edges here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "hostsim/Geometry.h"
#include "hostsim/System.h"
#include "platform/text/Encoding.h"

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

size_t EndOfWords(std::string_view line, size_t n) {
  size_t i = 0;
  for (size_t word = 0; word < n && i < line.size(); ++word) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      if (line[i++] != '"') continue;
      while (i < line.size() && line[i] != '"') i += line[i] == '\\' ? 2 : 1;
      i = std::min(i + 1, line.size());
    }
  }
  return i;
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

  // Standard output of the last program run by exec.
  std::string last_output;

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

  // A plug-in fault stands out from the trace and the notes around it.
  void ShowHookFailure(const std::string& failure) {
    FlushPending();
    out << "  ******** PLUG-IN ERROR: " << failure << "\n";
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
    // ProjectDir ends with '/'.
    if (!sys::IsAbsolutePath(p) && host.HasProject()) return host.ProjectDir() + p;
    return p;
  }

  void Fail(const std::string& what) { throw HostError("expectation failed: " + what); }

  // ---- Commands ------------------------------------------------------------
  using Words = std::vector<std::string>;
  // What a command (or a kind of expect or show) does; w[0] is the command,
  // raw the line after it as typed.
  using Handler = void (*)(Impl& m, const Words& w, std::string_view raw);
  static constexpr size_t kMany = SIZE_MAX;

  // One entry of a command table: the table drives dispatch, the usage
  // messages, help and completion.
  struct Entry {
    const char* name;
    const char* synopsis;  // the arguments, as help and usage show them
    const char* help;      // one line
    size_t min_args = 0;   // words after the name (after the kind for kinds)
    size_t max_args = 0;
    Handler run = nullptr;         // nullptr with kinds, or for the prefix RunLine takes off
    const Entry* kinds = nullptr;  // the second word chooses one of these
    size_t kind_count = 0;
    bool keeps_hook_log = false;  // it only looks, so expect hooks still sees the last command's
  };
  static const Entry kShowKinds[];
  static const Entry kExpectKinds[];
  static const Entry kCommands[];

  static const Entry* FindEntry(std::span<const Entry> table, std::string_view name);
  static const Entry* FindCommand(std::string_view name);
  static std::span<const Entry> KindsOf(const Entry& command) {
    return {command.kinds, command.kind_count};
  }
  // "<command> [<kind>] <synopsis>"; a command with kinds and no synopsis of
  // its own lists them.
  static std::string Synopsis(const Entry& command, const Entry* kind = nullptr);
  // "usage: " and the synopsis of a command (or of one of its kinds) by name.
  static std::string UsageOf(std::string_view command, std::string_view kind = "");
  void Run(const Words& w, std::string_view raw);

  void Exec(const Words& w);
  void Map(const std::string& svg);
  void Exchange(const Words& w);
  void ShowRows(const Words& w);
  void ExpectFact(const Words& w);
  void ExpectCount(const Words& w, long got, const std::string& want);
  void ExpectRecord(const Words& w);
};

// ---- The command tables ------------------------------------------------------

namespace {

// The text after the command word, without leading blanks.
std::string Rest(std::string_view raw) {
  size_t b = raw.find_first_not_of(" \t");
  return b == std::string_view::npos ? "" : std::string(raw.substr(b));
}

std::string Names(const Host& host, const std::vector<int32_t>& ids) {
  std::vector<std::string> n;
  for (int32_t id : ids)
    n.push_back(host.FindObject(id) ? host.FindObject(id)->kennung : "#" + std::to_string(id));
  std::sort(n.begin(), n.end());
  std::string s;
  for (const auto& x : n) s += (s.empty() ? "" : " ") + x;
  return s.empty() ? std::string("none") : s;
}

bool Near(double a, double b) {
  return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
}

}  // namespace

// The exchange commands: the host's menu entries, reported as its commands.
void Simulator::Impl::Exchange(const Words& w) {
  auto has = [&](const char* flag) { return std::find(w.begin() + 2, w.end(), flag) != w.end(); };
  const std::string& c = w[0];
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
    if (!texts.empty() && texts.size() != 2) throw HostError(UsageOf(c));
    ok = host.ExportXml(Path(w[1]), has("all"), has("empty"), texts.empty() ? "T" : texts[0],
                        texts.empty() ? "F" : texts[1]);
    number = command::kExportXml;
  } else {
    ok = host.ImportXml(Path(w[1]), has("create"));
    number = command::kImportXml;
  }
  host.ReportCommand(number);
  if (!ok) throw HostError(c + " " + w[1] + " failed");
}

void Simulator::Impl::ShowRows(const Words& w) {
  const TableDef* def = nullptr;
  for (const auto& t : HostTables())
    if (t.name == w[2]) def = &t;
  if (!def) throw HostError("no table " + w[2]);
  if (w[1] == "row") {
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
}

void Simulator::Impl::ExpectFact(const Words& w) {
  int32_t id = Obj(w[2]).id;
  double got = w[1] == "easting"    ? host.Easting(id)
               : w[1] == "northing" ? host.Northing(id)
                                    : host.Area(id);
  if (!Near(got, Number(w[3]))) Fail(w[1] + " of " + w[2] + " is " + NumberText(got));
}

void Simulator::Impl::ExpectCount(const Words& w, long got, const std::string& want) {
  if (got != Integer(want))
    Fail(w[1] + " is " + std::to_string(got) + ", not " + std::to_string(Integer(want)));
}

const Simulator::Impl::Entry Simulator::Impl::kShowKinds[] = {
    {"objects", "", "every object with its class, type and geometry", 0, 0,
     [](Impl& m, const Words&, std::string_view) {
       for (int32_t id : m.host.ObjectIds()) {
         const GeoObject& o = *m.host.FindObject(id);
         m.out << "  #" << id << " " << Quote(o.kennung) << " class " << o.klasse << " "
               << DrawTypName(o.typ) << " " << GeometryToText(o.geometry) << "\n";
       }
     }},
    {"selection", "", "the selection and the active object", 0, 0,
     [](Impl& m, const Words&, std::string_view) {
       m.out << " ";
       for (int32_t id : m.host.Selection()) m.out << " " << m.host.FindObject(id)->kennung;
       m.out << "\n  active: "
             << (m.host.ActiveObject() ? m.host.FindObject(m.host.ActiveObject())->kennung : "none")
             << "\n";
     }},
    {"classes", "", "the class list", 0, 0,
     [](Impl& m, const Words&, std::string_view) {
       for (const auto& c : m.host.Classes())
         m.out << "  " << c.id << " " << c.short_name << " " << Quote(c.long_name) << " "
               << DrawTypName(c.typ) << "\n";
     }},
    {"hooks", "", "the hook table in force", 0, 0,
     [](Impl& m, const Words&, std::string_view) {
       const HookTable& t = m.host.Hooks();
       for (size_t i = 0; i < kHookEventCount; ++i) {
         auto e = static_cast<HookEvent>(i);
         m.out << "  " << EventName(e) << " -> " << (t.ExportFor(e).empty() ? "-" : t.ExportFor(e))
               << "\n";
       }
       for (const auto& [command, export_name] : t.Menu())
         m.out << "  menu " << command << " -> " << export_name << "\n";
     }},
    {"row", "<table>", "the current row of the active object", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.ShowRows(w); }},
    {"rows", "<table>", "every stored row of the table", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.ShowRows(w); }},
};

const Simulator::Impl::Entry Simulator::Impl::kExpectKinds[] =
    {
        {"selection", "<obj>...|none", "the selection is exactly these objects", 0, kMany,
         [](Impl& m, const Words& w, std::string_view) {
           std::vector<int32_t> want;
           if (!(w.size() == 3 && w[2] == "none"))
             for (size_t i = 2; i < w.size(); ++i) want.push_back(m.Obj(w[i]).id);
           std::string got = Names(m.host, m.host.Selection()), expected = Names(m.host, want);
           if (got != expected) m.Fail("selection is " + got + ", not " + expected);
         }},
        {"active", "<obj>|none", "the active object", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           int32_t want = w[2] == "none" ? 0 : m.Obj(w[2]).id;
           if (m.host.ActiveObject() != want)
             m.Fail("active object is " + Names(m.host, {m.host.ActiveObject()}) + ", not " + w[2]);
         }},
        {"objects", "<n>", "the number of objects", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           if (static_cast<long>(m.host.ObjectIds().size()) != Integer(w[2]))
             m.Fail(std::to_string(m.host.ObjectIds().size()) + " objects, not " + w[2]);
         }},
        {"exists", "<kennung>", "an object has the identifier", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           if (m.host.IdOf(w[2]) == 0) m.Fail("object " + w[2] + " does not exist");
         }},
        {"missing", "<kennung>", "no object has the identifier", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           if (m.host.IdOf(w[2]) > 0) m.Fail("object " + w[2] + " exists");
         }},
        {"kennung", "<obj> <kennung>", "the object's identifier", 2, 2,
         [](Impl& m, const Words& w, std::string_view) {
           const GeoObject& o = m.Obj(w[2]);
           if (o.kennung != w[3])
             m.Fail("object #" + std::to_string(o.id) + " is " + Quote(o.kennung) + ", not " +
                    Quote(w[3]));
         }},
        {"class", "<obj> <class>", "the object's class", 2, 2,
         [](Impl& m, const Words& w, std::string_view) {
           const GeoObject& o = m.Obj(w[2]);
           if (o.klasse != m.Class(w[3]))
             m.Fail(o.kennung + " has class " + std::to_string(o.klasse));
         }},
        {"geometry", "<obj> <coordinates>", "the object's vertices", 3, kMany,
         [](Impl& m, const Words& w, std::string_view) {
           const GeoObject& o = m.Obj(w[2]);
           if (o.geometry != Coordinates(w, 3, w.size()))
             m.Fail(o.kennung + " has the geometry " + GeometryToText(o.geometry));
         }},
        {"easting", "<obj> <value>", "the host's easting of the object", 2, 2,
         [](Impl& m, const Words& w, std::string_view) { m.ExpectFact(w); }},
        {"northing", "<obj> <value>", "the host's northing of the object", 2, 2,
         [](Impl& m, const Words& w, std::string_view) { m.ExpectFact(w); }},
        {"area", "<obj> <value>", "the host's area of the object", 2, 2,
         [](Impl& m, const Words& w, std::string_view) { m.ExpectFact(w); }},
        {"value", "<table> <field> <text>|null", "a field of the current row", 3, 3,
         [](Impl& m, const Words& w, std::string_view) {
           auto v = m.host.Value(w[2], w[3]);
           if (w[4] == "null" ? v.has_value() : (!v || *v != w[4]))
             m.Fail(w[2] + "." + w[3] + " is " + (v ? Quote(*v) : "null") + ", not " +
                    (w[4] == "null" ? "null" : Quote(w[4])));
         }},
        {"rows", "<table> <n>", "the rows of the active object in the table", 2, 2,
         [](Impl& m, const Words& w, std::string_view) {
           if (m.host.RowCount(w[2]) != Integer(w[3]))
             m.Fail(w[2] + " shows " + std::to_string(m.host.RowCount(w[2])) + " rows, not " +
                    w[3]);
         }},
        {"eof", "<table> yes|no", "the table is at its end", 2, 2,
         [](Impl& m, const Words& w, std::string_view) {
           if (m.host.RowEof(w[2]) != (w[3] == "yes"))
             m.Fail(w[2] + (m.host.RowEof(w[2]) ? " is" : " is not") + " at its end");
         }},
        {"creation", "idle|placing|placed", "the state of interactive creation", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           const char* state[] = {"idle", "placing", "placed"};
           std::string got = state[static_cast<int>(m.host.CreationState())];
           if (got != w[2]) m.Fail("creation is " + got);
         }},
        {"view", "map|data", "the view the host shows", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           std::string got = m.host.CurrentView() == View::kMap ? "map" : "data";
           if (got != w[2]) m.Fail("the host shows the " + got);
         }},
        {"redraws", "<n>", "the redraws the plug-in asked for", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           m.ExpectCount(w, m.host.RedrawCount(), w[2]);
         }},
        {"update-depth", "<n>", "ktBeginUpdate calls not yet ended", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           m.ExpectCount(w, m.host.UpdateDepth(), w[2]);
         }},
        {"timers", "<n>", "the timers set", 1, 1,
         [](Impl& m, const Words& w,
            std::string_view) { m.ExpectCount(w, static_cast<long>(m.host.TimerCount()), w[2]); }},
        {"disabled", "<table> <n>", "the table's controls disabled, not yet enabled", 2, 2,
         [](Impl& m, const Words& w, std::string_view) {
           m.ExpectCount(w, m.host.ControlsDisabled(w[2]), w[3]);
         }},
        {"file", "<path> exists|missing|contains <text>",
         "a file is there, is not, or holds a text", 2, 3,
         [](Impl& m, const Words& w, std::string_view) {
           std::string path = m.Path(w[2]);
           bool exists = fs::exists(sys::FilePath(path));
           if (w[3] == "exists" || w[3] == "missing") {
             if (exists != (w[3] == "exists"))
               m.Fail("file " + path + (exists ? " exists" : " does not exist"));
           } else if (w[3] == "contains" && w.size() == 5) {
             std::ifstream in(sys::FilePath(path), std::ios::binary);
             if (!in) m.Fail("file " + path + " cannot be read");
             std::stringstream content;
             content << in.rdbuf();
             if (content.str().find(w[4]) == std::string::npos)
               m.Fail("file " + path + " does not contain " + Quote(w[4]));
           } else {
             throw HostError(UsageOf("expect", "file"));
           }
         }},
        {"message", "[<kind>] <text>", "a box with this text came since the last match", 1, 2,
         [](Impl& m, const Words& w, std::string_view) { m.ExpectRecord(w); }},
        {"form", "<Class>", "a form of this class came since the last match", 1, 1,
         [](Impl& m, const Words& w, std::string_view) { m.ExpectRecord(w); }},
        {"hooks", "<export>...|none", "the last command's hooks, exactly and in order", 0, kMany,
         [](Impl& m, const Words& w, std::string_view) {
           std::vector<std::string> got;
           for (const auto& call : m.host.HookLog()) got.push_back(call.export_name);
           std::vector<std::string> want(w.begin() + 2, w.end());
           if (want.size() == 1 && want[0] == "none") want.clear();
           if (got != want) {
             std::string s;
             for (const auto& g : got) s += (s.empty() ? "" : " ") + g;
             m.Fail("the last command called " + (s.empty() ? std::string("no hook") : s));
           }
         }},
        {"hook", "<export> [<n>|true|false]", "the last command called it (n times; answer)", 1, 2,
         [](Impl& m, const Words& w, std::string_view) {
           long count = 0;
           std::optional<int16_t> last;
           for (const auto& call : m.host.HookLog())
             if (call.export_name == w[2]) ++count, last = call.answer;
           if (w.size() == 3 || w[3] == "true" || w[3] == "false") {
             if (count == 0) m.Fail("the last command did not call " + w[2]);
             if (w.size() == 4 && (!last || (*last != 0) != (w[3] == "true")))
               m.Fail(w[2] + " answered " + (last ? (*last ? "true" : "false") : "nothing"));
           } else if (count != Integer(w[3])) {
             m.Fail("the last command called " + w[2] + " " + std::to_string(count) + " times");
           }
         }},
        {"output", "<text>", "the last exec printed exactly this text", 1, 1,
         [](Impl& m, const Words& w, std::string_view) {
           if (m.last_output != w[2])
             m.Fail("the program's output is " + Quote(m.last_output) + ", not " + Quote(w[2]));
         }},
};

const Simulator::Impl::Entry Simulator::Impl::kCommands[] = {
    {"new-project", "<dir> [<procedure-dir>]", "create a project (and procedure folder)", 1, 2,
     [](Impl& m, const Words& w, std::string_view) {
       Host::CreateProject(w[1], w.size() > 2 ? w[2] : "");
       m.host.OpenProject(w[1]);
     }},
    {"open", "<dir>", "load a project", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.OpenProject(w[1]); }},
    {"close", "", "close the project", 0, 0,
     [](Impl& m, const Words&, std::string_view) { m.host.CloseProject(); }},
    {"plugin", "<build|path>", "load a plug-in build", 1, 1,
     [](Impl& m, const Words& w, std::string_view) {
       m.host.LoadPlugin(w[1], m.options.program_dir);
       m.out << "  loaded " << m.host.PluginFile() << "\n";
     }},
    {"hooks", "<build>", "take a build's default hook table", 1, 1,
     [](Impl& m, const Words& w, std::string_view) {
       auto table = HookTable::ForBuild(w[1]);
       if (!table) throw HostError("no hook table for " + w[1]);
       m.host.SetHookTable(*table);
     }},
    {"bind", "<event> <export>|-", "bind an event of the hook table", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       auto event = EventByName(w[1]);
       if (!event) throw HostError("unknown event " + w[1]);
       m.host.Bind(*event, w[2] == "-" ? "" : w[2]);
     }},
    {"bind-menu", "<command> <export>|-", "bind a menu command", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       m.host.BindMenu(w[1], w[2] == "-" ? "" : w[2]);
     }},
    {"utf16", "on|off", "hook texts in UTF-16 or ANSI", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.SetUtf16HookTexts(w[1] == "on"); }},
    {"class", "<class>", "set the current object class", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.SetCurrentClass(m.Class(w[1])); }},
    {"create", "<class> <typ> <x> <y> [...] [as <kennung>]", "create an object", 4, kMany,
     [](Impl& m, const Words& w, std::string_view) {
       int32_t klasse = m.Class(w[1]);
       auto typ = DrawTypByName(w[2]);
       if (!typ) throw HostError("unknown draw type " + w[2]);
       size_t end = w.size();
       std::string kennung;
       if (w[w.size() - 2] == "as") {
         kennung = w.back();
         end -= 2;
       }
       int32_t id = m.host.CreateObject(klasse, *typ, Coordinates(w, 3, end), kennung);
       if (id)
         m.out << "  created #" << id << " " << m.host.FindObject(id)->kennung << "\n";
       else
         m.out << "  creation cancelled by the plug-in\n";
     }},
    {"place", "<x> <y> [...]", "place the object the plug-in asked for", 2, kMany,
     [](Impl& m, const Words& w, std::string_view) {
       int32_t id = m.host.Place(Coordinates(w, 1, w.size()));
       if (id)
         m.out << "  placed #" << id << " " << m.host.FindObject(id)->kennung << "\n";
       else
         m.out << "  placing cancelled by the plug-in\n";
     }},
    {"abandon", "", "give up placing", 0, 0,
     [](Impl& m, const Words&, std::string_view) { m.host.Abandon(); }},
    {"delete", "<obj>", "delete an object", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.DeleteObject(m.Obj(w[1]).id); }},
    {"rename", "<obj> <kennung>", "change an identifier", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       int32_t id = m.Obj(w[1]).id;
       if (!m.host.RenameObject(id, w[2]))
         m.out << "  the identifier stays " << m.host.FindObject(id)->kennung << "\n";
       else if (m.host.FindObject(id)->kennung != w[2])
         m.out << "  the identifier is now " << m.host.FindObject(id)->kennung << "\n";
     }},
    {"move", "<obj> <vertex> <x> <y>", "move a vertex (counted from 0)", 4, 4,
     [](Impl& m, const Words& w, std::string_view) {
       long vertex = Integer(w[2]);
       if (vertex < 0) throw HostError("vertices are counted from 0");
       if (!m.host.MoveVertex(m.Obj(w[1]).id, static_cast<size_t>(vertex),
                              {Number(w[3]), Number(w[4])}))
         m.out << "  the geometry change was vetoed\n";
     }},
    {"reclass", "<obj> <class>", "give an object another class", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       m.host.ChangeClass(m.Obj(w[1]).id, m.Class(w[2]));
     }},
    {"paste", "<from> <to>", "paste attribute data into an object", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       m.host.PasteData(m.Obj(w[1]).id, m.Obj(w[2]).id);
     }},
    {"select", "<obj>...|all", "add to the selection", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) {
       if (w.size() == 2 && w[1] == "all") {
         for (int32_t id : m.host.ObjectIds()) m.host.Select(id);
       } else {
         for (size_t i = 1; i < w.size(); ++i) m.host.Select(m.Obj(w[i]).id);
       }
     }},
    {"deselect", "<obj>...|all", "take out of the selection", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) {
       if (w.size() == 2 && w[1] == "all") {
         m.host.DeselectAll();
       } else {
         for (size_t i = 1; i < w.size(); ++i) m.host.Deselect(m.Obj(w[i]).id);
       }
     }},
    {"activate", "<obj>", "make an object the active one", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.Activate(m.Obj(w[1]).id); }},
    {"cursor", "<x> <y>", "put the map cursor", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       m.host.SetCursor({Number(w[1]), Number(w[2])});
     }},
    {"set", "<table> <field> <text>", "enter a value in the current row", 3, 3,
     [](Impl& m, const Words& w, std::string_view) { m.host.EnterValue(w[1], w[2], w[3]); }},
    {"post", "<table>", "save the current row", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.PostRow(w[1]); }},
    {"append", "<table>", "start a new row", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.AppendRow(w[1]); }},
    {"delete-row", "<table>", "delete the current row", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.DeleteRow(w[1]); }},
    {"first", "<table>", "go to the first row", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.FirstRow(w[1]); }},
    {"next", "<table>", "go to the next row", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.host.NextRow(w[1]); }},
    {"run", "<command>", "run a menu command of the plug-in", 1, 1,
     [](Impl& m, const Words& w, std::string_view) {
       bool answer = m.host.RunMenuCommand(w[1]);
       if (!m.options.trace)
         m.out << "  " << w[1] << " answered " << (answer ? "true" : "false") << "\n";
     }},
    {"export-geodata", "<file> [all]", "write shapefiles", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) { m.Exchange(w); }},
    {"import-geodata", "<file> [replace]", "read shapefiles", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) { m.Exchange(w); }},
    {"export-xml", "<file> [all] [empty] [<true> <false>]", "write linfos as XML", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) { m.Exchange(w); }},
    {"import-xml", "<file> [create]", "read linfos from XML", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) { m.Exchange(w); }},
    {"map", "<file.svg>", "write the open project's status map (SVG, for a browser)", 1, 1,
     [](Impl& m, const Words& w, std::string_view) { m.Map(w[1]); }},
    {"answer", "<action line>", "append an answer for the plug-in's next dialog", 0, kMany,
     [](Impl& m, const Words&, std::string_view raw) {
       if (m.options.answers_path.empty()) {
         // Interactive: the mapper answers the dialog at the terminal instead,
         // so that included scenario files run there too.
         m.out << "  (no answer file: answer at the terminal)\n";
         return;
       }
       std::string action = Rest(raw);
       if (action.empty()) throw HostError(UsageOf("answer"));
       std::ofstream a(m.options.answers_path, std::ios::app | std::ios::binary);
       a << action << "\n";
       if (!a.flush()) throw HostError("cannot write " + m.options.answers_path);
     }},
    {"wait", "<ms>", "let time pass; timers run", 1, 1,
     [](Impl& m, const Words& w, std::string_view) {
       long ms = Integer(w[1]);
       if (ms < 0) throw HostError("time does not run backwards");
       m.host.AdvanceClock(std::chrono::milliseconds(ms));
     }},
    {"config", "<section> <key> <value>", "set a key of the procedure's applicat.ini", 3, 3,
     [](Impl& m, const Words& w, std::string_view) {
       if (!m.host.HasProject()) throw HostError("no project is open");
       const std::string file = m.host.ProcedureDir() + "applicat.ini";
       CSimpleIniA ini(false, false, false);
       if (ini.LoadFile(file.c_str()) < 0) throw HostError("cannot read " + file);
       ini.SetValue(platform::text::Utf8ToAnsi(w[1]).c_str(),
                    platform::text::Utf8ToAnsi(w[2]).c_str(),
                    platform::text::Utf8ToAnsi(w[3]).c_str());
       if (ini.SaveFile(file.c_str(), false) < 0) throw HostError("cannot write " + file);
     }},
    {"let", "<name> <text>", "give a variable a value for ${<name>}", 2, 2,
     [](Impl& m, const Words& w, std::string_view) {
       if (w[1].empty() || w[1].find_first_of("{}$ ") != std::string::npos)
         throw HostError("no variable name: " + w[1]);
       m.sim.Variables()[w[1]] = w[2];
     }},
    {"include", "<file>", "run the lines of another scenario file (beside this one)", 1, 1,
     [](Impl& m, const Words& w, std::string_view) {
       fs::path file(w[1]);
       if (file.is_relative() && m.sim.Variables().count("HERE"))
         file = m.sim.Variables()["HERE"] / file;
       std::ifstream in(file);
       if (!in) throw HostError("cannot read " + file.string());
       if (!m.sim.RunBatch(in, file.filename().string()))
         throw HostError("the included " + file.filename().string() + " failed");
     }},
    {"exec", "<program> <args...>", "run a program (dbsql, say) and keep its output", 1, kMany,
     [](Impl& m, const Words& w, std::string_view) { m.Exec(w); }},
    {"echo", "<text>", "print a text", 0, kMany,
     [](Impl& m, const Words&, std::string_view raw) { m.out << Rest(raw) << "\n"; }},
    {"show", "", "print host state", 1, 2, nullptr, kShowKinds, std::size(kShowKinds), true},
    {"fails", "<command...>", "the command must fail", 1, kMany},
    {"when", "<text> = <text> <command...>", "run the command only where both texts are one", 4,
     kMany},
    {"expect", "<what> ...", "check host state", 1, kMany, nullptr, kExpectKinds,
     std::size(kExpectKinds), true},
    {"help", "", "list the commands", 0, kMany,
     [](Impl& m, const Words&, std::string_view) { m.out << Help(); }},
};

// ---- Dispatch, usage, help and completion from the tables ------------------------

const Simulator::Impl::Entry* Simulator::Impl::FindEntry(std::span<const Entry> table,
                                                         std::string_view name) {
  for (const Entry& e : table)
    if (name == e.name) return &e;
  return nullptr;
}

const Simulator::Impl::Entry* Simulator::Impl::FindCommand(std::string_view name) {
  return FindEntry(kCommands, name);
}

std::string Simulator::Impl::Synopsis(const Entry& command, const Entry* kind) {
  auto join = [](const Entry& e, const std::string& synopsis) {
    return std::string(e.name) + (synopsis.empty() ? "" : " " + synopsis);
  };
  if (kind) return std::string(command.name) + " " + join(*kind, kind->synopsis);
  std::string synopsis = command.synopsis;
  if (synopsis.empty())
    for (const Entry& k : KindsOf(command))
      synopsis += (synopsis.empty() ? "" : "|") + join(k, k.synopsis);
  return join(command, synopsis);
}

std::string Simulator::Impl::UsageOf(std::string_view command, std::string_view kind) {
  const Entry& c = *FindCommand(command);
  return "usage: " + Synopsis(c, kind.empty() ? nullptr : FindEntry(KindsOf(c), kind));
}

void Simulator::Impl::Run(const Words& w, std::string_view raw) {
  const Entry* c = FindCommand(w[0]);
  if (!c || (!c->run && !c->kinds)) throw HostError("unknown command " + w[0] + " (try help)");
  size_t args = w.size() - 1;
  if (args < c->min_args || args > c->max_args) throw HostError("usage: " + Synopsis(*c));
  if (!c->kinds) {
    c->run(*this, w, raw);
    return;
  }
  const Entry* kind = FindEntry(KindsOf(*c), w[1]);
  if (!kind) {
    std::string names;
    for (const Entry& k : KindsOf(*c)) names += (names.empty() ? "" : ", ") + std::string(k.name);
    throw HostError(w[0] + " what? " + names);
  }
  if (args - 1 < kind->min_args || args - 1 > kind->max_args)
    throw HostError("usage: " + Synopsis(*c, kind));
  kind->run(*this, w, raw);
}

std::vector<std::string> Simulator::CommandNames() {
  std::vector<std::string> names;
  for (const Impl::Entry& c : Impl::kCommands) names.push_back(c.name);
  return names;
}

std::string Simulator::Help() {
  // Descriptions start in one column; a longer synopsis puts its description
  // on the next line.
  constexpr size_t kColumn = 34;
  std::string text;
  auto line = [&](std::string left, const char* help) {
    if (left.size() + 2 > kColumn) {
      text += left + "\n";
      left.clear();
    }
    left.resize(kColumn, ' ');
    text += left + help + "\n";
  };
  for (const Impl::Entry& c : Impl::kCommands) {
    line("  " + Impl::Synopsis(c), c.help);
    for (const Impl::Entry& k : Impl::KindsOf(c))
      line("    " + Impl::Synopsis(c, &k).substr(std::string_view(c.name).size() + 1), k.help);
  }
  return text;
}

std::vector<std::string> Simulator::Completions(std::string_view before) {
  std::vector<std::string> words;
  try {
    words = SplitWords(before);
  } catch (const HostError&) {
    return {};  // inside an open quote
  }
  while (!words.empty() && words.front() == "fails") words.erase(words.begin());
  if (words.empty()) return CommandNames();
  std::vector<std::string> names;
  if (const Impl::Entry* c = words.size() == 1 ? Impl::FindCommand(words[0]) : nullptr)
    for (const Impl::Entry& k : Impl::KindsOf(*c)) names.push_back(k.name);
  return names;
}

Simulator::Simulator(Host& host, std::ostream& out, SimOptions options)
    : impl_(std::make_unique<Impl>(*this, host, out, std::move(options))) {
  vars_["TEMP"] = impl_->options.temp_dir;
  vars_["BIN"] = impl_->options.tools_dir.empty() ? impl_->options.program_dir
                                                  : impl_->options.tools_dir;
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

bool Simulator::ReportHookFailure(const std::string& where) {
  std::optional<std::string> failure = impl_->host.TakeHookFailure();
  if (!failure) return false;
  impl_->ShowHookFailure(*failure);
  impl_->out << where << ": error: " << *failure << "\n";
  impl_->out.flush();
  return true;
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
    // "when <a> = <b> <command...>": the command runs where a is b, and the
    // line is as none elsewhere (a scenario that takes the build as a
    // parameter says so of a step of one build).
    while (words[0] == "when") {
      if (words.size() < 5 || words[2] != "=") throw HostError(Impl::UsageOf("when"));
      if (words[1] != words[3]) return true;
      expanded.erase(0, EndOfWords(expanded, 4));
      words.erase(words.begin(), words.begin() + 4);
    }
    bool expect_fail = words[0] == "fails";
    if (expect_fail) {
      words.erase(words.begin());
      if (words.empty()) throw HostError(Impl::UsageOf("fails"));
    }
    const Impl::Entry* c = Impl::FindCommand(words[0]);
    if (!c || !c->keeps_hook_log) m.host.ClearHookLog();
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
  if (std::optional<std::string> failure = m.host.TakeHookFailure()) {
    m.ShowHookFailure(*failure);
    ok = false;
    error = *failure;
  }
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

namespace {

bool IsAnswerLine(std::string_view line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  line.remove_prefix(start);
  return line.substr(0, 6) == "answer" && (line.size() == 6 || line[6] == ' ' || line[6] == '\t');
}

}  // namespace

bool Simulator::RunBatch(std::istream& in, const std::string& name) {
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = name + ":" + std::to_string(number);
    if (!RunLine(line, where)) return false;
    // Answers are what the mapper will do, not time passing: a row of them
    // reaches the presenter whole, so that an action on a modeless form finds
    // the answer for the box or file dialog it opens.
    if (!IsAnswerLine(line)) impl_->host.AdvanceClock(impl_->options.step);
    // A timer's hooks belong to the line after which they ran.
    if (ReportHookFailure(where)) return false;
    if (PollTranscript()) {
      impl_->out << name << ":" << number << ": error: the plug-in showed an unexpected dialog\n";
      return false;
    }
  }
  return true;
}

// expect message|form: the next matching record of the transcript after the
// one matched last.
void Simulator::Impl::ExpectRecord(const Words& w) {
  const std::string& what = w[1];
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
}

namespace {

// Throws HostError unless the program ended by itself with status 0.
void CheckEnded(const std::string& program, const sys::ProgramRun& run) {
  if (run.signal > 0) {
    throw HostError(program + " was killed by signal " + std::to_string(run.signal));
  }
  if (!run.started) throw HostError(program + " could not be started");
  if (run.exit_code != 0) {
    throw HostError(program + " ended with status " + std::to_string(run.exit_code));
  }
}

}  // namespace

// Runs a program with its arguments as they stand (no shell) and waits for
// it; its standard output is kept for "expect output" and shown, its errors
// go to the terminal. A program that cannot start or ends with a status
// other than 0 fails the command.
void Simulator::Impl::Exec(const Words& w) {
  out.flush();
  const sys::ProgramRun run =
      sys::RunProgram(std::vector<std::string>(w.begin() + 1, w.end()), false);
  last_output = run.output;
  std::istringstream lines(last_output);
  std::string line;
  while (std::getline(lines, line)) out << "  | " << line << "\n";
  CheckEnded(w[1], run);
}

// The map is the status map program's (tools/kartenbild), which reads what
// any host writes: the host exports every object's geodata and attributes
// into a folder of its own, as the real host would for the program, and
// the folder goes again when the map is drawn.
void Simulator::Impl::Map(const std::string& svg) {
  if (!host.HasProject()) throw HostError("no project is open");
  const std::string file = Path(svg);
  const std::string folder = options.temp_dir + "/karte-export";
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder, ec);
  if (ec) throw HostError("cannot create " + folder + ": " + ec.message());
  struct Removed {
    const std::string& folder;
    ~Removed() {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  } removed{folder};
  const std::string base = folder + "/objekte";
  if (!host.ExportGeodata(base + ".shp", true) ||
      !host.ExportXml(base + ".xml", true, false, "T", "F")) {
    throw HostError("the host could not export the project's objects for the map");
  }
  out.flush();
  const sys::ProgramRun run =
      sys::RunProgram({(options.tools_dir.empty() ? options.program_dir : options.tools_dir) +
                           "/kartenbild",
                       host.ProjectDir(), base, file},
                      true);
  std::string text = run.output;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (run.started && run.signal == 0 && run.exit_code == 0) {
    out << "  " << text << "\n";
    return;
  }
  // The program's own sentence tells the mapper why.
  const std::string prefix = "kartenbild: ";
  if (text.rfind(prefix, 0) == 0) throw HostError(text.substr(prefix.size()));
  CheckEnded("kartenbild", run);
  throw HostError(text);
}

}  // namespace hostsim
