// Named mutexes: one owner at a time, free again once released, and
// refusal of names and folders that are not safe.
#include "platform/named_mutex.h"

#include <sys/stat.h>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace Tavrin::Platform {
namespace {

class NamedMutexTest : public ::testing::Test {
 protected:
  quorvane_test::TempDir dir_;
  quorvane_test::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.path()};
};

// The first creator owns the mutex; a second one finds it existing and
// owns nothing until the first releases it.
TEST_F(NamedMutexTest, OneOwnerAtATime) {
  bool exists = true;
  NamedMutex first = NamedMutex::Create(L"TestGuard", &exists);
  EXPECT_FALSE(exists);
  EXPECT_TRUE(first.owned());
  NamedMutex second = NamedMutex::Create(L"TestGuard", &exists);
  EXPECT_TRUE(exists);
  EXPECT_FALSE(second.owned());
  NamedMutex other = NamedMutex::Create(L"OtherGuard", &exists);
  EXPECT_FALSE(exists);
  first.Release();
  NamedMutex third = NamedMutex::Create(L"TestGuard", &exists);
  EXPECT_FALSE(exists);
  EXPECT_TRUE(third.owned());
  EXPECT_EQ(dir_.path() + "/quorvane-mutex/TestGuard", NamedMutex::file_of(L"TestGuard"));
}

// Moving hands the ownership over; the moved-from object releases nothing.
TEST_F(NamedMutexTest, MoveTransfersOwnership) {
  bool exists = false;
  NamedMutex moved = NamedMutex::Create(L"Moved", &exists);
  NamedMutex holder = std::move(moved);
  EXPECT_FALSE(moved.owned());
  EXPECT_TRUE(holder.owned());
  NamedMutex::Create(L"Moved", &exists);
  EXPECT_TRUE(exists);
}

TEST_F(NamedMutexTest, RefusesBadNamesAndOpenFolders) {
  bool exists = false;
  try {
    NamedMutex::Create(L"a/b", &exists);
    FAIL() << "a name with a slash was accepted";
  } catch (const boost::system::system_error& error) {
    EXPECT_EQ(EINVAL, error.code().value());
  }
  NamedMutex::Create(L"Probe", &exists);
  ::chmod((dir_.path() + "/quorvane-mutex").c_str(), 0777);
  try {
    NamedMutex::Create(L"Probe", &exists);
    FAIL() << "a folder open to others was accepted";
  } catch (const boost::system::system_error& error) {
    EXPECT_EQ(EACCES, error.code().value());
  }
}

}  // namespace
}  // namespace Tavrin::Platform
