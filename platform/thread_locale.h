// The calling thread's locale: the stand-in for GetThreadLocale and
// SetThreadLocale. Here it is the POSIX per-thread locale (uselocale); the
// system default locale is the one the environment names (LANG, LC_*), or
// "C" when that names no installed locale.
//
// Thread safety: acts on the calling thread only.
#ifndef QUORVANE_PLATFORM_THREAD_LOCALE_H_
#define QUORVANE_PLATFORM_THREAD_LOCALE_H_

#include <cstdint>

#include "platform/export.h"

namespace Tavrin::Platform {

// Switches the calling thread to the system default locale for its life
// and puts the thread's previous locale back when it goes, however the
// scope is left. Not copyable or movable: it belongs to its scope.
class QUORVANE_PLATFORM_EXPORT ScopedSystemLocale {
 public:
  ScopedSystemLocale();
  ~ScopedSystemLocale();
  ScopedSystemLocale(const ScopedSystemLocale&) = delete;
  ScopedSystemLocale& operator=(const ScopedSystemLocale&) = delete;

 private:
  void* previous_;  // the thread's locale before (a locale_t)
  void* system_;    // the locale this object made, freed when it goes
};

// An identity of the calling thread's current locale, for comparing
// before and after.
QUORVANE_PLATFORM_EXPORT std::uintptr_t thread_locale_id();

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_THREAD_LOCALE_H_
