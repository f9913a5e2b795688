// The status map of a project as SVG (see Kartenbild.h).
#include "tools/kartenbild/Kartenbild.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"
#include "platform/geodata/ShapeFiles.h"
#include "platform/ini/IniFile.h"
#include "platform/text/Markup.h"
#include "platform/text/Strings.h"
#include "platform/xml/Xml.h"

namespace kartenbild {

namespace fs = std::filesystem;
using platform::text::XmlEscape;

namespace {

constexpr std::string_view kWords[kStatusCount] = {"lesend",   "schreibend",       "neu",
                                                   "gelöscht", "ohne Transaktion", "Unbekannt"};
// Checked out for reading stays grey, what may be edited is green, what is
// new blue, what goes as deleted red; objects outside every transaction are
// a muted sand, still visible as a thin line, so the transaction's objects
// stand out.
constexpr std::string_view kColours[kStatusCount] = {"#8c96a8", "#2ca02c", "#1f77b4",
                                                     "#d62728", "#c2b280", "#9467bd"};
// The legend's order: the codes 0 to 3, then the rest.
constexpr Status kLegendOrder[] = {Status::kLesend,    Status::kSchreibend, Status::kNeu,
                                   Status::kGeloescht, Status::kOhne,       Status::kUnbekannt};

constexpr double kMapMax = 900;  // the longer side of the drawing, in pixels
constexpr double kMapMin = 240;  // a side never shrinks below this
constexpr double kPad = 12;      // inside the map's frame, so circles stay in it
constexpr double kMargin = 20;
constexpr double kHeader = 78;
constexpr double kLegendWidth = 300;
constexpr double kLineHeight = 20;
constexpr size_t kNamesPerNote = 10;  // identifiers a note lists before "und N weitere"

size_t Index(Status s) {
  return static_cast<size_t>(s);
}

Status StatusOfCode(int64_t code) {
  switch (code) {
    case 0:
      return Status::kLesend;
    case 1:
      return Status::kSchreibend;
    case 2:
      return Status::kNeu;
    case 3:
      return Status::kGeloescht;
    default:
      return Status::kUnbekannt;
  }
}

// A change mark that says the object differs from its checkout; "IGNORED"
// is the import's "unchanged".
bool IsChangeMark(std::string_view changed) {
  return !changed.empty() && changed != "IGNORED";
}

// ---- The transaction tables ---------------------------------------------------

struct ListRow {
  std::string kennung;
  std::string changed;
  int64_t tid = 0;
  int64_t schreibend = 0;
  bool present = false;  // an object of the project has the identifier
};

// The rows of TA_LIST, sorted by identifier with the file's order kept among
// rows of one identifier (the first one counts); nothing when the project
// has no TA_LIST.dbf.
std::optional<std::vector<ListRow>> ReadTransactionList(const std::string& dir) {
  namespace dbase = platform::dbase;
  auto& env = platform::env::Env::Current();
  std::optional<std::string> name;
  std::string path = dir + "TA_LIST.dbf";
  try {
    name = dbase::DbfFile::Locate(env, dir, "TA_LIST.dbf");
    if (!name) return std::nullopt;
    path = platform::env::JoinPath(dir, *name);
    auto table = dbase::DbfFile::Open(path, false, env);
    const int f_kennung = table->FieldIndex("KENNUNG");
    const int f_status = table->FieldIndex("SCHREIBEND");
    const int f_changed = table->FieldIndex("CHANGED");
    const int f_tid = table->FieldIndex("TID");
    if (f_kennung < 0 || f_status < 0)
      throw MapError("Die Transaktionsliste " + path + " hat kein Feld " +
                     (f_kennung < 0 ? "KENNUNG" : "SCHREIBEND") + ".");
    std::vector<ListRow> rows;
    table->BeginRead();
    rows.reserve(table->RecordCount());
    for (uint32_t rec = 0; rec < table->RecordCount(); ++rec) {
      if (table->IsDeleted(rec)) continue;
      ListRow row;
      row.kennung = table->Read(rec, f_kennung).text;
      auto status = table->Read(rec, f_status);
      row.schreibend = status.kind == dbase::Cell::Kind::kInteger ? status.integer
                       : status.kind == dbase::Cell::Kind::kReal ? static_cast<int64_t>(status.real)
                                                                 : -1;
      if (f_changed >= 0) row.changed = table->Read(rec, f_changed).text;
      if (f_tid >= 0) row.tid = table->Read(rec, f_tid).integer;
      rows.push_back(std::move(row));
    }
    table->EndRead();
    std::stable_sort(rows.begin(), rows.end(),
                     [](const ListRow& a, const ListRow& b) { return a.kennung < b.kennung; });
    return rows;
  } catch (const dbase::DbaseError& e) {
    throw MapError("Die Transaktionsliste " + path + " kann nicht gelesen werden: " + e.what());
  }
}

ListRow* FindRow(std::vector<ListRow>& rows, std::string_view kennung) {
  auto it = std::lower_bound(rows.begin(), rows.end(), kennung,
                             [](const ListRow& r, std::string_view k) { return r.kennung < k; });
  return it != rows.end() && it->kennung == kennung ? &*it : nullptr;
}

struct Transaction {
  int64_t tid = 0;
  std::string name;
};

// The rows of TA_ID in file order; nothing when the project has no TA_ID.dbf.
std::optional<std::vector<Transaction>> ReadTransactions(const std::string& dir) {
  namespace dbase = platform::dbase;
  auto& env = platform::env::Env::Current();
  std::string path = dir + "TA_ID.dbf";
  try {
    auto name = dbase::DbfFile::Locate(env, dir, "TA_ID.dbf");
    if (!name) return std::nullopt;
    path = platform::env::JoinPath(dir, *name);
    auto table = dbase::DbfFile::Open(path, false, env);
    const int f_tid = table->FieldIndex("TID");
    const int f_name = table->FieldIndex("NAME");
    if (f_tid < 0) throw MapError("Die Transaktionstabelle " + path + " hat kein Feld TID.");
    std::vector<Transaction> out;
    table->BeginRead();
    for (uint32_t rec = 0; rec < table->RecordCount(); ++rec) {
      if (table->IsDeleted(rec)) continue;
      Transaction t;
      t.tid = table->Read(rec, f_tid).integer;
      if (f_name >= 0) t.name = table->Read(rec, f_name).text;
      out.push_back(std::move(t));
    }
    table->EndRead();
    return out;
  } catch (const dbase::DbaseError& e) {
    throw MapError("Die Transaktionstabelle " + path + " kann nicht gelesen werden: " + e.what());
  }
}

// ---- The host's exports ---------------------------------------------------------

namespace geodata = platform::geodata;

// The identifiers of the attribute export's objects, in its order: it lists
// every object, also one without geometry.
class ListedObjects : public platform::xml::Visitor {
 public:
  explicit ListedObjects(const std::string& file) : file_(file) {}
  void Start(int depth, const std::string& name, const platform::xml::Attributes& a) override {
    if (depth != 1 || name != "Objekt") return;
    const std::string* kennung = platform::xml::Find(a, "Kennung");
    if (!kennung || kennung->empty()) {
      throw MapError("Das Objekt " + std::to_string(kennungen.size() + 1) + " der Attributdatei " +
                     file_ + " hat keine Kennung.");
    }
    kennungen.push_back(*kennung);
  }
  void End(int, const std::string&, const std::string&) override {}
  // The objects' fields are not looked at.
  int Depth() const override { return 1; }

