// The import's tests share one project of the host stand-in with a package
// beside it: the package's objects drawn in a project of the central
// system's own, its tables, photo list and picture; the mapper's day after
// a first import; and readers of what the project holds, independent of
// the plug-in's own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "context/PluginContext.h"
#include "exchange/ImportFuncs.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "platform/db/Connection.h"
#include "tests/support/JpegWriter.h"
#include "tests/support/ProjectFixture.h"
#include "transaction/TransActTools.h"

namespace importtest {

namespace fs = std::filesystem;
using platform::db::Connection;
using platform::db::Query;

class ImportTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    EnsureTableFotos();
    EnsureSubDirFotos();
    pkg_ = Root() + "/paket/";
    fs::create_directories(pkg_);
  }
  void TearDown() override {
    CloseFotoverwaltung();
    FreeControlForm();
    ProjectFixture::TearDown();
  }

  // Work in the central system's project (made when there is none), then
  // back in the mapper's, its connections opened anew.
  template <class Work>
  void InCentre(Work work) {
    const std::string project = ProjectDir();
    const std::string centre = Root() + "/zentrale/";
    host().CloseProject();
    if (!fs::exists(centre)) hostsim::Host::CreateProject(centre);
    host().OpenProject(centre);
    work();
    host().CloseProject();
    host().OpenProject(project);
    CloseFotoverwaltung();
    context::Current().Store().CloseAll();
  }

  // A package of transaction 7 under prefix `p` (file names in `p`'s case):
  // the host's geodata and attributes of DE-1 and DE-2 (and of `more`),
  // their list rows, two free identifiers and a photo with its picture.
  void WritePackage(const std::string& p = "abcdef", const std::vector<std::string>& more = {}) {
    fs::remove_all(pkg_);
    fs::create_directories(pkg_);
    // Drawn in a project of the central system's own.
    fs::remove_all(Root() + "/zentrale");
    InCentre([&] {
      MakeObject("FFH", "DE-1");
      host().Activate(host().IdOf("DE-1"));
      host().EnterValue("linfos", "NAME", "Ruhraue");
      host().PostRow("linfos");
      MakeObject("FFH", "DE-2");
      for (const std::string& K : more) MakeObject("FFH", K);
      host().ExportGeodata(pkg_ + p, true);
      host().ExportXml(pkg_ + p + ".xml", true, true, "T", "F");
    });

    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    const std::string t = p + (p == "ABCDEF" ? "T" : "t");
    package->Execute("create table \"" + t +
                     "\" (KENNUNG char(50), TID integer, KARTULID integer, VGNR integer, "
                     "SCHREIBEND integer)");
    package->Execute("insert into \"" + t + "\" values ('DE-1', 7, 11, 1, 1)");
    package->Execute("insert into \"" + t + "\" values ('DE-2', 7, 12, 1, 0)");
    for (const std::string& K : more) {
      package->Execute("insert into \"" + t + "\" values ('" + K + "', 7, 13, 1, 1)");
    }
    const std::string kl = p + (p == "ABCDEF" ? "KL" : "kl");
    package->Execute("create table \"" + kl + "\" (TID integer, Kennung char(50))");
    package->Execute("insert into \"" + kl + "\" values (7, 'DE-8')");
    package->Execute("insert into \"" + kl + "\" values (7, 'DE-9')");
    const std::string pc = p + (p == "ABCDEF" ? "PC" : "pc");
    package->Execute("create table \"" + pc +
                     "\" (PhotoID integer, Kurzname char(50),Datei char(50),RW integer,HW "
                     "integer,Richtung integer,Datum date,Quelle char(254),Beschr memo)");
    package->Execute("insert into \"" + pc +
                     "\" values (501, 'Gr\u201Dne Wiese', 'KTFOTO1.JPG', 2563000, 5700000, 90, "
                     "#5-3-2024#, 'Zentrale', 'am Bach')");
    std::ofstream(pkg_ + p + ".tid") << "[Transaktionsdaten]\r\nTransaktion=7\r\nName=Ruhr'aue\r\n"
                                     << "Owner=O'Neill\r\n";
    photos_ = pkg_ + p + (p == "ABCDEF" ? "_FOTOS" : "_Fotos");
    fs::create_directories(photos_);
    Put(photos_ + "/KTFOTO1.JPG", testsupport::EncodeJpeg(16, 12, 501));
  }

  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  // The last message box's text, its line breaks as the plug-in wrote them.
  std::string LastMessage() {
    const std::vector<std::string> all = Messages();
    if (all.empty()) return "";
    std::string text = all.back();
    for (size_t at = text.find("\\r"); at != std::string::npos; at = text.find("\\r", at + 1)) {
      text.replace(at, 2, "\r");
    }
    return text;
  }

  void PickFile(const std::string& name) { Answer("file \"" + pkg_ + name + "\""); }

  // Picks the file, then gives the answers for what the run will show.
  bool Import(const std::string& file = "abcdef.tid", const std::string& answers = "") {
    PickFile(file);
    if (!answers.empty()) Answer(answers);
    return ImportFuncs::VD1CustomImportProc();
  }

  std::vector<std::string> Photos() {
    std::vector<std::string> rows;
    Query q(EnsureFotoverwaltung().ProjectConnection(),
            "select FotoID, Kurzname, PicFileName, IsNew from Fotos order by FotoID");
    for (; !q.Eof(); q.Next())
      rows.push_back(q.AsString(0) + " " + q.AsString(1) + " " + q.AsString(2) + " " +
                     q.AsString(3));
    return rows;
  }

  // What a mapper sees of the project (the open one; its folder, unless
  // another is named): the tables' rows, the catalogue, the pictures and
  // the host's objects.
  std::string Project(const std::string& folder = "") {
    const std::string dir = folder.empty() ? ProjectDir() : folder;
    std::string text;
    // Rows taken back come again at the end of the file: their order is no
    // part of what the tables say.
    std::vector<std::string> rows = testsupport::ListRows(dir);
    std::sort(rows.begin(), rows.end());
    for (const std::string& row : rows) text += "list " + row + "\n";
    for (const std::string& row : testsupport::PoolRows(dir)) text += "pool " + row + "\n";
    if (fs::exists(testsupport::TableFile(dir, "TA_ID"))) {
      for (const auto& row : testsupport::ReadDbf(testsupport::TableFile(dir, "TA_ID"))) {
        text += "id " + row.at("TID") + " " + row.at("NAME") + "\n";
      }
    }
    for (const std::string& row : Photos()) text += "foto " + row + "\n";
    for (const auto& entry : fs::directory_iterator(dir + "KTPhotos")) {
      text += "bild " + entry.path().filename().string() + " " +
              std::to_string(std::hash<std::string>()(Get(entry.path().string()))) + "\n";
    }
    // The record of bases, byte for byte.
    if (fs::exists(dir + "TA_BASIS.dat")) {
      text += "basis " + std::to_string(std::hash<std::string>()(Get(dir + "TA_BASIS.dat"))) + "\n";
    }
    return text + HostObjects();
  }

  // Every file of a project folder with its bytes.
  std::map<std::string, std::string> ProjectFiles(const std::string& folder = "") {
    std::map<std::string, std::string> files;
    const std::string dir = folder.empty() ? ProjectDir() : folder;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      files[entry.path().string().substr(dir.size())] = Get(entry.path().string());
    }
    return files;
  }

  // The mapper's day on DE-1 and DE-2 after a first import: DE-1 edited and
  // marked, DE-2 given a local photo, a plant-list row and a remark.
  void MappersDay() {
    const int32_t one = host().IdOf("DE-1");
    host().Activate(one);
    host().EnterValue("linfos", "NAME", "Ruhraue, erweitert");
    host().PostRow("linfos");
    host().MoveVertex(one, 0, {3400001, 5800002});
    TransActTools::UpdateChangedFlag("DE-1", "UPDATE");
    EnsureFotoverwaltung().ProjectConnection().Execute(
        "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'Eiche', 3, "
        "'KTFoto2.jpg')");
    Put(ProjectDir() + "KTPhotos/KTFoto2.jpg", testsupport::EncodeJpeg(8, 8, 2));
    host().Activate(host().IdOf("DE-2"));
    host().AppendRow("Objektphotos");
    host().EnterValue("Objektphotos", "PhotoID", "-1");
    host().EnterValue("Objektphotos", "Bemerkung", "alte Eiche");
    host().PostRow("Objektphotos");
    host().AppendRow("Objektphotos");
    host().EnterValue("Objektphotos", "PhotoID", "501");
    host().PostRow("Objektphotos");
    host().AppendRow("Pflanzenliste");
    host().EnterValue("Pflanzenliste", "Art", "Quercus robur");
    host().EnterValue("Pflanzenliste", "Menge", "3");
    host().PostRow("Pflanzenliste");
  }

  std::string pkg_;
  std::string photos_;
};


}  // namespace importtest
