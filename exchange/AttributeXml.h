// The host's attribute file, as its XML export writes it and its XML import
// reads it: one element "Objekt" per object under the root, with the
// attributes "Kennung", "Klasse", "Typ" and "KARTULID", and one element
// "Feld" (attribute "Name", the value as text) per field. Read with a real
// XML parser (platform/xml), so comments, CDATA sections and another layout
// of the same data are read as what they are.
//
// Errors are platform::xml::XmlError in German, naming the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace AttributeXml {

struct Object {
  std::string Kennung;
  int32_t Klasse = 0;
  int32_t Typ = 0;
  int32_t id = 0;  // KARTULID as the file gives it; 0 none
  // Name and text of each field, in the file's order (with_fields only).
  std::vector<std::pair<std::string, std::string>> fields;
};

// Hands each object of the file to `each`, in the file's order, without
// holding the others: a host's export of every object may be large. The
// object lives until `each` returns. An object without an identifier is an
// error naming its number.
void ForEachObject(std::string_view xml, const std::string& file, bool with_fields,
                   const std::function<void(const Object&)>& each);

// The objects of the file in its order, as ForEachObject reads them.
std::vector<Object> ReadObjects(std::string_view xml, const std::string& file, bool with_fields);

// A copy of the file with only the objects whose identifier keep() takes.
std::string KeepObjects(std::string_view xml, const std::string& file,
                        const std::function<bool(const std::string& Kennung)>& keep);

}  // namespace AttributeXml
