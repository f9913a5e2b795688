// The host's file exchange: shapefiles of the objects' geometry with their
// identifiers, and the attribute rows of "linfos" as XML, written from and
// read into the open project. Objects read from files are created without
// the creation hooks, as the host does for geodata and attribute files;
// every load is one database transaction.
//
// Geodata: base + ".shp" holds the areas and is always written; lines go to
// base + "_lin.shp", single points and texts to base + "_pkt.shp",
// multipoints to base + "_mpt.shp", each when there are such objects; a
// layer of an earlier export that this one does not write is removed. The
// .dbf of each has KENNUNG (C 50, ANSI), KLASSE, TYP and KARTULID.
//
// Attributes: <KartulDaten Tabelle="linfos" Wahr=".." Falsch=".."> with one
// <Objekt Kennung=".." Klasse=".." Typ=".." KARTULID=".."> per object and a
// <Feld Name="..">text</Feld> per field, UTF-8.
//
// Keeps no state of its own. It holds references to the project (objects
// and their storage), the table cursors (the linfos rows) and the plug-in
// host (notes); none of them knows the exchange.
#pragma once

#include <string>

namespace hostsim {

class PluginHost;
class Project;
class TableCursors;

class Exchange {
 public:
  Exchange(Project& project, TableCursors& tables, const PluginHost& plugin)
      : project_(project), tables_(tables), plugin_(plugin) {}
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  // Each answers false, with a note, when there is no project or the file
  // cannot be written or read; a file read in part leaves notes on what was
  // skipped. all_objects writes every object, else the selection.
  bool ExportGeodata(const std::string& file, bool all_objects);
  // Objects whose identifier exists already are kept unless replace_existing.
  bool ImportGeodata(const std::string& file, bool replace_existing);
  bool ExportXml(const std::string& file, bool all_objects, bool with_empty_fields,
                 const std::string& true_text, const std::string& false_text);
  // Objects named but missing are created (under their identifiers, without
  // geometry) when create_missing, else skipped.
  bool ImportXml(const std::string& file, bool create_missing);

 private:
  Project& project_;
  TableCursors& tables_;
  const PluginHost& plugin_;
};

}  // namespace hostsim
