// The check of one exchange package as the central system's check-in makes
// it before taking the package in: the transaction file names a
// transaction, the action table holds only the export's codes, every new or
// changed object is in the attribute file and in the geodata, every deleted
// one is in neither, every photo row's picture is in the photo folder, and
// every table can be read. The files must also agree with each other, as
// the files of one export do: the change list is whole and names the same
// new, changed and deleted objects as the action table, and the attribute
// file and the geodata hold no object the action table does not report as
// new or changed. A package cut while it was written, or put together from
// two exports, fails here even when each file is readable on its own.
//
// The package's file names are those the plug-in's export writes; they are
// spelt here again because this program is no part of the plug-in. Files
// are found without regard to case, as packages come from Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env/Env.h"

namespace vandrasim {

// What a finding is counted as in the log's two marker lines.
enum class FindingKind {
  kSachdaten,  // tables, attribute file, photos, transaction file, login
  kGrafik,     // the geodata
};

// One finding, one line of the log. A finding about an object begins with
// "Objekt <identifier>: ", so that a reader can take the identifier back
// from the line; others begin with the file they are about.
struct Finding {
  FindingKind kind = FindingKind::kSachdaten;
  std::string text;  // UTF-8
  bool operator==(const Finding&) const = default;
};

// The names of the package files in `folder` (no trailing delimiter) under
// `prefix`, as the export writes them.
struct PackageNames {
  std::string folder;
  std::string prefix;

  std::string TidName() const { return prefix + ".tid"; }
  std::string XmlName() const { return prefix + ".xml"; }
  std::string ChangeListName() const { return prefix + "_rp.txt"; }
  // The geodata layers: areas (always written), lines, points, multipoints.
  std::vector<std::string> GeodataBases() const;
  // The action table's file under its full name, and under the first eight
  // characters of it, where the full build creates it.
  std::string ActionTableName() const { return prefix + "_aktion.dbf"; }
  std::string ActionTableShortName() const;
  std::string PhotoTableName() const { return prefix + "pc.dbf"; }
  std::string PhotoMemoName() const { return prefix + "pc.dbt"; }
  std::string PhotoFolderName() const { return prefix + "_Fotos"; }
  std::string LogName() const { return prefix + ".log"; }
};

struct PackageReport {
  // The transaction the .tid names; nothing when it names none.
  std::optional<int64_t> transaktion;
  std::vector<Finding> findings;
  // The package's files that exist (paths), for the store's copy: the
  // photo folder's pictures that photo rows name among them.
  std::vector<std::string> files;
};

// Checks the package; never throws for anything the package holds (a file
// that cannot be read is a finding naming it).
PackageReport CheckPackage(platform::env::Env& env, const PackageNames& names);

// The identifiers of the objects of an attribute file (<Objekt Kennung="..">
// anywhere in the document), `file` naming it in errors. Throws
// std::runtime_error naming the line when the text is no well-formed XML (or
// carries a document type definition), and naming the object when it has no
// identifier.
std::vector<std::string> XmlObjectKennungen(std::string_view text, const std::string& file);

}  // namespace vandrasim
