// ScreenShot called by name on an object created by class id: on a fake
// screen of known pixels for the folders, names, formats and failures, and
// on a private Xvfb for the pixels of real 24- and 16-bit screens.
#include <filesystem>
#include <regex>

#include <boost/gil.hpp>
#include <boost/gil/extension/io/png.hpp>
#include <gtest/gtest.h>

#include "common/logfile_name.h"
#include "platform/screen.h"
#include "platform/text.h"
#include "runtime/screen_image.h"
#include "runtime/testing/echo_fixture.h"
#include "runtime/testing/private_copy.h"
#include "test_support/temp_dir.h"
#include "test_support/xvfb.h"

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Platform::Screen::Bitmap;
using Tavrin::Platform::Screen::ScreenSource;
using Tavrin::Platform::Screen::set_screen_source;
using Tavrin::Runtime::Testing::echo_config;
using Tavrin::Runtime::Testing::EchoTest;
using Tavrin::Runtime::Testing::InPrivateCopy;
namespace fs = std::filesystem;

const std::string kUuid = "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}";

std::string runtime_params(const std::optional<std::string>& format, const std::optional<std::string>& folder) {
  std::string xml;
  if (format) xml += "<parameter id=\"screen_shot_format\" type=\"string\"><value>" + *format + "</value></parameter>\n";
  if (folder) xml += "<parameter id=\"test_results_path\" type=\"string\"><value>" + *folder + "</value></parameter>\n";
  return xml;
}

// A 4 x 3 screen at 32 bits whose pixel (x, y) is red x*60, green y*100,
// blue 9; counts its captures, or fails when asked to.
struct FakeScreen : ScreenSource {
  Bitmap Capture() override {
    ++captures;
    if (fail) throw std::runtime_error("the screen went away");
    Bitmap b;
    b.width = 4;
    b.height = 3;
    b.pixels.resize(b.stride() * 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        std::uint8_t* p = b.pixels.data() + y * b.stride() + x * 4;
        p[0] = 9, p[1] = static_cast<std::uint8_t>(y * 100), p[2] = static_cast<std::uint8_t>(x * 60), p[3] = 0;
      }
    return b;
  }
  int captures = 0;
  bool fail = false;
};

class ScreenShotTest : public EchoTest {
 protected:
  void TearDown() override {
    set_screen_source(nullptr);
    EchoTest::TearDown();
  }
  // Creates the object on the fake screen.
  void CreateOnFake() {
    set_screen_source(&screen_);
    ASSERT_NO_FATAL_FAILURE(Create());
  }
  std::string Shot(const std::wstring& name) {
    return Tavrin::Platform::to_utf8(Call(L"ScreenShot", {Variant(name)}).to_string());
  }
  HRESULT ShotFailure(std::wstring* description) { return Failure(L"ScreenShot", {Variant(L"x")}, description); }
  // A fresh folder of the test program that the private copy shares
  // (named to it in the environment), removed when the test ends.
  std::string Folder() {
    if (const char* shared = std::getenv(kShotsVariable)) return shared;
    shots_env_.emplace(kShotsVariable, shots_.path());
    return shots_.path();
  }
  static std::string Home() {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/Tavrin Technologies/Quor Vane/TestResults";
  }

  static constexpr const char* kShotsVariable = "QUORVANE_TEST_SHOTS";
  FakeScreen screen_;
  quorvane_test::TempDir shots_;
  std::optional<quorvane_test::ScopedEnv> shots_env_;
};

// PNG into a configured folder: "F/login_<uuid>.png", a W x H RGB image of
// the screen; the call prints nothing.
TEST_F(ScreenShotTest, PngIntoConfiguredFolder) {
  fs::create_directories(Folder());
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params("PNG", Folder())))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  const std::string path = Shot(L"login");
  EXPECT_TRUE(std::regex_match(path, std::regex(Folder() + "/login_" + kUuid + "\\.png"))) << path;
  boost::gil::rgb8_image_t image;
  boost::gil::read_image(path, image, boost::gil::png_tag());
  ASSERT_EQ(image.width(), 4);
  ASSERT_EQ(image.height(), 3);
  const auto p = boost::gil::const_view(image)(3, 2);
  EXPECT_EQ(p[0], 180);
  EXPECT_EQ(p[1], 200);
  EXPECT_EQ(p[2], 9);
  EXPECT_TRUE(fs::is_directory(Home()));  // made as the parameter's default
  EXPECT_EQ(Transcript(), "");
}

