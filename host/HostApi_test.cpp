// The host façade's reading and writing of the host's records: the create
// request's buffer is never written past its room, and texts cross in the
// host's code page.
#include "host/HostApi.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/ktapi32.h"

namespace {

intptr_t Ptr(const void* p) {
  return reinterpret_cast<intptr_t>(p);
}

TEST(HostApiTest, ACreateRequestTakesWhatFitsAndRefusesTheRestUntouched) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  std::memcpy(buffer, "M\xE4h\0", 4);  // the host proposes "Mäh" in ANSI
  TGetNewKennung raw{buffer, 5, 1};
  std::optional<host::KennungRequest> request = host::KennungRequest::FromHookArgument(Ptr(&raw));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Kennung(), "Mäh");
  EXPECT_TRUE(request->UseDialog());

  EXPECT_TRUE(request->SetKennung("Größe")) << "five characters fit maxChar 5";
  EXPECT_STREQ(buffer,
               "Gr\xF6\xDF"
               "e");
  EXPECT_EQ(buffer[6], 'x') << "nothing past the terminator";

  EXPECT_FALSE(request->SetKennung("DE-123"));
  EXPECT_STREQ(buffer,
               "Gr\xF6\xDF"
               "e")
      << "a refused identifier leaves the buffer alone";

  request->SetUseDialog(false);
  EXPECT_EQ(raw.UseDialog, 0);
  EXPECT_FALSE(host::KennungRequest::FromHookArgument(0));
}

TEST(HostApiTest, AnUnterminatedRequestBufferIsReadNoFurtherThanItsRoom) {
  char buffer[6] = {'A', 'B', 'C', 'D', 'E', 'F'};
  TGetNewKennung raw{buffer, 3, 1};
  EXPECT_EQ(host::KennungRequest::FromHookArgument(Ptr(&raw))->Kennung(), "ABCD");
}

TEST(HostApiTest, ObjectWalkRecordsWithoutIdentifierGiveNothing) {
  char kennung[] = "NSG-\xC4";
  TKTObjectData data{};
  data.Kennung = kennung;
  EXPECT_EQ(host::ObjectDataKennung(Ptr(&data)), "NSG-Ä");
  data.Kennung = nullptr;
  EXPECT_FALSE(host::ObjectDataKennung(Ptr(&data)));
  EXPECT_FALSE(host::ObjectDataKennung(0));
}

}  // namespace
