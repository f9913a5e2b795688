// The project's identity file: made once and kept, the same id for every
// reader, a damaged file told as such and replaced only when asked to make
// one.
#include "context/ProjectIdentity.h"

#include <gtest/gtest.h>

#include "platform/env/MemEnv.h"

namespace {

using platform::env::MemEnv;
using platform::env::ScopedEnv;

TEST(ProjectIdentityTest, MadeOnceAndReadAsWrittenByEveryOne) {
  MemEnv env;
  ScopedEnv scoped(env);
  env.CreateFolder("/p");
  std::string problem;
  EXPECT_FALSE(ProjectIdentity::Read("/p/", problem));
  EXPECT_EQ(problem, "") << "a missing file is no problem";
  const std::string id = ProjectIdentity::Ensure("/p/");
  EXPECT_TRUE(ProjectIdentity::IsId(id)) << id;
  EXPECT_EQ(ProjectIdentity::Ensure("/p/"), id);
  EXPECT_EQ(ProjectIdentity::Read("/p/", problem), id);
  // Another project gets another id.
  env.CreateFolder("/q");
  EXPECT_NE(ProjectIdentity::Ensure("/q/"), id);
}

TEST(ProjectIdentityTest, ADamagedFileIsToldAndReplacedWhenAnIdIsNeeded) {
  MemEnv env;
  ScopedEnv scoped(env);
  env.CreateFolder("/p");
  const std::string id = ProjectIdentity::Ensure("/p/");
  for (const std::string& damage : {std::string(), std::string("VANDRA-PROJEKT\t1\n") + "xyz\n",
                                    "VANDRA-PROJEKT\t1\n" + id.substr(0, 31) + "G\n"}) {
    platform::env::ReplaceFile(env, "/p/TA_PROJEKT.id", damage);
    std::string problem;
    EXPECT_FALSE(ProjectIdentity::Read("/p/", problem));
    EXPECT_EQ(problem, "Die Datei /p/TA_PROJEKT.id enthält keine Kennung eines Projekts.");
  }
  const std::string made = ProjectIdentity::Ensure("/p/");
  EXPECT_TRUE(ProjectIdentity::IsId(made));
  EXPECT_NE(made, id);
}

}  // namespace
