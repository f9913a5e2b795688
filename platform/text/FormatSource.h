// Where the user's number and date formats come from: the platform's own
// settings (FormatSource::Default(), chosen by the build: PosixFormats.cpp
// reads the locale the environment names), or a source a test installs with
// ScopedFormatSource. UserFormats() asks FormatSource::Current().
#pragma once

#include "platform/text/Formats.h"

namespace platform::text {

class FormatSource {
 public:
  virtual ~FormatSource() = default;

  // The platform's own, the only one the product uses. Never destroyed.
  static FormatSource& Default();
  // The source of code that is not handed one: Default() unless a
  // ScopedFormatSource installed another.
  static FormatSource& Current();

  // The user's formats as they are set now.
  virtual LocaleFormats UserFormats() = 0;
};

// Installs a source as FormatSource::Current() for the life of the object
// and puts the one before back. For tests; not for use while other threads
// reach Current().
class ScopedFormatSource {
 public:
  explicit ScopedFormatSource(FormatSource& source);
  ~ScopedFormatSource();
  ScopedFormatSource(const ScopedFormatSource&) = delete;
  ScopedFormatSource& operator=(const ScopedFormatSource&) = delete;

 private:
  FormatSource* previous_;
};

}  // namespace platform::text
