// On POSIX systems the user's formats are those of the locale the
// environment names: LC_ALL, else LC_NUMERIC for the numbers and LC_TIME for
// the dates, else LANG. They are read at each call, as the environment may
// have changed.
#include "platform/text/FormatSource.h"

namespace platform::text {
namespace {

class PosixFormats : public FormatSource {
 public:
  LocaleFormats UserFormats() override { return LocaleFormats::FromLocale(""); }
};

}  // namespace

FormatSource& FormatSource::Default() {
  static FormatSource* const posix = new PosixFormats();
  return *posix;
}

}  // namespace platform::text
