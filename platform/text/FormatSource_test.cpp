#include "platform/text/FormatSource.h"

#include <gtest/gtest.h>

namespace platform::text {
namespace {

// The formats of a platform that keeps them as settings of its own rather
// than in a locale.
class FixedFormats : public FormatSource {
 public:
  explicit FixedFormats(LocaleFormats formats) : formats_(std::move(formats)) {}
  LocaleFormats UserFormats() override {
    ++asked;
    return formats_;
  }
  int asked = 0;

 private:
  LocaleFormats formats_;
};

TEST(FormatSource, TextsInTheUsersFormatsAskTheInstalledSourceEachTime) {
  LocaleFormats settings;
  settings.decimal_separator = ",";
  settings.short_date_format = "%d.%m.%Y";
  FixedFormats fixed(settings);
  {
    ScopedFormatSource scoped(fixed);
    EXPECT_EQ(FloatToStr(-1234.5), "-1234,5");
    EXPECT_EQ(DateToStr(Ymd{2024, 3, 5}), "05.03.2024");
    EXPECT_EQ(UserFormats().short_date_format, "%d.%m.%Y");
  }
  EXPECT_EQ(fixed.asked, 3) << "settings the user changes meanwhile count at once";
  EXPECT_EQ(&FormatSource::Current(), &FormatSource::Default());
}

}  // namespace
}  // namespace platform::text
