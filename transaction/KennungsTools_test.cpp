// Identifier rules: class prefixes, the NSG switch, the state code and the
// composed identifiers of the "BRB" rule set.
#include "transaction/KennungsTools.h"

#include "tests/support/ProjectFixture.h"

namespace {

using namespace KennungsTools;

class KennungsToolsTest : public testsupport::ProjectFixture {};

TEST_F(KennungsToolsTest, PrefixesByClassAreExactAndCaseSensitive) {
  EXPECT_TRUE(KennungFitsOKL("FFH", "DE-4711", "NRW"));
  EXPECT_FALSE(KennungFitsOKL("FFH", "de-4711", "NRW"));
  EXPECT_TRUE(KennungFitsOKL("VSG", "DE-1", ""));
  EXPECT_TRUE(KennungFitsOKL("ND", "ND-12", ""));
  EXPECT_FALSE(KennungFitsOKL("ND", "NDGLB-12", ""));
  EXPECT_TRUE(KennungFitsOKL("ND_GLB", "NDGLB-12", ""));
  EXPECT_FALSE(KennungFitsOKL("ND_GLB", "ND-12", ""));
  EXPECT_TRUE(KennungFitsOKL("LRT-Art-VO", "LRT_V-3", ""));
  EXPECT_TRUE(KennungFitsOKL("OEK_TF", "OEKTF-3", ""));
  EXPECT_FALSE(KennungFitsOKL("OEK_TF", "OEK-3", ""));
  EXPECT_TRUE(KennungFitsOKL("BIO", "BIO4", "")) << "other classes use their short name";
  EXPECT_FALSE(KennungFitsOKL("BIO", "BI", "")) << "shorter than the prefix";
  EXPECT_TRUE(KennungFitsOKL("", "irgendwas", "")) << "no short name: everything fits";
}

TEST_F(KennungsToolsTest, NsgPrefixOnlyWithTheFilterSwitch) {
  EXPECT_TRUE(KennungFitsOKL("NSG", "DE-1", "NRW"));
  SetApplicatIni("VANDRA", "NSGPrefixFilter", "1");
  EXPECT_FALSE(KennungFitsOKL("NSG", "DE-1", "NRW"));
  EXPECT_TRUE(KennungFitsOKL("NSG", "NSG-1", "NRW"));
  EXPECT_TRUE(KennungFitsOKL("NSG", "DE-1", "BRB")) << "BRB: every identifier fits";
  EXPECT_TRUE(KennungFitsOKL("FFH", "xyz", "BRB"));
}

TEST_F(KennungsToolsTest, ClassShortNamesComeFromTheProcedureDatabase) {
  EXPECT_EQ(GetOKLShortName(ClassId("ND_GLB")), "ND_GLB");
  EXPECT_EQ(GetOKLShortName(987654), "") << "a class without a row";
}

TEST_F(KennungsToolsTest, ComposedIdentifierProposalTakesTheFirstFreeSerial) {
  std::string nummer = "7";
  std::string blatt = "3847no";
  KennungBBProposal proposal = ProposeKennungBB("AB", nummer, blatt, 2026);
  ASSERT_TRUE(proposal.ok) << proposal.message;
  EXPECT_EQ(nummer, "007");
  EXPECT_EQ(blatt, "3847NO");
  EXPECT_EQ(proposal.kennung, "AB26007-3847NO0001");
  EXPECT_TRUE(KennungBBSyntaxOK(proposal.kennung));

  MakeObject("BIO", "AB26007-3847NO0001");
  MakeObject("BIO", "AB26007-3847NO0002");
  proposal = ProposeKennungBB("AB", nummer, blatt, 2026);
  EXPECT_EQ(proposal.kennung, "AB26007-3847NO0003");
}

TEST_F(KennungsToolsTest, ComposedIdentifierAlwaysHasATwoDigitYear) {
  std::string nummer = "12";
  std::string blatt = "1234SW";
  const KennungBBProposal proposal = ProposeKennungBB("XY", nummer, blatt, 2005);
  EXPECT_EQ(proposal.kennung, "XY05012-1234SW0001");
  EXPECT_TRUE(KennungBBSyntaxOK(proposal.kennung));
}

TEST_F(KennungsToolsTest, ComposedIdentifierChecksInOrder) {
  struct Case {
    std::string ag, nummer, blatt, message;
  };
  const Case cases[] = {
      {"A", "7", "3847NO", "Der Auftraggeber muss durch ein 2-stelliges Kürzel bezeichnet werden!"},
      {"ÄB", "x", "3847NO", "Die Nummer muss eine ganze Zahl < 1000 sein!"},
      {"AB", "-3", "3847NO", "Die Nummer muss eine ganze Zahl < 1000 sein!"},
      {"AB", "7", "3847N", "Das Kartenblatt muss durch 6 Stellen bezeichnet werden!"},
      {"AB", "7", "38a7NO",
       "Die ersten 4 Stellen des Kartenblattbezeichners müssen eine Zahl ergeben!"},
      {"AB", "7", "3847NN",
       "Die letzten beiden Stellen des Kartenblattbezeichners müssen einem Quadranten "
       "entsprechen!"},
  };
  for (const Case& c : cases) {
    std::string nummer = c.nummer;
    std::string blatt = c.blatt;
    const KennungBBProposal proposal = ProposeKennungBB(c.ag, nummer, blatt, 2026);
    EXPECT_FALSE(proposal.ok);
    EXPECT_EQ(proposal.message, c.message) << c.ag << " " << c.nummer << " " << c.blatt;
  }
  std::string nummer = "1234";
  std::string blatt = "3847";
  ProposeKennungBB("AB", nummer, blatt, 2026);
  EXPECT_EQ(nummer, "234") << "the number is rewritten before the map sheet is checked";
}

TEST(KennungBBSyntax, EighteenCharactersWithTheDashInEighthPlace) {
  EXPECT_TRUE(KennungBBSyntaxOK("AB26007-3847NO0001"));
  EXPECT_FALSE(KennungBBSyntaxOK("AB6007-3847NO0001"));
  EXPECT_FALSE(KennungBBSyntaxOK("AB260073-847NO0001"));
  EXPECT_TRUE(KennungBBSyntaxOK("ÄÖ26007-3847NO0001")) << "characters, not bytes";
  EXPECT_FALSE(KennungBBSyntaxOK(""));
}

}  // namespace
