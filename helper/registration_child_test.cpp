// A registration child is waited for: its exit code decides, one that
// takes too long is ended and counts as failed, one that cannot start
// throws its errno.
#include "helper/registration_child.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Helper {
namespace {

using std::chrono::milliseconds;

TEST(RegistrationChildTest, ExitCodeDecides) {
  EXPECT_TRUE(run_registration_child(L"/bin/sh -c \"exit 0\""));
  EXPECT_FALSE(run_registration_child(L"/bin/sh -c \"exit 3\""));
  EXPECT_FALSE(run_registration_child(L"/bin/sh -c \"kill -9 $$\""));
}

TEST(RegistrationChildTest, ChildThatDoesNotEndInTimeFails) {
  EXPECT_FALSE(run_registration_child(L"/bin/sleep 30", milliseconds(200)));
}

TEST(RegistrationChildTest, ChildThatCannotStartThrowsItsErrno) {
  try {
    run_registration_child(L"\"/no/such/regsvr32\" /s x");
    FAIL() << "a missing program started";
  } catch (const boost::system::system_error& error) {
    EXPECT_EQ(ENOENT, error.code().value());
  }
}

}  // namespace
}  // namespace Tavrin::Helper
