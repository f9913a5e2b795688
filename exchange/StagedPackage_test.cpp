// The staged package's contract held to every step of its move: a package
// is moved over an earlier one on an in-memory file system while each call
// that changes or syncs the file system fails in turn. Whatever fails, the
// folder is either as it was or told incomplete, never a mix that passes as
// whole; and without a failure it holds the new package with the earlier
// .tid's keys.
#include "exchange/StagedPackage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"

namespace {

namespace env = platform::env;

const Package::Names kTarget{"/aus/", "paket"};

void Put(env::Env& e, const std::string& path, const std::string& content) {
  env::ReplaceFile(e, path, content);
}

// Every file under the folder with its content, the staging folder left
// out; folders end in "/".
std::map<std::string, std::string> Tree(env::Env& e, const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const std::string& name : e.ListFolder(folder)) {
    if (name == "paket_Export.tmp") continue;
    const std::string path = env::JoinPath(folder, name);
    if (e.Stat(path)->IsFolder()) {
      tree[name + "/"] = "";
      for (const auto& [inner, content] : Tree(e, path)) tree[name + "/" + inner] = content;
    } else {
      tree[name] = env::ReadFile(e, path);
    }
  }
  return tree;
}

// An earlier package in /aus, a file of another package beside it, and a
// new package written into the staging folder.
void Prepare(env::MemEnv& mem, StagedPackage::Staging& staging) {
  const Package::Names& staged = staging.Staged();
  Package::WriteTidFile(staged.TidFile(), 4711, 3);
  Put(mem, staged.XmlFile(), "neu");
  Put(mem, staged.ShpFile(), "neu");
  mem.CreateFolder(staged.PhotoFolder());
  Put(mem, staged.PhotoFolder() + "/KTFoto1.jpg", "neu");
}

void Earlier(env::MemEnv& mem) {
  mem.CreateFolder("/aus");
  Put(mem, "/aus/paket.tid", "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue\r\n");
  Put(mem, "/aus/paket.xml", "alt");
  Put(mem, "/aus/paket.shp", "alt");
  Put(mem, "/aus/paket_lin.shp", "alt");
  Put(mem, "/aus/paketx.shp", "fremd");
  mem.CreateFolder("/aus/paket_Fotos");
  Put(mem, "/aus/paket_Fotos/KTFoto1.jpg", "alt");
  Put(mem, "/aus/paket_Fotos/KTFoto7.jpg", "alt");
}

// The folder once the new package is in.
const std::map<std::string, std::string> kWhole = {
    {"paket.tid", "[Transaktionsdaten]\r\nTransaktion=4711\r\nName=Ruhraue\r\nGK-Streifen=3\r\n"},
    {"paket.xml", "neu"},
    {"paket.shp", "neu"},
    {"paketx.shp", "fremd"},
    {"paket_Fotos/", ""},
    {"paket_Fotos/KTFoto1.jpg", "neu"},
    {"paket_Fotos/KTFoto7.jpg", "alt"}};

TEST(StagedPackageTest, TheNewPackageReplacesTheEarlierOneWithItsTidKeys) {
  env::MemEnv mem;
  env::ScopedEnv scoped(mem);
  Earlier(mem);
  StagedPackage::Staging staging(kTarget);
  Prepare(mem, staging);
  staging.Commit();
  EXPECT_EQ(Tree(mem, "/aus"), kWhole);
  EXPECT_FALSE(mem.Stat(kTarget.StagingFolder()));
  EXPECT_EQ(Package::IncompletePackage(kTarget), std::nullopt);
}

TEST(StagedPackageTest, AFailureAtAnyStepLeavesTheFolderAsItWasOrToldIncomplete) {
  const env::Op ops[] = {env::Op::kRename,     env::Op::kRemove,          env::Op::kRemoveFolder,
                         env::Op::kSyncFolder, env::Op::kSyncFileSystem,  env::Op::kOpen,
                         env::Op::kWrite,      env::Op::kCreateTemporary, env::Op::kList,
                         env::Op::kStat};
  int as_it_was = 0, incomplete = 0, whole = 0;
  for (const env::Op op : ops) {
    for (int after = 0; after < 40; ++after) {
      env::MemEnv mem;
      std::map<std::string, std::string> before;
      std::optional<StagedPackage::Staging> staging;
      {
        env::ScopedEnv scoped(mem);
        Earlier(mem);
        staging.emplace(kTarget);
        Prepare(mem, *staging);
        before = Tree(mem, "/aus");
      }
      env::FaultEnv faults(mem);
      faults.Inject(env::Fault(op, EIO).After(after));
      env::ScopedEnv scoped(faults);
      const std::string at =
          "op " + std::to_string(static_cast<int>(op)) + " after " + std::to_string(after);
      try {
        staging->Commit();
      } catch (const std::exception& error) {
        faults.Clear();
        // What a reader that knows nothing of the staging sees: with the
        // .tid, one package whole, the earlier or the new.
        const std::map<std::string, std::string> tree = Tree(mem, "/aus");
        if (tree.count("paket.tid") != 0) {
          EXPECT_TRUE(tree == before || tree == kWhole) << at << ": " << error.what();
        }
        if (staging->Begun()) {
          EXPECT_NE(Package::IncompletePackage(kTarget), std::nullopt)
              << at << ": " << error.what();
          ++incomplete;
        } else {
          EXPECT_EQ(Tree(mem, "/aus"), before) << at << ": " << error.what();
          ++as_it_was;
        }
        staging.reset();
        // The next export of the prefix clears what the cut one left.
        StagedPackage::RemoveLeftovers(kTarget);
        EXPECT_FALSE(mem.Stat(kTarget.StagingFolder())) << at;
        continue;
      }
      faults.Clear();
      EXPECT_EQ(Tree(mem, "/aus"), kWhole) << at;
      EXPECT_EQ(Package::IncompletePackage(kTarget), std::nullopt) << at;
      ++whole;
      staging.reset();
    }
  }
  // Each way out was taken.
  EXPECT_GT(as_it_was, 0);
  EXPECT_GT(incomplete, 0);
  EXPECT_GT(whole, 0);
}

TEST(StagedPackageTest, AnExportThatFailsBeforeItsMoveLeavesTheFolderAsItWas) {
  env::MemEnv mem;
  env::ScopedEnv scoped(mem);
  Earlier(mem);
  const std::map<std::string, std::string> before = Tree(mem, "/aus");
  {
    StagedPackage::Staging staging(kTarget);
    Prepare(mem, staging);
  }
  EXPECT_EQ(Tree(mem, "/aus"), before);
}

}  // namespace
