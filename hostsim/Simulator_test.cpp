#include "hostsim/Simulator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace hostsim {
namespace {

TEST(SplitWords, QuotesAndEscapes) {
  EXPECT_EQ(SplitWords("  set linfos  NAME \"Moor am See\" "),
            (std::vector<std::string>{"set", "linfos", "NAME", "Moor am See"}));
  EXPECT_EQ(SplitWords(R"(expect message "Zeile\r\nzwei \"x\" \\ \t")"),
            (std::vector<std::string>{"expect", "message", "Zeile\r\nzwei \"x\" \\ \t"}));
  EXPECT_EQ(SplitWords(R"(a "" b)"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitWords(R"(pre"fix"post)"), (std::vector<std::string>{"prefixpost"}));
  EXPECT_THROW(SplitWords("set \"open"), HostError);
}

TEST(ExpandVariables, KnownAndUnknownNames) {
  std::map<std::string, std::string> vars = {{"TEMP", "/tmp/x"}};
  EXPECT_EQ(ExpandVariables("open ${TEMP}/p $ {TEMP}", vars), "open /tmp/x/p $ {TEMP}");
  EXPECT_THROW(ExpandVariables("${NOPE}", vars), HostError);
  EXPECT_THROW(ExpandVariables("${TEMP", vars), HostError);
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hostsim-sim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    options_.temp_dir = pattern;
    options_.transcript_path = options_.temp_dir + "/transcript.txt";
    options_.answers_path = options_.temp_dir + "/answers.txt";
    TheHost().UseVirtualClock(true);
  }
  void TearDown() override {
    TheHost().CloseProject();
    std::filesystem::remove_all(options_.temp_dir);
  }
  bool Run(const std::string& scenario) {
    Simulator sim(TheHost(), out_, options_);
    std::istringstream in(scenario);
    return sim.RunBatch(in, "test");
  }
  SimOptions options_;
  std::ostringstream out_;
};

TEST_F(SimulatorTest, ExpectationsPassAndFail) {
  EXPECT_TRUE(Run(
      "new-project ${TEMP}/p\ncreate ND point 1 2 as \"ND 1\"\nexpect exists \"ND 1\"\n"
      "expect objects 1\nexpect easting \"ND 1\" 1\nselect \"ND 1\"\nexpect selection \"ND 1\"\n"
      "fails create ND point 1 2 as \"ND 1\"\n"))
      << out_.str();
  EXPECT_FALSE(Run("open ${TEMP}/p\nexpect objects 2\necho never\n"));
  EXPECT_EQ(out_.str().find("never"), std::string::npos);
  EXPECT_NE(out_.str().find("test:2: error: expectation failed: 1 objects, not 2"),
            std::string::npos)
      << out_.str();
}

TEST_F(SimulatorTest, BadInputFailsWithAClearMessage) {
  for (const char* bad : {"frobnicate", "new-project ${TEMP}/q\ndelete NOPE",
                          "new-project ${TEMP}/r\ncreate XYZ area 0 0 1 0 1 1",
                          "new-project ${TEMP}/s\ncreate ND point 1", "fails echo fine",
                          "new-project ${TEMP}/t\nrun AssignToTransaction"}) {
    out_.str("");
    EXPECT_FALSE(Run(bad)) << bad;
    EXPECT_NE(out_.str().find("error: "), std::string::npos) << out_.str();
    TheHost().CloseProject();
  }
}

TEST_F(SimulatorTest, TranscriptIsShownCheckedAndUnexpectedDialogsFail) {
  std::ofstream(options_.transcript_path)
      << "message warning OK: Kein aktives Objekt gefunden!\n  answer OK\n"
      << "form TFormGetTID \"Transaktion\"\n  result OK\n"
      << "message information OK: Zeile 1\\r\\nZeile 2\n  answer OK\n";
  EXPECT_TRUE(
      Run("expect message warning \"Kein aktives Objekt gefunden!\"\nexpect form TFormGetTID\n"
          "expect message \"Zeile 1\\r\\nZeile 2\"\n"))
      << out_.str();
  EXPECT_NE(out_.str().find("  | form TFormGetTID"), std::string::npos);
  out_.str("");
  std::ofstream(options_.transcript_path, std::ios::app) << "UNEXPECTED message warning OK: Huch\n";
  EXPECT_FALSE(Run("echo x\n"));
  EXPECT_NE(out_.str().find("unexpected dialog"), std::string::npos) << out_.str();
}

TEST_F(SimulatorTest, AnswersAreAppendedVerbatim) {
  EXPECT_TRUE(Run("answer message Yes \"Weiter?\"\nanswer select lbTransActions #0\n"));
  std::ifstream in(options_.answers_path);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "message Yes \"Weiter?\"\nselect lbTransActions #0\n");
}

TEST_F(SimulatorTest, ProgramsRunWithTheirOutputKeptAndTheirEndJudged) {
  EXPECT_TRUE(Run("let W \"zwei Worte\"\nexec /usr/bin/printf \"%s|%s\" \"${W}\" x\n"
                  "expect output \"zwei Worte|x\"\n"))
      << out_.str();
  EXPECT_FALSE(Run("exec /bin/sh -c \"exit 3\"\n"));
  EXPECT_NE(out_.str().find("ended with status 3"), std::string::npos);
  EXPECT_FALSE(Run("exec /bin/sh -c \"kill -9 $$\"\n"));
  EXPECT_NE(out_.str().find("was killed by signal 9"), std::string::npos) << out_.str();
  EXPECT_FALSE(Run("exec /gibts/nicht\n"));
  EXPECT_NE(out_.str().find("could not be started"), std::string::npos);
}

TEST_F(SimulatorTest, IncludedFilesRunBesideTheScenario) {
  std::ofstream(options_.temp_dir + "/teil.kts") << "let X eins\n";
  EXPECT_TRUE(Run("include " + options_.temp_dir + "/teil.kts\nexec /bin/echo ${X}\n"
                  "expect output \"eins\\n\"\n"))
      << out_.str();
  EXPECT_FALSE(Run("include /gibts/nicht.kts\n"));
}

}  // namespace
}  // namespace hostsim
