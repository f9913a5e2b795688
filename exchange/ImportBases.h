// The record the re-import's merge (ImportMerge.h) compares with: per
// object the import loaded, the fingerprint of each field as the package
// gave it and as the host held it right after the load. Fingerprints, not
// copies, so that the record grows with the project's objects and not with
// the number of imports; an import replaces the entries of the objects it
// loads and keeps the others.
//
// The file "TA_BASIS.dat" lies in the project folder beside the transaction
// tables. It is binary, little-endian, written whole by ReplaceFile (so it
// is there whole or not at all):
//   "VANDRA-BASIS" 1                   magic and version
//   <n> (<len> <name>)*n               the field names, each once
//   <m> objects, each:
//     <len> <Kennung> <TID> <Klasse> <k> fields, each:
//       <name index> <package: 8 bytes> <same: 1 byte> [<host: 8 bytes>]
//   <FNV-1a 64 of all bytes before: 8 bytes>
// Counts, lengths and indexes are unsigned LEB128, TID and Klasse zigzag
// LEB128. `same` is 1 where the host held the value as the package gave it
// (most fields), and the host's fingerprint follows only where it is 0.
//
// Errors: a file that is cut short, damaged or of another version is no
// record; Decode throws BasesError naming the file and the entry.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace platform::env {
class Env;
}

namespace ImportBases {

inline constexpr std::string_view kFileName = "TA_BASIS.dat";

class BasesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A field's fingerprints (HostSnapshot::Print) as the package gave it and
// as the host held it.
struct FieldBase {
  std::string name;
  uint64_t package = 0;
  uint64_t host = 0;
  bool operator==(const FieldBase&) const = default;
};

struct ObjectBase {
  std::string Kennung;
  int32_t TID = 0;
  int32_t Klasse = 0;
  std::vector<FieldBase> fields;
  bool operator==(const ObjectBase&) const = default;
};

std::string Encode(const std::vector<ObjectBase>& objects);
std::vector<ObjectBase> Decode(std::string_view bytes, const std::string& file);

// The record after an import: the entries of the `replaced` identifiers
// give way, the others stay in their order, and `loaded` follows.
std::vector<ObjectBase> Replace(std::vector<ObjectBase> record,
                                const std::unordered_set<std::string>& replaced,
                                std::vector<ObjectBase> loaded);

// The record in `path`; nothing when there is no such file. Throws
// BasesError when it cannot be read or is no record.
std::optional<std::vector<ObjectBase>> Read(platform::env::Env& env, const std::string& path);
// Throws BasesError naming the file when it cannot be written; the old file
// is then as it was.
void Write(platform::env::Env& env, const std::string& path,
           const std::vector<ObjectBase>& objects);

}  // namespace ImportBases
