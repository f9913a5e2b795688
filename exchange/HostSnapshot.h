// What the host holds of every object, taken through the host's own file
// exchange: its geodata export (identifier, class, draw type, object id and
// the exact geometry of each object) and its attribute export (the object's
// "linfos" row), both of every object, written into a folder of its own in
// the project folder and removed again. The host API has no other way to
// hand over an object's geometry and all its attribute fields, and this one
// works with any host that exports as it is documented to.
//
// Each object gets two fingerprints, one of its geometry (draw type and the
// shape record as written) and one of its attributes (class number and every
// field but the host's object id, which changes when an object is loaded
// anew). The attribute file is read with an XML parser (AttributeXml.h), and
// a field's value is hashed in the form the host's export writes it (see
// XmlObjects), so that fingerprints stored by earlier imports, which were
// taken from the file's text as it stood, still compare.
// The fingerprints are kept in the dBase table TA_FP beside the transaction
// tables: the import stores those of the package's objects once the host
// has loaded them, and the preflight compares them with the objects' own,
// so that a change made without a change mark is found before the package
// leaves.
//
// Errors are thrown as SnapshotError with a text for the mapper that names
// the file (and the record) that failed.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace HostSnapshot {

class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A fingerprint as the table keeps it: 16 hexadecimal digits.
using Fingerprint = std::string;
// The same fingerprint as a number, as the record of bases keeps it.
using Print = uint64_t;

// What a mapper is told of a geometry: its vertices and, for an area, its
// area in square map units.
struct ShapeSummary {
  int32_t vertices = 0;
  double area = 0;
};
// The summary of a shape record's content (ShapeRecords); an empty one for
// a record that is cut short.
ShapeSummary SummaryOf(std::string_view record);

struct HostObject {
  int32_t id = 0;
  std::string Kennung;
  int32_t Klasse = 0;
  int32_t Typ = 0;
  Fingerprint geometry;
  Fingerprint attributes;
  ShapeSummary shape;
};

// The host's export of every object into base + ".shp" (and the layers
// beside it) and base + ".xml", the change-mark flag set meanwhile: the
// host's exports may post rows, and those are no edits of the mapper's.
// What the host refused, if it refused: each caller words it for its own
// mapper.
enum class ExportRefused { kNone, kGeodata, kAttributes };
ExportRefused ExportProject(const std::string& base);

// Every object of the host: those with a geometry in the order of the
// geodata layers, then those the host exports without one (the attribute
// export lists every object, the geodata export only those with a shape).
std::vector<HostObject> TakeSnapshot();

// One object of an attribute file with a fingerprint of each field's value,
// taken as XmlObjects takes the object's (the value as the host's export
// writes it, the host's object id left out), for the re-import's merge: a
// value written otherwise is the same value, one changed character is not.
struct FieldPrints {
  std::string Kennung;
  int32_t Klasse = 0;
  std::vector<std::pair<std::string, Print>> fields;  // in the file's order
  // The fields' texts, in the same order, where they were asked for.
  std::vector<std::string> values;
};

// The same, with the per-field prints of the objects `fields_wanted` takes
// (none when it is empty), from the same export. The export goes into a
// scratch folder of the project folder, or into `folder` (made and removed
// again), which an import keeps in its own folder so that a kill leaves
// nothing of it outside.
struct Snapshot {
  std::vector<HostObject> objects;
  std::vector<FieldPrints> fields;
};
Snapshot TakeSnapshot(const std::function<bool(const std::string&)>& fields_wanted,
                      const std::string& folder = {}, bool with_values = false);

// ---- The readers of the host's files (no I/O) ------------------------------------

// The 64-bit FNV-1a hash of the bytes, as 16 hexadecimal digits, and as
// the number.
Fingerprint HashOf(std::string_view bytes);
Print PrintOf(std::string_view bytes);
// A fingerprint's number; 0 for a text that is no fingerprint (16
// hexadecimal digits), which no hash of these files gives in practice.
Print ValueOf(const Fingerprint& fingerprint);

// The records of a shapefile's main file, each record's content (shape
// type, bounds, parts and points) as the file holds it. Throws naming
// `file` and the record when the file is cut short or damaged.
std::vector<std::string> ShapeRecords(std::string_view bytes, const std::string& file);

// One object of the attribute export: what its tag says, and the
// fingerprint of its class and its fields (the field KARTULID left out).
struct XmlObject {
  std::string Kennung;
  int32_t Klasse = 0;
  int32_t Typ = 0;
  int32_t id = 0;
  Fingerprint attributes;
};

// The attribute export's objects in the file's order. A field's value is
// hashed with "&", "<", ">" and the carriage return as references and all
// else as it is: the text the host writes for it, whether the file holds it
// so or as a CDATA section or other references. Throws naming `file` when the
// file is no well-formed XML or an object carries no identifier.
std::vector<XmlObject> XmlObjects(std::string_view xml, const std::string& file);

// One record of a layer of geodata as the host exports it (the shape in the
// main file, identifier, class, type and object id in its table), with the
// fingerprint of its geometry (draw type and shape record as written).
struct ShapePrint {
  int32_t id = 0;
  std::string Kennung;
  int32_t Klasse = 0;
  int32_t Typ = 0;
  Fingerprint geometry;
  ShapeSummary shape;
};

// The records of the layers (names without extension, in `folder`), layer
// by layer in record order: the host's export of the project, or a
// package's geodata, which the host wrote the same way. Throws
// SnapshotError naming the file and the record that cannot be read, or the
// layer whose table and shapes do not match.
std::vector<ShapePrint> GeometryPrints(const std::string& folder,
                                       const std::vector<std::string>& layers);

// The per-field prints (FieldPrints above) of the objects of an attribute
// file that `wanted` takes, in the file's order; the others are read
// without being held. Throws SnapshotError as XmlObjects does.
std::vector<FieldPrints> XmlFieldPrints(std::string_view xml, const std::string& file,
                                        const std::function<bool(const std::string&)>& wanted,
                                        bool with_values = false);

// ---- The fingerprint table TA_FP -------------------------------------------------

// A fingerprint row: the object's geometry and attributes at the import.
struct Stored {
  int32_t TID = 0;
  Fingerprint geometry;
  Fingerprint attributes;
};

// The table's path in the project folder, and whether it is there.
std::string FingerprintTablePath();
bool FingerprintTableExists();

// Stores the fingerprints of the identifiers (each with its transaction)
// from the snapshot, replacing the rows stored for them before; an
// identifier the host has no object for loses its row. Creates the table
// when it is missing. Throws SnapshotError or the driver's DbError.
void StoreFingerprints(const std::vector<std::pair<std::string, int32_t>>& kennungen,
                       const std::vector<HostObject>& snapshot);

// The stored rows by identifier. Throws SnapshotError naming the table
// when it cannot be read or lacks its columns.
std::unordered_map<std::string, Stored> ReadFingerprints();

}  // namespace HostSnapshot
