// The check-in log as the verdict reads it: the marker lines and their
// counts, line ends and pieces, and the findings about objects.
#include "exchange/CheckInLog.h"

#include <gtest/gtest.h>

namespace {

using CheckInLog::ReportsNoErrors;

TEST(CheckInLogTest, BothMarkersWithZeroInEitherOrderAreASuccess) {
  EXPECT_TRUE(ReportsNoErrors("Check-In\r\nSachdatenfehler: 0\r\nGrafikfehler: 0\r\n"));
  EXPECT_TRUE(ReportsNoErrors("Grafikfehler: 0\r\nSachdatenfehler: 0\r\n"));
  EXPECT_FALSE(ReportsNoErrors("Sachdatenfehler: 3\r\nGrafikfehler: 0\r\n"));
  EXPECT_FALSE(ReportsNoErrors("Sachdatenfehler: 0\r\nGrafikfehler: 00\r\n"));
  // One marker alone, none, an empty log.
  EXPECT_FALSE(ReportsNoErrors("Sachdatenfehler: 0\r\n"));
  EXPECT_FALSE(ReportsNoErrors("Alles in Ordnung\r\n"));
  EXPECT_FALSE(ReportsNoErrors(""));
}

TEST(CheckInLogTest, WordsAreCutAtBlanksOnly) {
  // The count is the word after the last blank: a trailing blank leaves it
  // empty, extra blanks before it do not matter.
  EXPECT_FALSE(ReportsNoErrors("Sachdatenfehler: 0 \r\nGrafikfehler: 0\r\n"));
  EXPECT_TRUE(ReportsNoErrors("Sachdatenfehler:    0\r\nGrafikfehler:\t x 0\r\n"));
  // A line beginning with a blank has an empty first word.
  EXPECT_FALSE(ReportsNoErrors(" Sachdatenfehler: 0\r\nGrafikfehler: 0\r\n"));
  // Only the markers' length of the first word is compared, case-sensitively.
  EXPECT_TRUE(ReportsNoErrors("Grafikfehlerzahl 0\nSachdatenfehlerzahl 0\n"));
  EXPECT_FALSE(ReportsNoErrors("grafikfehler: 0\nSachdatenfehler: 0\n"));
  EXPECT_FALSE(ReportsNoErrors("Grafikfehle 0\nSachdatenfehler: 0\n"));
  // A line without blanks is its own first and last word.
  EXPECT_FALSE(ReportsNoErrors("Sachdatenfehler\nGrafikfehler: 0\n"));
}

TEST(CheckInLogTest, LaterLinesOverwriteUntilBothAreZeroTogether) {
  EXPECT_FALSE(ReportsNoErrors("Sachdatenfehler: 0\nSachdatenfehler: 2\nGrafikfehler: 0\n"));
  EXPECT_TRUE(ReportsNoErrors("Sachdatenfehler: 2\nSachdatenfehler: 0\nGrafikfehler: 0\n"));
  // Once both were zero together, the verdict stands.
  EXPECT_TRUE(ReportsNoErrors("Sachdatenfehler: 0\nGrafikfehler: 0\nSachdatenfehler: 9\n"));
  // A Sachdatenfehler line whose last word begins with the other marker
  // sets both flags from that word.
  EXPECT_FALSE(ReportsNoErrors("Grafikfehler: 0\nSachdatenfehler: Grafikfehler\n"));
}

TEST(CheckInLogTest, LineEndsAndPiecesDoNotChangeTheVerdict) {
  const std::string log = "Kopf\rSachdatenfehler: 0\r\r\nGrafikfehler: 0";
  EXPECT_TRUE(ReportsNoErrors(log));
  for (size_t piece = 1; piece <= log.size(); ++piece) {
    CheckInLog::Reader reader;
    for (size_t at = 0; at < log.size(); at += piece) reader.Feed(log.substr(at, piece));
    EXPECT_TRUE(reader.Finish()) << piece;
  }
  // Binary bytes, NUL among them, are characters of a line like any other.
  EXPECT_TRUE(ReportsNoErrors(std::string("\0\xff\x1a\n", 4) + "Sachdatenfehler: 0\n" +
                              std::string("Grafikfehler:\0 0", 16)));
}

TEST(CheckInLogTest, FindingsAboutObjectsAreReadTolerantly) {
  using CheckInLog::Befund;
  using CheckInLog::ParseBefund;
  EXPECT_EQ(ParseBefund("Objekt DE-4509-301: fehlt in den Geodaten"),
            (Befund{"DE-4509-301", "fehlt in den Geodaten"}));
  EXPECT_EQ(ParseBefund("\t  OBJEKT  NSG-0815 :  gel\xf6scht, aber noch da "),
            (Befund{"NSG-0815", "gelöscht, aber noch da"}));
  EXPECT_EQ(ParseBefund("objekt \"Wiese: S\xfc"
                        "d\" fehlt"),
            (Befund{"Wiese: Süd", "fehlt"}));
  EXPECT_EQ(ParseBefund("Objekt 'ND-1': x"), (Befund{"ND-1", "x"}));
  for (const char* none : {"Objekte: 3", "Objekt : leer", "Objekt ohne Doppelpunkt",
                           "Objekt \"offen: x", "Sachdatenfehler: 1", "", "Objekt"}) {
    EXPECT_EQ(ParseBefund(none), std::nullopt) << none;
  }
}

TEST(CheckInLogTest, FindingsAreKeptWithinBounds) {
  CheckInLog::BefundReader reader;
  // A line far longer than kept still gives its object; CR, LF and CR LF end lines.
  reader.Feed("Objekt A: " + std::string(100000, 'x') + "\rObjekt B: y\r\nObjekt C: z\n");
  for (size_t i = 0; i < CheckInLog::BefundReader::kMaxBefunde; ++i) reader.Feed("Objekt D: w\n");
  reader.Feed("Objekt E: v");
  const std::vector<CheckInLog::Befund> befunde = reader.Finish();
  ASSERT_EQ(befunde.size(), CheckInLog::BefundReader::kMaxBefunde);
  EXPECT_EQ(befunde[0].Kennung, "A");
  EXPECT_EQ(befunde[0].Text.size(), CheckInLog::BefundReader::kMaxLine - 10);
  EXPECT_EQ(befunde[1].Kennung, "B");
  EXPECT_EQ(befunde[2].Kennung, "C");
  EXPECT_TRUE(reader.Truncated());
}

}  // namespace
