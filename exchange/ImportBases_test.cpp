// The record of the import's bases: what is written comes back whole; a
// file cut short, with a byte changed or a count made huge is refused with
// the file named and never read past its end; an independent reader in
// Python reads the format as its header describes it.
#include "exchange/ImportBases.h"

#include <gtest/gtest.h>

#include <random>

#include "exchange/ImportCapture.h"
#include "exchange/ImportMerge.h"
#include "platform/db/TestDir.h"
#include "platform/env/Env.h"

namespace {

using namespace ImportBases;
using platform::db::testing::TestDir;

std::vector<ObjectBase> Sample(unsigned seed, int objects) {
  std::mt19937_64 rng(seed);
  const std::vector<std::string> names = {"(Geometrie)",  "KENNUNG", "NAME",
                                          "Bemerkung\tä", "FLAECHE", "(Pflanzenliste)"};
  std::vector<ObjectBase> record;
  for (int i = 0; i < objects; ++i) {
    ObjectBase& o = record.emplace_back();
    o.Kennung = "DE-" + std::to_string(i) + (i % 7 == 0 ? "'ÄÖ\n" : "");
    o.TID = static_cast<int32_t>(rng() % 5) - 1;  // -1 where the package gave none
    o.Klasse = i % 3 == 0 ? -2147483647 - 1 : static_cast<int32_t>(rng() % 100000);
    for (size_t f = 0; f < names.size(); ++f) {
      if (rng() % 5 == 0) continue;  // another class: not every field
      FieldBase& field = o.fields.emplace_back();
      field.name = names[f];
      field.package = rng();
      field.host = rng() % 4 == 0 ? rng() : field.package;
    }
  }
  return record;
}

TEST(ImportBasesTest, WhatIsWrittenComesBackWhole) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const std::vector<ObjectBase> record = Sample(seed, 50);
    EXPECT_EQ(Decode(Encode(record), "TA_BASIS.dat"), record);
  }
  EXPECT_TRUE(Decode(Encode({}), "TA_BASIS.dat").empty());
}

TEST(ImportBasesTest, EveryCutAndEveryChangedByteIsRefused) {
  const std::string bytes = Encode(Sample(3, 6));
  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_THROW(Decode(bytes.substr(0, n), "TA_BASIS.dat"), BasesError) << "cut at " << n;
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (const unsigned char bit : {0x01, 0x80}) {
      std::string changed = bytes;
      changed[at] = static_cast<char>(changed[at] ^ bit);
      EXPECT_THROW(Decode(changed, "TA_BASIS.dat"), BasesError) << "byte " << at;
    }
  }
  try {
    Decode(bytes.substr(0, bytes.size() - 1), "/p/TA_BASIS.dat");
  } catch (const BasesError& e) {
    EXPECT_NE(std::string(e.what()).find("/p/TA_BASIS.dat"), std::string::npos);
  }
}

// Damage that keeps the checksum whole (a program that rewrote it): the
// reader still never reads past the end nor asks for memory a count claims.
std::string Sealed(std::string body) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : body) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  for (int i = 0; i < 8; ++i) body += static_cast<char>((hash >> (8 * i)) & 0xFF);
  return body;
}