  std::vector<std::string> kennungen;

 private:
  const std::string& file_;
};

std::vector<std::string> ReadListedObjects(const std::string& xml) {
  auto& env = platform::env::Env::Current();
  if (!env.Stat(xml)) throw MapError("Die Attributdatei " + xml + " fehlt.");
  try {
    ListedObjects listed(xml);
    platform::xml::Walk(platform::env::ReadFile(env, xml), xml, listed);
    return std::move(listed.kennungen);
  } catch (const platform::xml::XmlError& e) {
    throw MapError(e.what());
  } catch (const platform::env::EnvError& e) {
    throw MapError("Die Attributdatei " + xml + " kann nicht gelesen werden: " + e.what());
  }
}

// One layer of the geodata export: the shapes of one group of the drawing.
struct Layer {
  std::string name;  // the file's name, for the notes
  std::string group;
  std::unique_ptr<geodata::LayerReader> reader;
  std::vector<std::string> kennungen;  // of each record
  // What the first pass found of each record for the second: its row of
  // the transaction list (or none), and whether it can be drawn.
  std::vector<const ListRow*> rows;
  std::vector<bool> drawable;
};

// The host writes the areas under the base name, always, and the other
// kinds each into a layer of its own when there are such objects. Areas are
// drawn beneath lines beneath points, so nothing small hides under a large
// area.
std::vector<Layer> OpenLayers(const std::string& base) {
  static constexpr std::pair<const char*, const char*> kLayers[] = {
      {"", "flaechen"}, {"_lin", "linien"}, {"_pkt", "punkte"}, {"_mpt", "punkte"}};
  auto& env = platform::env::Env::Current();
  std::vector<Layer> layers;
  for (const auto& [suffix, group] : kLayers) {
    const std::string shp = base + suffix + ".shp";
    if (!env.Stat(shp)) {
      if (*suffix == '\0') throw MapError("Die Geodaten " + shp + " fehlen.");
      continue;
    }
    try {
      Layer& layer = layers.emplace_back();
      layer.name = platform::env::NameOf(shp);
      layer.group = group;
      layer.reader = std::make_unique<geodata::LayerReader>(env, shp);
      layer.kennungen = layer.reader->Texts("KENNUNG");
    } catch (const geodata::GeodataError& e) {
      throw MapError(e.what());
    }
  }
  return layers;
}

// ---- Geometry ------------------------------------------------------------------

using Point = geodata::Point;

// The vertices of a shape, or why it cannot be drawn.
struct Parsed {
  geodata::Form form = geodata::Form::kNone;
  geodata::Shape shape;
  std::string problem;
};

Parsed ReadShape(geodata::LayerReader& reader, size_t record) {
  Parsed p;
  try {
    p.shape = reader.Read(record);
  } catch (const geodata::GeodataError&) {
    p.problem = "nicht lesbar";
    return p;
  }
  p.form = geodata::FormOf(p.shape.type);
  if (p.form == geodata::Form::kNone) {
    p.problem = p.shape.type == 0
                    ? "keine Geometrie"
                    : "Formtyp " + std::to_string(p.shape.type) + " ist keine Objektart";
    return p;
  }
  const auto& pts = p.shape.points;
  // A coordinate that is no number would send the whole drawing off the page.
  for (const Point& pt : pts) {
    if (!std::isfinite(pt.x) || !std::isfinite(pt.y)) {
      p.problem = "Koordinaten, die keine Zahlen sind";
      return p;
    }
  }
  // An area's ring ends where it begins; the closing vertex is no corner.
  const bool closed = p.form == geodata::Form::kArea && pts.size() > 1 &&
                      pts.front().x == pts.back().x && pts.front().y == pts.back().y;
  const size_t corners = pts.size() - (closed ? 1 : 0);
  const size_t need = p.form == geodata::Form::kArea ? 3 : p.form == geodata::Form::kLine ? 2 : 1;
  if (corners < need) {
    p.problem = std::to_string(corners) + " Koordinatenpaare, " +
                (p.form == geodata::Form::kArea   ? "eine Fläche braucht 3"
                 : p.form == geodata::Form::kLine ? "eine Linie braucht 2"
                                                  : "ein Punkt braucht 1");
  }
  return p;
}

struct Bounds {
  double min_x = std::numeric_limits<double>::infinity();
  double min_y = std::numeric_limits<double>::infinity();
  double max_x = -std::numeric_limits<double>::infinity();
  double max_y = -std::numeric_limits<double>::infinity();
  bool Empty() const { return min_x > max_x; }
  void Add(const Point& p) {
    min_x = std::min(min_x, p.x);
    min_y = std::min(min_y, p.y);
    max_x = std::max(max_x, p.x);
    max_y = std::max(max_y, p.y);
  }
};

// Map coordinates to the page: scaled to fit, north up (the page's y axis
// runs down).
struct Projection {
  double scale = 1;
  double left = 0, top = 0;  // where min_x and max_y land
  double min_x = 0, max_y = 0;
  double X(double x) const { return left + (x - min_x) * scale; }
  double Y(double y) const { return top + (max_y - y) * scale; }
};

// ---- Writing -------------------------------------------------------------------

// Collects output and hands it to the stream in large pieces.
class Out {
 public:
  explicit Out(std::ostream& out) : out_(out) { buffer_.reserve(kChunk + 4096); }
  ~Out() { Flush(); }
  Out& operator<<(std::string_view s) {
    buffer_.append(s);
    if (buffer_.size() >= kChunk) Flush();
    return *this;
  }
  Out& Text(std::string_view s) {
    // Most texts are plain: they need no copy of their own.
    const bool plain = std::all_of(s.begin(), s.end(), [](char c) {
      return c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
    });
    return plain ? *this << s : *this << XmlEscape(s);
  }
  Out& Number(double v) {
    char b[32];
    // A tenth of a pixel is finer than any screen shows.
    auto r = std::to_chars(b, b + sizeof b, std::round(v * 10) / 10, std::chars_format::fixed, 1);
    std::string_view s(b, static_cast<size_t>(r.ptr - b));
    if (s.size() > 2 && s.substr(s.size() - 2) == ".0") s.remove_suffix(2);
    if (s == "-0") s = "0";
    return *this << s;
  }
  Out& Int(int64_t v) { return *this << std::to_string(v); }
  void Flush() {
    if (buffer_.empty()) return;
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  static constexpr size_t kChunk = 1 << 16;
  std::ostream& out_;
  std::string buffer_;
};

// A remark under the map: a headline and up to kNamesPerNote entries.
struct Note {
  std::string headline;
  std::vector<std::string> entries;
  size_t count = 0;
  void Add(std::string entry) {
    if (entries.size() < kNamesPerNote) entries.push_back(std::move(entry));
    ++count;
  }
  std::string Line() const {
    std::string line = headline;
    if (count == 0) return line;
    line += " (" + std::to_string(count) + "): ";
    for (size_t i = 0; i < entries.size(); ++i) line += (i ? ", " : "") + entries[i];
    if (count > entries.size())
      line += " und " + std::to_string(count - entries.size()) + " weitere";
    return line;
  }
};

// A long note in lines of at most about `max_chars` characters, broken only
// after ", " and ": ", so the lines joined by blanks give the note again.
std::vector<std::string> Wrap(const std::string& text, size_t max_chars) {
  std::vector<std::string> lines;
  size_t start = 0, last_break = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > start && text[i] == ' ' && (text[i - 1] == ',' || text[i - 1] == ':')) {
      if (i - start > max_chars && last_break != std::string::npos) {
        lines.push_back(text.substr(start, last_break - start));
        start = last_break + 1;
      }
      last_break = i;
    }
  }
  if (text.size() - start > max_chars && last_break != std::string::npos && last_break > start) {
    lines.push_back(text.substr(start, last_break - start));
    start = last_break + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::string ProjectName(const std::string& dir, const std::string& ktp) {
  std::string name = platform::ini::IniFile(ktp).ReadString("Projekt", "Name", "");
  if (!name.empty()) return name;
  return fs::path(dir).parent_path().filename().string();
}

std::string TitleOf(const std::optional<std::vector<Transaction>>& transactions, bool has_list) {
  if (!has_list) return "Keine Transaktionsdaten";
  if (!transactions || transactions->empty()) return "Transaktion unbekannt";
  std::string title = transactions->size() == 1 ? "Transaktion " : "Transaktionen ";
  for (size_t i = 0; i < transactions->size(); ++i) {
    const auto& t = (*transactions)[i];
    title += (i ? "; " : "") + std::to_string(t.tid) + " - " + t.name;
  }
  return title;
}

// The tooltip's second line: status, change mark, transaction.
std::string Details(Status status, const ListRow* row) {
  std::string s(kWords[Index(status)]);
  if (!row) return s;
  if (IsChangeMark(row->changed)) s += ", Änderungsmarke " + row->changed;
  s += ", Transaktion " + std::to_string(row->tid);
  return s;
}

// The parts of a shape as [begin, end) of its vertices; an area's part
// without the vertex that closes its ring (a polygon closes itself).
std::vector<std::pair<size_t, size_t>> PartsOf(const geodata::Shape& shape, bool area) {
  std::vector<std::pair<size_t, size_t>> parts;
  const auto& pts = shape.points;
  for (size_t k = 0; k < shape.parts.size(); ++k) {
    const size_t begin = std::min(shape.parts[k], pts.size());
    size_t end = k + 1 < shape.parts.size() ? std::min(shape.parts[k + 1], pts.size()) : pts.size();
    if (area && end - begin > 1 && pts[begin].x == pts[end - 1].x && pts[begin].y == pts[end - 1].y)
      --end;
    if (end > begin) parts.emplace_back(begin, end);
  }
  return parts;
}

void WritePoints(Out& o, const std::vector<Point>& pts, std::pair<size_t, size_t> part,
                 const Projection& pr) {
  for (size_t i = part.first; i < part.second; ++i) {
    if (i > part.first) o << " ";
    o.Number(pr.X(pts[i].x)) << ",";
    o.Number(pr.Y(pts[i].y));
  }
}

// One object: a group with its tooltip and its shapes, a polygon or polyline
// per part. The status colour is the fill of an area or point and the
// stroke of a line; a change mark is a dashed outline in the mark colour
// (for a line, a dashed band beneath it).
void WriteObject(Out& o, const geodata::Shape& shape, geodata::Form form, std::string_view kennung,
                 Status status, const ListRow* row, const Projection& pr) {
  const bool marked = row && IsChangeMark(row->changed);
  const std::string_view colour = kColours[Index(status)];
  const std::vector<Point>& pts = shape.points;
  o << "<g class=\"objekt\" data-kennung=\"";
  o.Text(kennung) << "\" data-status=\"" << kWords[Index(status)] << "\" data-aenderung=\"";
  if (marked) o.Text(row->changed);
  o << "\"><title>";
  o.Text(kennung) << "&#10;";
  o.Text(Details(status, row)) << "</title>";
  const std::string_view outline =
      marked ? "\" stroke=\"#ff7f0e\" stroke-width=\"3\" stroke-dasharray=\"6 3\"/>"
             : "\" stroke=\"#444444\" stroke-width=\"1\"/>";
  switch (form) {
    case geodata::Form::kArea:
      for (const auto& part : PartsOf(shape, true)) {
        o << "<polygon class=\"form\" points=\"";
        WritePoints(o, pts, part, pr);
        o << "\" fill=\"" << colour << "\" fill-opacity=\"0.8" << outline;
      }
      break;
    case geodata::Form::kLine:
      for (const auto& part : PartsOf(shape, false)) {
        if (marked) {
          o << "<polyline class=\"marke\" points=\"";
          WritePoints(o, pts, part, pr);
          o << "\" fill=\"none\" stroke=\"#ff7f0e\" stroke-width=\"8\" stroke-dasharray=\"6 3\"/>";
        }
        o << "<polyline class=\"form\" points=\"";
        WritePoints(o, pts, part, pr);
        o << "\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"3\"/>";
      }
      break;
    case geodata::Form::kPoints:
      for (const auto& p : pts) {
        o << "<circle class=\"form\" cx=\"";
        o.Number(pr.X(p.x)) << "\" cy=\"";
        o.Number(pr.Y(p.y)) << "\" r=\"" << (marked ? "6" : "5") << "\" fill=\"" << colour
                            << outline;
      }
      break;
    case geodata::Form::kNone:
      break;
  }
  o << "</g>\n";
}

// A legend swatch: the status colour as an area, or the change mark.
void WriteLegendEntry(Out& o, double x, double y, std::string_view key, std::string_view fill,
                      bool mark, const std::string& label) {
  o << "<g class=\"legende-eintrag\" data-status=\"" << key << "\"><rect x=\"";
  o.Number(x) << "\" y=\"";
  o.Number(y - 12) << "\" width=\"28\" height=\"16\" fill=\"" << fill << "\"";
  o << (mark ? " stroke=\"#ff7f0e\" stroke-width=\"3\" stroke-dasharray=\"6 3\""
             : " stroke=\"#444444\" stroke-width=\"1\"")
    << "/><text x=\"";
  o.Number(x + 38) << "\" y=\"";
  o.Number(y) << "\">";
  o.Text(label) << "</text></g>\n";
}

}  // namespace

std::string_view StatusWord(Status status) {
  return kWords[Index(status)];
}
std::string_view StatusColour(Status status) {
  return kColours[Index(status)];
}

MapSummary WriteMap(const std::string& project_dir, const std::string& export_base,
                    std::ostream& stream) {
  std::error_code ec;
  std::string dir = fs::absolute(project_dir, ec).lexically_normal().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  const std::string ktp = dir + "KTProjekt.ktp";
  if (!fs::exists(ktp, ec))
    throw MapError("Im Ordner " + dir + " liegt kein Projekt: KTProjekt.ktp fehlt.");

  MapSummary summary;
  auto list = ReadTransactionList(dir);
  summary.has_transaction_list = list.has_value();
  std::vector<ListRow> rows = list ? std::move(*list) : std::vector<ListRow>{};
  const auto transactions = summary.has_transaction_list ? ReadTransactions(dir) : std::nullopt;

  const std::string base = platform::text::EndsWithIgnoreCase(export_base, ".shp")
                               ? export_base.substr(0, export_base.size() - 4)
                               : export_base;
  const std::vector<std::string> listed = ReadListedObjects(base + ".xml");
  std::vector<Layer> layers = OpenLayers(base);

  // First pass: the extent, the counts, and what cannot be drawn. An object
  // is one the attribute export lists or one the geodata holds.
  std::unordered_map<std::string_view, bool> shaped;  // listed identifier: has a shape
  shaped.reserve(listed.size());
  for (const std::string& k : listed) shaped.emplace(k, false);
  summary.objects = shaped.size();
  Bounds bounds;
  Note unreadable{"Nicht gezeichnet, ohne zeichenbare Geometrie", {}, 0};
  for (Layer& layer : layers) {
    layer.rows.resize(layer.kennungen.size());
    layer.drawable.resize(layer.kennungen.size());
    for (size_t i = 0; i < layer.kennungen.size(); ++i) {
      const std::string& kennung = layer.kennungen[i];
      const auto known = shaped.find(kennung);
      if (known == shaped.end()) {
        ++summary.objects;
      } else {
        known->second = true;
      }
      ListRow* row = FindRow(rows, kennung);
      if (row) row->present = true;
      layer.rows[i] = row;
      const Parsed p = ReadShape(*layer.reader, i);
      if (!p.problem.empty()) {
        unreadable.Add(kennung + " (" + layer.name + ", Form " + std::to_string(i + 1) + ": " +
                       p.problem + ")");
        continue;
      }
      layer.drawable[i] = true;
      for (const auto& pt : p.shape.points) bounds.Add(pt);
      Status status = row ? StatusOfCode(row->schreibend) : Status::kOhne;
      ++summary.drawn;
      ++summary.by_status[Index(status)];
      if (row && IsChangeMark(row->changed)) ++summary.marked;
    }
  }
  for (const std::string& k : listed) {
    bool& has_shape = shaped.at(k);
    if (has_shape) continue;
    has_shape = true;  // an identifier listed twice is told once
    if (ListRow* row = FindRow(rows, k)) row->present = true;
    unreadable.Add(k + " (ohne Geometrie)");
  }
  summary.not_drawn = unreadable.count;

  Note deleted{"Gelöscht, im Projekt nicht mehr vorhanden", {}, 0};
  Note absent{"In der Transaktionsliste, aber nicht im Projekt", {}, 0};
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0 && rows[i].kennung == rows[i - 1].kennung) continue;  // the first row counts
    if (rows[i].present) continue;
    ++summary.listed_absent;
    if (StatusOfCode(rows[i].schreibend) == Status::kGeloescht)
      deleted.Add(rows[i].kennung);
    else
      absent.Add(rows[i].kennung + " (" +
                 std::string(kWords[Index(StatusOfCode(rows[i].schreibend))]) + ")");
  }
  std::vector<std::string> notes;
  if (!summary.has_transaction_list)
    notes.push_back(
        "Im Projekt gibt es keine Transaktionsliste (TA_LIST.dbf fehlt): "
        "alle Objekte sind ohne Transaktion.");
  else if (!transactions)
    notes.push_back("TA_ID.dbf fehlt: die Namen der Transaktionen sind unbekannt.");
  for (const Note* n : {&deleted, &absent, &unreadable})
    if (n->count) notes.push_back(n->Line());