// BMP into a configured folder: the file is the bitmap's BMP bytes.
TEST_F(ScreenShotTest, BmpIntoConfiguredFolder) {
  fs::create_directories(Folder());
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params("BMP", Folder())))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  const std::string path = Shot(L"page");
  EXPECT_TRUE(std::regex_match(path, std::regex(Folder() + "/page_" + kUuid + "\\.bmp"))) << path;
  const std::vector<std::uint8_t> expected = Tavrin::Runtime::bmp_bytes(screen_.Capture());
  EXPECT_EQ(quorvane_test::read_file(path), std::string(expected.begin(), expected.end()));
}

// Without test_results_path, and with an empty one or one that is not a
// string, the shot goes into today's dated Images folder, which is made.
class ScreenShotDefaultFolder : public ScreenShotTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ScreenShotDefaultFolder, DatedImagesFolder) {
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params("PNG", std::nullopt) + GetParam()))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  const std::string day =
      Tavrin::Platform::to_utf8(Tavrin::Logger::date_folder_name(Tavrin::Logger::current_local_date()));
  const std::string path = Shot(L"home");
  const std::string images = Home() + "/" + day + "/Images";
  ASSERT_EQ(path.substr(0, images.size() + 6), images + "/home_");
  EXPECT_TRUE(std::regex_match(path.substr(images.size()), std::regex("/home_" + kUuid + "\\.png"))) << path;
  EXPECT_TRUE(fs::is_regular_file(path));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ScreenShotDefaultFolder,
    ::testing::Values("", "<parameter id=\"test_results_path\" type=\"string\"><value></value></parameter>\n",
                      "<parameter id=\"test_results_path\" type=\"integer\"><value>1</value></parameter>\n"),
    [](const auto& info) { return std::string(info.index == 0 ? "Absent" : info.index == 1 ? "Empty" : "NotAString"); });

// "png" in lower case is no format: no file, a path without extension.
TEST_F(ScreenShotTest, LowerCaseFormatWritesNothing) {
  const std::string folder = Folder() + "/lower";
  fs::create_directories(folder);
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params("png", folder)))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  const std::string path = Shot(L"x");
  EXPECT_TRUE(std::regex_match(path, std::regex(folder + "/x_" + kUuid))) << path;
  EXPECT_TRUE(fs::is_empty(folder));
}

// Without screen_shot_format the screen is still captured, then the call
// fails.
TEST_F(ScreenShotTest, MissingFormatFails) {
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params(std::nullopt, Folder())))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  std::wstring description;
  EXPECT_EQ(ShotFailure(&description), E_FAIL);
  EXPECT_EQ(description, L"Unable to take screenshot");
  EXPECT_EQ(screen_.captures, 1);
}

// A configured folder that does not exist fails for PNG and for BMP; no
// path of a missing file is returned.
class ScreenShotMissingFolder : public ScreenShotTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ScreenShotMissingFolder, Fails) {
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params(GetParam(), "/nonexistent/shots")))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  std::wstring description;
  EXPECT_EQ(ShotFailure(&description), E_FAIL);
  EXPECT_EQ(description, L"Unable to take screenshot");
}

INSTANTIATE_TEST_SUITE_P(Formats, ScreenShotMissingFolder, ::testing::Values("PNG", "BMP"),
                         [](const auto& info) { return std::string(info.param); });

// Two shots of one name are two files.
TEST_F(ScreenShotTest, SameNameTwiceGivesTwoFiles) {
  const std::string folder = Folder() + "/twice";
  fs::create_directories(folder);
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params("PNG", folder)))) return;
  ASSERT_NO_FATAL_FAILURE(CreateOnFake());
  const std::string first = Shot(L"same");
  const std::string second = Shot(L"same");
  EXPECT_NE(first, second);
  EXPECT_TRUE(fs::is_regular_file(first));
  EXPECT_TRUE(fs::is_regular_file(second));
}

