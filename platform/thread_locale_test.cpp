// The scoped system locale puts the thread's locale back on every path.
#include "platform/thread_locale.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace Tavrin::Platform {
namespace {

TEST(ScopedSystemLocaleTest, RestoresThreadLocaleOnReturnAndThrow) {
  const std::uintptr_t before = thread_locale_id();
  {
    ScopedSystemLocale scope;
    EXPECT_NE(before, thread_locale_id());
  }
  EXPECT_EQ(before, thread_locale_id());
  try {
    ScopedSystemLocale scope;
    throw std::runtime_error("failure inside");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(before, thread_locale_id());
}

}  // namespace
}  // namespace Tavrin::Platform
