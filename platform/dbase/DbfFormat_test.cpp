// The format layer on buffers alone: headers built and read back, values
// encoded and decoded with their errors naming file, record and field,
// memo blocks, and undo blocks whole or cut short.
#include "platform/dbase/DbfFormat.h"

#include <gtest/gtest.h>

#include <functional>

namespace platform::dbase::format {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const DbaseError& e) {
    return e.what();
  }
  return "no error";
}

const unsigned char kToday[3] = {124, 3, 5};

TEST(DbfFormatTest, ABuiltHeaderReadsBackWithItsFields) {
  const NewTable t =
      BuildTable("T.dbf", Flavor::kDBase4,
                 {{"kennung", 'C', 12, 0}, {"TID", 'N', 11, 0}, {"M", 'M', 0, 0}}, kToday);
  EXPECT_TRUE(t.has_memo);
  Header h;
  std::copy(t.bytes.begin(), t.bytes.begin() + 32, h.bytes);
  EXPECT_EQ(h.version(), 0x8B);
  EXPECT_EQ(h.count(), 0u);
  EXPECT_EQ(h.record_length(), 1u + 12 + 11 + 10);
  EXPECT_EQ(t.bytes.back(), kEofMark);
  const uint32_t length = CheckHeader("T.dbf", h, t.bytes.size());
  const std::vector<unsigned char> header(t.bytes.begin(), t.bytes.begin() + length);
  const std::vector<Field> fields = ParseFields("T.dbf", h, header, t.bytes.size());
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].name, "KENNUNG");
  EXPECT_EQ(fields[1].offset, 13);
  EXPECT_EQ(fields[2].type, 'M');
}

TEST(DbfFormatTest, HeadersThatLieAreRefusedNamingTheFile) {
  const NewTable t = BuildTable("T.dbf", Flavor::kDBase3, {{"A", 'C', 5, 0}}, kToday);
  Header h;
  std::copy(t.bytes.begin(), t.bytes.begin() + 32, h.bytes);
  PutLe32(h.bytes + 4, 3);  // three records the buffer does not hold
  const std::vector<unsigned char> header(t.bytes.begin(), t.bytes.end() - 1);
  EXPECT_EQ(ErrorOf([&] { ParseFields("/d/T.dbf", h, header, t.bytes.size()); }),
            "/d/T.dbf: Der Dateikopf zählt 3 Datensätze, die Datei enthält aber nur 0.");
  h.bytes[0] = 0x30;
  EXPECT_EQ(ErrorOf([&] { CheckHeader("/d/T.dbf", h, 100); }),
            "/d/T.dbf: Die Datei ist keine dBase-Tabelle (unbekanntes Versionsbyte 0x30).");
  EXPECT_NE(ErrorOf([&] {
              BuildTable("T.dbf", Flavor::kDBase3, {{"1A", 'C', 5, 0}}, kToday);
            }).find("ist kein dBase-Feldname"),
            std::string::npos);
}

TEST(DbfFormatTest, CellsRoundTripAndErrorsNameTheirPlace) {
  const std::string file = "/d/T.dbf";
  const Field n{"WERT", 'N', 8, 2, 1};
  const Where where{file, 4, &n};
  EXPECT_EQ(EncodeCell(n, Cell::Real(3.14159), where), "    3.14");
  EXPECT_DOUBLE_EQ(DecodeCell(n, "    3.14", where).real, 3.14);
  EXPECT_EQ(DecodeCell(n, "        ", where).kind, Cell::Kind::kNull);
  EXPECT_EQ(DecodeCell(n, "********", where).kind, Cell::Kind::kNull);
  EXPECT_EQ(ErrorOf([&] { DecodeCell(n, "  12ab  ", where); }),
            "/d/T.dbf, Datensatz 5, Feld WERT: Der Inhalt '  12ab  ' ist keine Zahl.");
  EXPECT_EQ(ErrorOf([&] { EncodeCell(n, Cell::Real(123456.0), where); }),
            "/d/T.dbf, Datensatz 5, Feld WERT: Der Wert 123456.00 passt nicht in N(8,2).");
  const Field c{"K", 'C', 6, 0, 1};
  EXPECT_EQ(EncodeCell(c, Cell::Text("Grün"), where), "Gr\xFCn  ");
  EXPECT_EQ(DecodeCell(c, std::string("Gr\xFCn\0 ", 6), where).text, "Grün");
  const Field d{"D", 'D', 8, 0, 1};
  EXPECT_EQ(DecodeCell(d, "20240229", where).date, (Date{2024, 2, 29}));
  EXPECT_EQ(DecodeCell(d, "00000000", where).kind, Cell::Kind::kNull);
  EXPECT_NE(ErrorOf([&] { DecodeCell(d, "20230229", where); }).find("ist kein Datum"),
            std::string::npos);
  const Field m{"NOTIZ", 'M', 10, 0, 1};
  EXPECT_EQ(EncodeCell(m, Cell::Integer(12), where), "        12");
  EXPECT_EQ(DecodeCell(m, "        12", where).integer, 12);
  EXPECT_EQ(DecodeCell(m, "          ", where).integer, 0);
  EXPECT_NE(ErrorOf([&] { CheckMemoText("a\x1F", where); }).find("U+001F"), std::string::npos);
}

TEST(DbfFormatTest, MemoBlocksAreWholeAndFindTheirEnd) {
  const MemoLayout three{512, false};
  const std::vector<unsigned char> b3 = EncodeMemo(three, "Notiz");
  EXPECT_EQ(b3.size(), 512u);
  EXPECT_EQ(MemoEnd(std::string_view(reinterpret_cast<const char*>(b3.data()), b3.size()), false),
            5u);
  const MemoLayout four{64, true};
  const std::vector<unsigned char> b4 = EncodeMemo(four, std::string(100, 'x'));
  EXPECT_EQ(b4.size(), 128u);
  const std::string memo = "T.dbt";
  EXPECT_EQ(MemoTextLength(b4.data(), 1, 64, 64 + 128, memo, Where{memo}), 100u);
  EXPECT_NE(ErrorOf([&] {
              MemoTextLength(b4.data(), 1, 64, 64 + 50, memo, Where{memo});
            }).find("reicht über das Ende von T.dbt hinaus"),
            std::string::npos);
  unsigned char h[32] = {};
  PutLe16(h + 20, 1024);
  EXPECT_EQ(ParseMemoHeader(h, 0x8B).block_size, 1024u);
  EXPECT_EQ(ParseMemoHeader(h, 0x83).block_size, 512u);
}

TEST(DbfFormatTest, UndoBlocksRoundTripAndCutOnesAreRefused) {
  const RecordImages images = {{0, "abc"}, {5, "xyz"}};
  const std::vector<unsigned char> block = EncodeUndo(images);
  EXPECT_EQ(UndoLength(block.data(), 3), block.size());
  EXPECT_EQ(DecodeUndo(block, 3, 6), images);
  EXPECT_EQ(DecodeUndo(block, 3, 5), std::nullopt);  // record 6 of 5
  std::vector<unsigned char> cut(block.begin(), block.end() - 1);
  EXPECT_EQ(DecodeUndo(cut, 3, 6), std::nullopt);
  std::vector<unsigned char> garbled = block;
  garbled[10] ^= 1;
  EXPECT_EQ(DecodeUndo(garbled, 3, 6), std::nullopt);
  EXPECT_EQ(UndoLength(reinterpret_cast<const unsigned char*>("NOTUNDO!"), 3), std::nullopt);
}

}  // namespace
}  // namespace platform::dbase::format