// No screen (no display, or a capture that fails), null pointers.
TEST_F(ScreenShotTest, FailuresOfTheScreen) {
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params("PNG", Folder())))) return;
  quorvane_test::ScopedEnv display("DISPLAY", std::nullopt);
  ASSERT_NO_FATAL_FAILURE(Create());
  std::wstring description;
  EXPECT_EQ(ShotFailure(&description), E_FAIL);
  EXPECT_EQ(description, L"Unable to take screenshot");

  screen_.fail = true;
  set_screen_source(&screen_);
  description.clear();
  EXPECT_EQ(ShotFailure(&description), E_FAIL);
  EXPECT_EQ(description, L"Unable to take screenshot");

  Bstr name(L"x"), path;
  EXPECT_EQ(Direct()->ScreenShot(nullptr, path.put()), E_POINTER);
  EXPECT_EQ(Direct()->ScreenShot(name.get(), nullptr), E_POINTER);
}

// On a real screen: the root window painted one colour with a rectangle of
// another, shot as PNG and BMP.
struct RealScreen {
  const char* format;
  int depth;
  unsigned long background, foreground;      // pixel values of the visual
  std::array<std::uint8_t, 3> png_background, png_foreground;
  unsigned long bmp_background, bmp_foreground;  // as the BMP stores them
};

void PrintTo(const RealScreen& s, std::ostream* os) { *os << s.format << " at depth " << s.depth; }

class ScreenShotOnXvfb : public ScreenShotTest, public ::testing::WithParamInterface<RealScreen> {};

constexpr quorvane_test::Rect kRect{10, 5, 20, 8};

TEST_P(ScreenShotOnXvfb, FilesHoldThePaintedPixels) {
  if (!quorvane_test::Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
  const RealScreen& s = GetParam();
  const std::string folder = Folder();
  if (!InPrivateCopy(echo_config(std::nullopt, 50, "", runtime_params(s.format, folder)))) return;
  quorvane_test::Xvfb server(64, 48, s.depth);
  ASSERT_TRUE(server.running());
  ASSERT_NO_FATAL_FAILURE(quorvane_test::paint_root(server.display(), s.background, kRect, s.foreground));
  quorvane_test::ScopedEnv display("DISPLAY", server.display());
  ASSERT_NO_FATAL_FAILURE(Create());
  const std::string path = Tavrin::Platform::to_utf8(Call(L"ScreenShot", {Variant(L"xvfb")}).to_string());
  const auto inside = [](int x, int y) {
    return x >= kRect.x && x < kRect.x + kRect.width && y >= kRect.y && y < kRect.y + kRect.height;
  };
  if (std::string(s.format) == "PNG") {
    boost::gil::rgb8_image_t image;
    boost::gil::read_image(path, image, boost::gil::png_tag());
    ASSERT_EQ(image.width(), 64);
    ASSERT_EQ(image.height(), 48);
    const auto view = boost::gil::const_view(image);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const auto p = view(x, y);
        ASSERT_EQ((std::array<std::uint8_t, 3>{p[0], p[1], p[2]}), inside(x, y) ? s.png_foreground : s.png_background)
            << "at " << x << "," << y;
      }
  } else {
    const std::string bytes = quorvane_test::read_file(path);
    const int bits = s.depth == 16 ? 16 : 32;
    const std::size_t stride = ((64 * bits + 31) / 32) * 4;
    ASSERT_EQ(bytes.size(), 54 + stride * 48);
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), bits);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 54 + (47 - y) * stride + x * bits / 8;
        const unsigned long value = bits == 16 ? (p[0] | p[1] << 8) : (p[0] | p[1] << 8 | p[2] << 16);
        ASSERT_EQ(value, inside(x, y) ? s.bmp_foreground : s.bmp_background) << "at " << x << "," << y;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, ScreenShotOnXvfb,
    ::testing::Values(RealScreen{"PNG", 24, 0x123456, 0xABCDEF, {0x12, 0x34, 0x56}, {0xAB, 0xCD, 0xEF}, 0, 0},
                      RealScreen{"BMP", 24, 0x123456, 0xABCDEF, {}, {}, 0x123456, 0xABCDEF},
                      // 0x07E5: red 0, green 63, blue 5 (5 * 255 / 31 = 41); as 5-5-5: 0x03E5
                      RealScreen{"PNG", 16, 0xF800, 0x07E5, {255, 0, 0}, {0, 255, 41}, 0, 0},
                      RealScreen{"BMP", 16, 0xF800, 0x07E5, {}, {}, 0x7C00, 0x03E5}),
    [](const auto& info) { return std::string(info.param.format) + std::to_string(info.param.depth); });

}  // namespace
