#include "hostsim/Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(SplitWords, TheEndOfTheFirstWordsAsTheyAreWritten) {
  const std::string line = R"(when "a \" b" = c answer x "y z")";
  EXPECT_EQ(line.substr(EndOfWords(line, 4)), R"( answer x "y z")");
  EXPECT_EQ(EndOfWords(line, 0), 0u);
  EXPECT_EQ(EndOfWords("a b", 5), 3u);
}

TEST(ExpandVariables, KnownAndUnknownNames) {
  std::map<std::string, std::string> vars = {{"TEMP", "/tmp/x"}};
  EXPECT_EQ(ExpandVariables("open ${TEMP}/p $ {TEMP}", vars), "open /tmp/x/p $ {TEMP}");
  EXPECT_THROW(ExpandVariables("${NOPE}", vars), HostError);
  EXPECT_THROW(ExpandVariables("${TEMP", vars), HostError);
}

// Help entries as the mapper reads them: a line per command at two blanks'
// indent, its description in the same line or in the next one.
std::vector<std::pair<std::string, std::string>> HelpEntries(const std::string& help) {
  std::vector<std::string> lines;
  std::istringstream in(help);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<std::pair<std::string, std::string>> entries;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.size() < 3 || l.compare(0, 2, "  ") != 0 || l[2] == ' ') continue;
    std::string usage = l.substr(2, l.find("  ", 2) - 2);
    std::string rest = l.size() > 2 + usage.size() ? l.substr(2 + usage.size()) : "";
    if (rest.empty() && i + 1 < lines.size()) rest = lines[i + 1];
    size_t b = rest.find_first_not_of(' ');
    entries.emplace_back(usage, b == std::string::npos ? "" : rest.substr(b));
  }
  return entries;
}

TEST(CommandTable, HelpListsEveryCommandWithItsDescription) {
  std::vector<std::string> names = Simulator::CommandNames();
  auto entries = HelpEntries(Simulator::Help());
  ASSERT_EQ(entries.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    const auto& [usage, description] = entries[i];
    EXPECT_EQ(usage.substr(0, usage.find(' ')), names[i]);
    EXPECT_FALSE(description.empty()) << names[i];
  }
  // The kinds of expect and show are listed under them.
  std::string help = Simulator::Help();
  EXPECT_NE(help.find("\n    output <text> "), std::string::npos) << help;
  EXPECT_NE(help.find("\n    rows <table> "), std::string::npos) << help;
}

TEST(CommandTable, CompletionOffersCommandsAndKinds) {
  std::vector<std::string> names = Simulator::CommandNames();
  EXPECT_EQ(Simulator::Completions(""), names);
  EXPECT_EQ(Simulator::Completions("fails "), names);
  EXPECT_EQ(Simulator::Completions("show "),
            (std::vector<std::string>{"objects", "selection", "classes", "hooks", "row", "rows"}));
  std::vector<std::string> kinds = Simulator::Completions("  expect ");
  for (const char* kind : {"selection", "value", "file", "message", "hooks", "output"})
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), kind), kinds.end()) << kind;
  EXPECT_TRUE(Simulator::Completions("open ").empty());  // a folder: readline's file names
  EXPECT_TRUE(Simulator::Completions("expect value ").empty());
  EXPECT_TRUE(Simulator::Completions("echo \"open ").empty());
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
                          "new-project ${TEMP}/s\ncreate ND point 1", "fails echo fine"}) {
    out_.str("");
    EXPECT_FALSE(Run(bad)) << bad;
    EXPECT_NE(out_.str().find("error: "), std::string::npos) << out_.str();
    TheHost().CloseProject();
  }
  // A hook with no plug-in to answer it (the host stays loaded for the
  // process: a suite before this one may have loaded one).
  if (!TheHost().HasPlugin()) {
    out_.str("");
    EXPECT_FALSE(Run("new-project ${TEMP}/t\nrun AssignToTransaction"));
    EXPECT_NE(out_.str().find("error: "), std::string::npos) << out_.str();
    TheHost().CloseProject();
  }
}

TEST_F(SimulatorTest, EveryCommandOfTheTableDispatches) {
  Simulator sim(TheHost(), out_, options_);
  for (const std::string& name : Simulator::CommandNames()) {
    out_.str("");
    sim.RunLine(name, "test");
    EXPECT_EQ(out_.str().find("unknown command"), std::string::npos) << out_.str();
  }
  out_.str("");
  // fails is a prefix the line loses, not a command of its own.
  EXPECT_TRUE(sim.RunLine("fails fails echo x", "test"));
  EXPECT_NE(out_.str().find("failed as expected: unknown command fails"), std::string::npos)
      << out_.str();
  EXPECT_FALSE(sim.RunLine("frobnicate now", "test"));
  EXPECT_NE(out_.str().find("test: error: unknown command frobnicate (try help)"),
            std::string::npos)
      << out_.str();
}