TEST(ImportBasesTest, DamageUnderAWholeChecksumIsRefusedOrReadWithinTheFile) {
  const std::string bytes = Encode(Sample(5, 8));
  const std::string body = bytes.substr(0, bytes.size() - 8);
  // A count of names near 2^63.
  std::string huge = body.substr(0, 13) + std::string(8, '\xff') + '\x7f' + body.substr(14);
  EXPECT_THROW(Decode(Sealed(huge), "f"), BasesError);
  std::mt19937 rng(11);
  int refused = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string changed = body;
    const int edits = 1 + static_cast<int>(rng() % 3);
    for (int e = 0; e < edits; ++e) {
      const size_t at = 13 + rng() % (changed.size() - 13);
      changed[at] = static_cast<char>(rng());
    }
    try {
      Decode(Sealed(changed), "f");
    } catch (const BasesError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(ImportBasesTest, AnImportReplacesTheEntriesOfWhatItLoadsAndKeepsTheRest) {
  const std::vector<ObjectBase> record = {{"A", 1, 1, {}}, {"B", 1, 1, {}}, {"C", 2, 1, {}}};
  const std::vector<ObjectBase> after =
      Replace(record, {"B", "X"}, {{"B", 3, 4, {}}, {"X", 3, 4, {}}});
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[0].Kennung, "A");
  EXPECT_EQ(after[1].Kennung, "C");
  EXPECT_EQ(after[2].Kennung, "B");
  EXPECT_EQ(after[2].TID, 3);
  EXPECT_EQ(after[3].Kennung, "X");
}

TEST(ImportBasesTest, TheRecordStaysSmallWhereTheHostHoldsWhatThePackageGave) {
  // Ten fields an object, the host's form the package's: the identifier, two
  // numbers, and ten bytes a field beside the names written once.
  std::vector<ObjectBase> record;
  for (int i = 0; i < 1000; ++i) {
    ObjectBase& o = record.emplace_back();
    o.Kennung = "DE-" + std::to_string(100000 + i);
    o.TID = 4711;
    o.Klasse = 3;
    for (int f = 0; f < 10; ++f) {
      o.fields.push_back(
          {"FELD" + std::to_string(f), 0x0123456789abcdefULL, 0x0123456789abcdefULL});
    }
  }
  EXPECT_LE(Encode(record).size(), 1000u * (9 + 1 + 2 + 1 + 1 + 10 * 10) + 200);
}

TEST(ImportBasesTest, ALoadIsRecordedFieldByFieldWhatOneSideLacksBeingEmpty) {
  using HostSnapshot::HashOf;
  const auto P = [](std::string_view text) { return HostSnapshot::PrintOf(text); };
  const std::vector<HostSnapshot::FieldPrints> package = {
      {"DE-1", 3, {{"NAME", P("Aue")}, {"BEM", P("")}}, {}}, {"DE-3", 3, {{"NAME", P("x")}}, {}}};
  const std::vector<HostSnapshot::ShapePrint> shapes = {{0, "DE-1", 3, 3, HashOf("g1"), {}}};
  // The host leaves the empty field out, and lists one of its own.
  const std::vector<HostSnapshot::FieldPrints> host = {
      {"DE-1", 3, {{"NAME", P("Aue")}, {"FLAECHE", P("12")}}, {}},
      {"DE-2", 4, {{"NAME", P("y")}}, {}}};
  std::vector<HostSnapshot::HostObject> held(2);
  held[0].Kennung = "DE-1";
  held[0].Klasse = 3;
  held[0].geometry = HashOf("g1");
  held[1].Kennung = "DE-2";
  held[1].Klasse = 4;
  held[1].geometry = HashOf("g2");

  const std::vector<ObjectBase> record = Capture({{"DE-1", 7}, {"DE-2", 7}, {"DE-3", 7}}, package,
                                                 shapes, host, held, {{"DE-2", P("Pflanzen")}});
  // DE-3 is not in the host after the load. Fields empty on both sides (the
  // plant list of DE-1, its BEM) are left out: missing reads empty.
  ASSERT_EQ(record.size(), 2u);
  const uint64_t e = P("");
  EXPECT_EQ(record[0], (ObjectBase{"DE-1",
                                   7,
                                   3,
                                   {{ImportMerge::kGeometry, P("g1"), P("g1")},
                                    {"NAME", P("Aue"), P("Aue")},
                                    {"FLAECHE", e, P("12")}}}));
  // Without the package's shape or attributes, the package gave them empty.
  EXPECT_EQ(record[1], (ObjectBase{"DE-2",
                                   7,
                                   4,
                                   {{ImportMerge::kGeometry, e, P("g2")},
                                    {ImportMerge::kPlants, e, P("Pflanzen")},
                                    {"NAME", e, P("y")}}}));
  // And the record holds them as captured.
  EXPECT_EQ(Decode(Encode(record), "f"), record);
}

TEST(ImportBasesTest, AnIndependentReaderReadsTheFileAsItsFormatSays) {
  TestDir dir;
  platform::env::Env& env = platform::env::Env::Current();
  const std::string path = dir.File("TA_BASIS.dat");
  EXPECT_FALSE(Read(env, path).has_value());
  const std::vector<ObjectBase> record = {
      {"DE-4509-301",
       4711,
       3,
       {{"NAME", 0xff, 0xff}, {"(Geometrie)", 0x0123456789abcdefULL, 0xfedcba9876543210ULL}}},
      {"ND-0042", -1, -5, {}}};
  Write(env, path, record);
  EXPECT_EQ(Read(env, path), record);
  const std::string out = dir.Python(R"(import os, struct, sys
data = open(os.path.join(os.path.dirname(sys.argv[0]), 'TA_BASIS.dat'), 'rb').read()
h = 0xcbf29ce484222325
for b in data[:-8]:
    h = ((h ^ b) * 0x100000001b3) & 0xffffffffffffffff
assert struct.unpack('<Q', data[-8:])[0] == h, 'checksum'
assert data[:13] == b'VANDRA-BASIS\x01', 'magic'
at = 13
def uv():
    global at
    v = s = 0
    while True:
        b = data[at]; at += 1
        v |= (b & 0x7f) << s; s += 7
        if b < 0x80: return v
def zz():
    v = uv(); return (v >> 1) ^ -(v & 1)
def text():
    global at
    n = uv(); t = data[at:at + n].decode('utf-8'); at += n; return t
names = [text() for _ in range(uv())]
for _ in range(uv()):
    k, tid, klasse = text(), zz(), zz()
    fields = []
    for _ in range(uv()):
        name = names[uv()]
        p = struct.unpack('<Q', data[at:at + 8])[0]; at += 8
        same = data[at]; at += 1
        if same: hst = p
        else:
            hst = struct.unpack('<Q', data[at:at + 8])[0]; at += 8
        fields.append('%s=%016x/%016x' % (name, p, hst))
    print(k, tid, klasse, ' '.join(fields))
assert at == len(data) - 8, 'trailing bytes'
)");
  EXPECT_EQ(out,
            "DE-4509-301 4711 3 NAME=00000000000000ff/00000000000000ff "
            "(Geometrie)=0123456789abcdef/fedcba9876543210\n"
            "ND-0042 -1 -5 \n");

  // A damaged file is refused naming it; a write that fails leaves the
  // old file as it was.
  TestDir::WriteAll(path, "VANDRA-BASIS\x01kaputt");
  EXPECT_THROW(Read(env, path), BasesError);
  EXPECT_THROW(Write(env, dir.File("fehlt/TA_BASIS.dat"), record), BasesError);
}

}  // namespace