  // Layout: title on top, the map on the left, the legend on its right, the
  // notes beneath both.
  Projection pr;
  double map_w = kMapMin, map_h = kMapMin;
  if (!bounds.Empty()) {
    const double dx = bounds.max_x - bounds.min_x, dy = bounds.max_y - bounds.min_y;
    const double longest = std::max(dx, dy);
    pr.scale = longest > 0 ? kMapMax / longest : 1;
    map_w = std::max(dx * pr.scale, kMapMin);
    map_h = std::max(dy * pr.scale, kMapMin);
    pr.min_x = bounds.min_x;
    pr.max_y = bounds.max_y;
    pr.left = kMargin + kPad + (map_w - dx * pr.scale) / 2;
    pr.top = kHeader + kPad + (map_h - dy * pr.scale) / 2;
  }
  const double frame_w = map_w + 2 * kPad, frame_h = map_h + 2 * kPad;
  const bool unknown_codes = summary.by_status[Index(Status::kUnbekannt)] > 0;
  const size_t legend_lines = 2 + (unknown_codes ? 6 : 5) + 1;
  const double legend_h = static_cast<double>(legend_lines) * 26;
  const double width = kMargin + frame_w + kMargin + kLegendWidth + kMargin;
  const double notes_top = kHeader + std::max(frame_h, legend_h) + kMargin;
  // About 8 pixels a character at the notes' size.
  const size_t note_chars = static_cast<size_t>((width - 2 * kMargin) / 8);
  std::vector<std::vector<std::string>> note_lines;
  size_t line_count = 0;
  for (const auto& n : notes) {
    note_lines.push_back(Wrap(n, note_chars));
    line_count += note_lines.back().size();
  }
  const double height = notes_top + static_cast<double>(line_count) * kLineHeight + kMargin;

