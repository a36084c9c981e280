// The owner shape: each handle is closed exactly once, by whoever holds it
// last, and never when it was given up.
#include "platform/scoped_handle.h"

#include <vector>

#include <gtest/gtest.h>

namespace Tavrin::Platform {
namespace {

std::vector<int> g_closed;

struct CountingTraits {
  using Handle = int;
  static int empty() noexcept { return 0; }
  static void close(int handle) noexcept { g_closed.push_back(handle); }
};
using Owner = ScopedHandle<CountingTraits>;

class ScopedHandleTest : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

// Moving hands the handle over; the moved-from owner closes nothing, and a
// move onto a holder closes what it held.
TEST_F(ScopedHandleTest, MovesCloseOnlyWhatIsReplaced) {
  {
    Owner first(7);
    Owner second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), 7);
    Owner third(8);
    third = std::move(second);
    EXPECT_EQ(g_closed, std::vector<int>{8});
    third = std::move(third);
    EXPECT_EQ(third.get(), 7);
  }
  EXPECT_EQ(g_closed, (std::vector<int>{8, 7}));
}

// release gives the handle up unclosed; reset and out close the old one;
// the empty handle is never closed.
TEST_F(ScopedHandleTest, ReleaseResetAndOut) {
  Owner owner(3);
  EXPECT_EQ(owner.release(), 3);
  EXPECT_FALSE(owner);
  owner.reset(4);
  owner.reset(5);
  *owner.out() = 6;
  EXPECT_EQ(owner.get(), 6);
  owner.reset();
  owner.reset();
  EXPECT_EQ(g_closed, (std::vector<int>{4, 5, 6}));
}

}  // namespace
}  // namespace Tavrin::Platform
