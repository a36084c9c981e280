// A top-level run always makes its own identity; a nested suite takes its
// parent's from the environment when it is a valid one; either way the
// identity is left in the environment for the children.
#include "runner/run_identity.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

std::string inherited() {
  const char* text = std::getenv(Tavrin::kRunIdentityVariable);
  return text ? text : "";
}

TEST(RunIdentity, TopLevelRunsMakeTheirOwnAndNestedSuitesInherit) {
  ::setenv(Tavrin::kRunIdentityVariable, "parent-run.1", 1);
  const std::wstring top = Tavrin::TakeRunIdentity(0);
  EXPECT_NE(top, L"parent-run.1");
  EXPECT_TRUE(Tavrin::IsRunIdentity(Tavrin::Platform::to_utf8(top)));
  EXPECT_EQ(inherited(), Tavrin::Platform::to_utf8(top));
  EXPECT_NE(Tavrin::TakeRunIdentity(0), top) << "each top-level run is a run of its own";

  ::setenv(Tavrin::kRunIdentityVariable, "parent-run.1", 1);
  EXPECT_EQ(Tavrin::TakeRunIdentity(2), L"parent-run.1");
  EXPECT_EQ(inherited(), "parent-run.1");

  // An identity that could not name a run (it would be sent inside the
  // proxy's commands) is replaced.
  ::setenv(Tavrin::kRunIdentityVariable, "x\",\"page\":\"y", 1);
  const std::wstring replaced = Tavrin::TakeRunIdentity(1);
  EXPECT_TRUE(Tavrin::IsRunIdentity(Tavrin::Platform::to_utf8(replaced)));
  EXPECT_EQ(inherited(), Tavrin::Platform::to_utf8(replaced));
  EXPECT_FALSE(Tavrin::IsRunIdentity(std::string(65, 'a')));
  EXPECT_FALSE(Tavrin::IsRunIdentity(""));
}

}  // namespace
