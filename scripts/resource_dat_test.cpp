#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/script_injector.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Tavrin::ScriptInjector;

// The names of the files in folder that the build packs, sorted.
std::vector<std::string> packed_names(const fs::path& folder, bool top_level) {
  std::vector<std::string> names;
  if (!fs::is_directory(folder)) return names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name[0] == '.') continue;
    if (top_level && (name == "CMakeLists.txt" || name == "README.md" ||
                      (name.size() > 9 && name.ends_with("_test.cpp")))) {
      continue;
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The page agent as the build puts it together: its parts in name order.
std::string joined_agent(const fs::path& parts) {
  std::string joined;
  for (const std::string& name : packed_names(parts, false)) {
    if (name.ends_with(".js")) joined += quorvane_test::read_file((parts / name).string());
  }
  return joined;
}

// The package the build made holds every file of scripts/, byte for byte,
// with the agent put together from inject/agent/ and injected first, then
// the other files of inject/ flagged and injected in name order.
TEST(ResourceDatTest, PackageHoldsTheScriptsFolder) {
  const fs::path scripts = fs::path(QUORVANE_SOURCE_DIR) / "scripts";
  const std::string package_path = QUORVANE_BIN_DIR "/Resource.dat";
  ASSERT_TRUE(fs::exists(package_path));
  const ScriptInjector package(Tavrin::Platform::from_utf8(package_path));

  for (const std::string& name : packed_names(scripts, true)) {
    EXPECT_EQ(package.GetFile(name).Data(), quorvane_test::read_file((scripts / name).string()))
        << name;
    EXPECT_FALSE(package.GetFile(name).Inject()) << name;
  }
  const std::string agent = joined_agent(scripts / "inject" / "agent");
  ASSERT_FALSE(agent.empty());
  EXPECT_EQ(package.GetFile("agent.js").Data(), agent);
  EXPECT_TRUE(package.GetFile("agent.js").Inject());
  std::string expected_elements = "<script src=\"/quorvane/special/file/agent.js\" type=\"text/javascript\"></script>";
  for (const std::string& name : packed_names(scripts / "inject", false)) {
    EXPECT_EQ(package.GetFile(name).Data(),
              quorvane_test::read_file((scripts / "inject" / name).string()))
        << name;
    EXPECT_TRUE(package.GetFile(name).Inject()) << name;
    expected_elements += "<script src=\"/quorvane/special/file/" + name +
                         "\" type=\"text/javascript\"></script>";
  }
  std::string page = "<head></head>";
  package.InjectToStreamANSI(page);
  EXPECT_EQ(page, "<head>" + expected_elements + "</head>");
}

}  // namespace