TEST_F(SimulatorTest, UsageAndUnknownKindsComeFromTheTables) {
  Simulator sim(TheHost(), out_, options_);
  for (auto [line, message] : std::vector<std::pair<const char*, const char*>>{
           {"move A 1", "usage: move <obj> <vertex> <x> <y>"},
           {"close now", "usage: close"},
           {"fails", "usage: fails <command...>"},
           {"show", "usage: show objects|selection|classes|hooks|row <table>|rows <table>"},
           {"show row", "usage: show row <table>"},
           {"show tables", "show what? objects, selection, classes, hooks, row, rows"},
           {"expect", "usage: expect <what> ..."},
           {"expect objects", "usage: expect objects <n>"},
           {"expect file x", "usage: expect file <path> exists|missing|contains <text>"},
           {"expect nothing", "expect what? selection, active, objects,"},
           {"export-xml f all T", "usage: export-xml <file> [all] [empty] [<true> <false>]"}}) {
    out_.str("");
    EXPECT_FALSE(sim.RunLine(line, "test")) << line;
    EXPECT_NE(out_.str().find(std::string("test: error: ") + message), std::string::npos)
        << out_.str();
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

TEST_F(SimulatorTest, AStepOfOneBuildRunsOnlyWhereTheTextsAreOne) {
  EXPECT_TRUE(
      Run("let BUILD TransactHooks\n"
          "when ${BUILD} = TransactHooks answer message Yes \"Weiter? \\\"ja\\\"\"\n"
          "when ${BUILD} = VD1TransAction answer message No nie\n"
          "when ${BUILD} = VD1TransAction expect objects 99\n"
          "when ${BUILD} = TransactHooks fails expect objects 99\n"))
      << out_.str();
  std::ifstream in(options_.answers_path);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "message Yes \"Weiter? \\\"ja\\\"\"\n");
  EXPECT_FALSE(Run("when a = a expect objects 99\n"));
  EXPECT_FALSE(Run("when a b c d\n"));
  EXPECT_NE(out_.str().find("usage: when <text> = <text> <command...>"), std::string::npos)
      << out_.str();
}

TEST_F(SimulatorTest, ProgramsRunWithTheirOutputKeptAndTheirEndJudged) {
  EXPECT_TRUE(
      Run("let W \"zwei Worte\"\nexec /usr/bin/printf \"%s|%s\" \"${W}\" x\n"
          "expect output \"zwei Worte|x\"\n"))
      << out_.str();
  EXPECT_FALSE(Run("exec /bin/sh -c \"exit 3\"\n"));
  EXPECT_NE(out_.str().find("ended with status 3"), std::string::npos);
  EXPECT_FALSE(Run("exec /bin/sh -c \"kill -9 $$\"\n"));
  EXPECT_NE(out_.str().find("was killed by signal 9"), std::string::npos) << out_.str();
  EXPECT_FALSE(Run("exec /gibts/nicht\n"));
  EXPECT_NE(out_.str().find("could not be started"), std::string::npos);
}

TEST_F(SimulatorTest, AnExceptionOutOfAHookFailsTheLineEvenUnderFails) {
  if (!TheHost().HasPlugin())
    TheHost().LoadPlugin(std::string(VANDRA_BINARY_DIR) + "/bin/kartul_testplugin.so", "");
  const std::string failure = "the hook Throw raised an error: thrown by the test plug-in";
  EXPECT_FALSE(Run("new-project ${TEMP}/p\nrun Throw\necho never\n"));
  EXPECT_EQ(out_.str().find("never"), std::string::npos);
  EXPECT_NE(out_.str().find("******** PLUG-IN ERROR: " + failure), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("test:2: error: " + failure), std::string::npos) << out_.str();
  out_.str("");
  EXPECT_FALSE(Run("open ${TEMP}/p\nfails run Throw\n"));
  EXPECT_NE(out_.str().find("test:2: error: " + failure), std::string::npos) << out_.str();
  // One outside any line (a timer's, say) is reported by the next check.
  out_.str("");
  Simulator sim(TheHost(), out_, options_);
  TheHost().RunMenuCommand("Throw");
  EXPECT_TRUE(sim.ReportHookFailure("timer"));
  EXPECT_NE(out_.str().find("timer: error: " + failure), std::string::npos) << out_.str();
  EXPECT_FALSE(sim.ReportHookFailure("timer"));
  EXPECT_TRUE(sim.RunLine("echo fine", "test"));
}

TEST_F(SimulatorTest, IncludedFilesRunBesideTheScenario) {
  std::ofstream(options_.temp_dir + "/teil.kts") << "let X eins\n";
  EXPECT_TRUE(Run("include " + options_.temp_dir +
                  "/teil.kts\nexec /bin/echo ${X}\n"
                  "expect output \"eins\\n\"\n"))
      << out_.str();
  EXPECT_FALSE(Run("include /gibts/nicht.kts\n"));
}

}  // namespace
}  // namespace hostsim
