// A real project for the plug-in's tests: a fresh project folder created and
// opened by the host stand-in, a registry file of the test's own, and the
// scripted presenter answering every message box and form. Each test starts
// with the plug-in state of a freshly loaded library.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "context/BuildProfile.h"
#include "hostsim/HostModel.h"
#include "platform/ui/ScriptedPresenter.h"

namespace testsupport {

class ProjectFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  hostsim::Host& host() { return hostsim::TheHost(); }
  const std::string& ProjectDir() const { return project_dir_; }
  const std::string& Root() const { return root_; }

  // Appends actions for the scripted presenter (answer-file syntax).
  void Answer(const std::string& script);
  // The transcript of everything shown so far, and a fresh start of it.
  std::string Shown() const;
  void ClearShown();
  // Texts of the message boxes shown so far, in order.
  std::vector<std::string> Messages() const;
  // Expects that no failures and no unused answers are left.
  void ExpectAllAnswered();

  void SetApplicatIni(const std::string& section, const std::string& key, const std::string& value);

  // The transaction tables of an import: TA_LIST, TA_ID and TA_KL, with
  // rows given as SQL value lists.
  void CreateTransactionTables();
  void AddTransaction(int tid, const std::string& name, const std::string& owner = "Betreuer");
  void AddRow(int tid, int kartulid, int schreibend, const std::string& kennung,
              const std::string& changed = "IGNORED", const std::string& kennungo = "");
  void AddFree(int tid, const std::string& kennung);

  // Every object of the host as text, one line each, in the order of the
  // identifiers: identifier, class, draw type, geometry, its linfos fields
  // and its rows of Objektphotos and Pflanzenliste; the object ids left out,
  // so that an object loaded anew reads as it did.
  std::string HostObjects();

  // Creates an object in the host without going through the plug-in.
  int32_t MakeObject(const std::string& class_short_name, const std::string& kennung);
  int32_t ClassId(const std::string& short_name);

  platform::ui::ScriptedPresenter* presenter_ = nullptr;

 private:
  std::string root_;
  std::string project_dir_;
  std::shared_ptr<platform::ui::Transcript> transcript_;
};

// Rows of a dBase file as an independent reader (Python's dbfread) sees
// them: field name to text, deleted records left out.
std::vector<std::map<std::string, std::string>> ReadDbf(const std::string& path);

// The file of a transaction table ("TA_LIST") in the project folder, in the
// letter case the running build wrote it.
std::string TableFile(const std::string& project_dir, const std::string& table);

// A TA_LIST row as "KENNUNG TID SCHREIBEND CHANGED KENNUNGO" for compact checks.
std::vector<std::string> ListRows(const std::string& project_dir);
// TA_KL as "TID KENNUNG".
std::vector<std::string> PoolRows(const std::string& project_dir);

// Runs a command and returns its standard output.
std::string RunCommand(const std::string& command);

std::string MakeTempDir();
void RemoveTree(const std::string& path);

}  // namespace testsupport
