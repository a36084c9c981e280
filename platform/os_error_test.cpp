// System errors: the exception made from an errno value, and the HRESULT
// that reports one across a component boundary.
#include "platform/os_error.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/com/hresult.h"

namespace Tavrin::Platform {
namespace {

// The exception carries the number in the system category and names what
// was being done.
TEST(OsErrorTest, PosixErrorCarriesNumberAndContext) {
  const boost::system::system_error error = posix_error("open /some/file", ENOENT);
  EXPECT_EQ(error.code().value(), ENOENT);
  EXPECT_EQ(error.code().category(), boost::system::system_category());
  EXPECT_EQ(std::string(error.what()).rfind("open /some/file: No such file or directory", 0), 0u) << error.what();
}

// System numbers become Win32-facility results; anything else, E_FAIL.
TEST(OsErrorTest, HresultFromSystemErrors) {
  EXPECT_EQ(hresult_from(posix_error("x", ENOENT)), hresult_of(0x80070002));
  EXPECT_EQ(hresult_from(posix_error("x", EACCES)), HRESULT_FROM_WIN32(EACCES));
  EXPECT_EQ(hresult_from(boost::system::system_error(
                boost::system::error_code(ECONNRESET, boost::system::generic_category()))),
            HRESULT_FROM_WIN32(ECONNRESET));
  EXPECT_EQ(hresult_from(posix_error("x", 0)), E_FAIL);
  struct OtherCategory final : boost::system::error_category {
    const char* name() const noexcept override { return "other"; }
    std::string message(int) const override { return "other"; }
  };
  static const OtherCategory other;
  EXPECT_EQ(hresult_from(boost::system::system_error(boost::system::error_code(2, other))), E_FAIL);
}

}  // namespace
}  // namespace Tavrin::Platform
