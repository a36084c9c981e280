#include "platform/thread_locale.h"

#include <locale.h>

namespace Tavrin::Platform {

ScopedSystemLocale::ScopedSystemLocale() : previous_(nullptr), system_(nullptr) {
  locale_t system = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (!system) system = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  system_ = system;
  previous_ = system ? ::uselocale(system) : ::uselocale(static_cast<locale_t>(0));
}

ScopedSystemLocale::~ScopedSystemLocale() {
  if (system_) {
    ::uselocale(static_cast<locale_t>(previous_));
    ::freelocale(static_cast<locale_t>(system_));
  }
}

std::uintptr_t thread_locale_id() {
  return reinterpret_cast<std::uintptr_t>(::uselocale(static_cast<locale_t>(0)));
}

}  // namespace Tavrin::Platform