  const std::string title = TitleOf(transactions, summary.has_transaction_list);
  const std::string project = ProjectName(dir, ktp);

  Out o(stream);
  o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
  o.Number(width) << "\" height=\"";
  o.Number(height) << "\" viewBox=\"0 0 ";
  o.Number(width) << " ";
  o.Number(height) << "\" font-family=\"sans-serif\" font-size=\"14\">\n<title>";
  o.Text(title) << "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  o << "<text id=\"titel\" x=\"";
  o.Number(kMargin) << "\" y=\"34\" font-size=\"22\" font-weight=\"bold\">";
  o.Text(title) << "</text>\n<text id=\"projekt\" x=\"";
  o.Number(kMargin) << "\" y=\"60\" fill=\"#444444\">";
  o.Text("Projekt " + project + ": " + std::to_string(summary.objects) +
         (summary.objects == 1 ? " Objekt" : " Objekte"))
      << "</text>\n";

  o << "<g id=\"karte\"><rect class=\"rahmen\" x=\"";
  o.Number(kMargin) << "\" y=\"";
  o.Number(kHeader) << "\" width=\"";
  o.Number(frame_w) << "\" height=\"";
  o.Number(frame_h) << "\" fill=\"#fbfbf8\" stroke=\"#999999\"/>\n";
  if (summary.objects == 0) {
    o << "<text id=\"leer\" x=\"";
    o.Number(kMargin + frame_w / 2) << "\" y=\"";
    o.Number(kHeader + frame_h / 2) << "\" text-anchor=\"middle\">";
    o.Text("Das Projekt enthält keine Objekte.") << "</text>\n";
  }
  for (const char* group : {"flaechen", "linien", "punkte"}) {
    o << "<g id=\"" << group << "\">\n";
    for (Layer& layer : layers) {
      if (layer.group != group) continue;
      for (size_t i = 0; i < layer.kennungen.size(); ++i) {
        if (!layer.drawable[i]) continue;
        const Parsed p = ReadShape(*layer.reader, i);
        const ListRow* row = layer.rows[i];
        const Status status = row ? StatusOfCode(row->schreibend) : Status::kOhne;
        WriteObject(o, p.shape, p.form, layer.kennungen[i], status, row, pr);
      }
    }
    o << "</g>\n";
  }
  o << "</g>\n";

