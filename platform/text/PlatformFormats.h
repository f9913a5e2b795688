// What of the user's formats the platform provides besides
// FormatSource::Default() and LocaleFormats::FromLocale: the date written in
// a short date format, with the names of days and months of its locale.
// PosixFormats.cpp and WinFormats.cpp each define it.
#pragma once

#include <string>

#include "platform/text/Formats.h"

namespace platform::text {

// The date in formats.short_date_format, a strftime pattern.
std::string FormatDate(const Ymd& date, const LocaleFormats& formats);

}  // namespace platform::text
