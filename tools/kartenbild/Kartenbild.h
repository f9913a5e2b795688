// The status map of a project: every object of the host's project database
// drawn by its geometry as SVG, coloured by its editing status in the
// transaction list and marked when it carries a change mark, with a legend
// and the transactions' names. The mapper opens it in a browser to see at a
// glance what is checked out, what is new, what was deleted and what still
// has to go back to the central system.
//
// The map reads only what any host writes, never a host's own storage: the
// host's export of every object, its geodata (`export_base` + ".shp" for the
// areas and "_lin", "_pkt", "_mpt" for lines, points and multipoints, each
// table with the field KENNUNG, as ktExportGeodaten writes them) and its
// attribute file (`export_base` + ".xml", as ktExportDataXML writes it, which
// lists every object, also one without geometry), and from the project
// folder the transaction tables TA_LIST.dbf and TA_ID.dbf and the project's
// name in KTProjekt.ktp. Nothing is written to the project. An object's
// status is the one of the first TA_LIST row with its identifier, as the
// status display finds it.
//
// The SVG is streamed out while the shapes are read, two passes over the
// geodata (the first finds the extent, the counts and what cannot be drawn,
// the second draws), so the memory it needs grows with the lists of
// identifiers, not with the drawing.
#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kartenbild {

// What a mapper is told when the map cannot be made, in German, naming the
// file (and the record and field where there is one).
class MapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The colours of the map, one per editing status; kOhne is an object that no
// TA_LIST row names, kUnbekannt a row with a status code outside 0 to 3.
enum class Status { kLesend, kSchreibend, kNeu, kGeloescht, kOhne, kUnbekannt };
inline constexpr size_t kStatusCount = 6;

// "lesend", "schreibend", "neu", "gelöscht", "ohne Transaktion", "Unbekannt".
std::string_view StatusWord(Status status);
// The fill colour of the status, "#rrggbb".
std::string_view StatusColour(Status status);
// The outline of an object that carries a change mark.
inline constexpr std::string_view kMarkColour = "#ff7f0e";

struct MapSummary {
  size_t objects = 0;  // objects of the host's exports
  size_t drawn = 0;
  std::array<size_t, kStatusCount> by_status{};  // drawn objects per status
  size_t marked = 0;                             // drawn objects with a change mark
  size_t not_drawn = 0;                          // objects without drawable geometry
  size_t listed_absent = 0;                      // TA_LIST rows whose identifier no object has
  bool has_transaction_list = false;
};

// Writes the map of the project in `project_dir`, whose objects the host
// exported to `export_base` (with or without ".shp"), to `out`. Throws
// MapError when the project, the host's exports or the transaction tables
// cannot be read; `out` may then hold part of a map.
MapSummary WriteMap(const std::string& project_dir, const std::string& export_base,
                    std::ostream& out);

// Writes the map into the file `svg_path`: into a temporary file beside it
// first, which replaces the file only when the map is complete, so a failed
// run leaves an earlier map as it was. Throws MapError.
MapSummary WriteMapFile(const std::string& project_dir, const std::string& export_base,
                        const std::string& svg_path);

// One line for the mapper: the file, the objects drawn per status, the marks.
std::string SummaryText(const std::string& svg_path, const MapSummary& summary);

}  // namespace kartenbild