  const double lx = kMargin + frame_w + kMargin;
  double ly = kHeader + 18;
  o << "<g id=\"legende\"><text x=\"";
  o.Number(lx) << "\" y=\"";
  o.Number(ly) << "\" font-weight=\"bold\">Legende</text>\n";
  ly += 30;
  for (Status s : kLegendOrder) {
    if (s == Status::kUnbekannt && !unknown_codes) continue;
    WriteLegendEntry(
        o, lx, ly, kWords[Index(s)], kColours[Index(s)], false,
        std::string(kWords[Index(s)]) + " (" + std::to_string(summary.by_status[Index(s)]) + ")");
    ly += 26;
  }
  WriteLegendEntry(o, lx, ly, "aenderungsmarke", "#ffffff", true,
                   "mit Änderungsmarke (" + std::to_string(summary.marked) + ")");
  o << "</g>\n";

  o << "<g id=\"hinweise\">\n";
  double ny = notes_top + 14;
  for (const auto& lines : note_lines) {
    // One text per note, a line of it per tspan.
    o << "<text class=\"hinweis\">";
    for (const auto& line : lines) {
      o << "<tspan x=\"";
      o.Number(kMargin) << "\" y=\"";
      o.Number(ny) << "\">";
      o.Text(line) << "</tspan>";
      ny += kLineHeight;
    }
    o << "</text>\n";
  }
  o << "</g>\n</svg>\n";
  o.Flush();
  return summary;
}

MapSummary WriteMapFile(const std::string& project_dir, const std::string& export_base,
                        const std::string& svg_path) {
  std::error_code ec;
  const fs::path target = fs::absolute(svg_path, ec);
  if (target.filename().empty()) throw MapError("Kein Dateiname für die Karte: " + svg_path);
  if (!fs::is_directory(target.parent_path(), ec))
    throw MapError("Die Karte " + target.string() + " kann nicht geschrieben werden: der Ordner " +
                   target.parent_path().string() + " fehlt.");
  fs::path temp = target;
  temp += ".tmp";
  MapSummary summary;
  try {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out)
      throw MapError("Die Karte " + target.string() +
                     " kann nicht geschrieben werden: " + std::strerror(errno));
    summary = WriteMap(project_dir, export_base, out);
    out.flush();
    if (!out)
      throw MapError("Die Karte " + target.string() +
                     " kann nicht geschrieben werden: " + std::strerror(errno));
    out.close();
    fs::rename(temp, target, ec);
    if (ec)
      throw MapError("Die Karte " + target.string() +
                     " kann nicht geschrieben werden: " + ec.message());
  } catch (...) {
    fs::remove(temp, ec);
    throw;
  }
  return summary;
}

std::string SummaryText(const std::string& svg_path, const MapSummary& s) {
  std::string text = "Karte " + svg_path + ": " + std::to_string(s.drawn) + " von " +
                     std::to_string(s.objects) + " Objekten gezeichnet (";
  bool first = true;
  for (Status st : kLegendOrder) {
    size_t n = s.by_status[Index(st)];
    if (st == Status::kUnbekannt && n == 0) continue;
    text += (first ? "" : ", ") + std::to_string(n) + " " + std::string(kWords[Index(st)]);
    first = false;
  }
  text += "), " + std::to_string(s.marked) + " mit Änderungsmarke";
  if (!s.has_transaction_list) text += "; keine Transaktionsliste";
  return text + ".";
}

}  // namespace kartenbild
