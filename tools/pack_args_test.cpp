#include "tools/pack_args.h"

#include <gtest/gtest.h>

namespace {

using Tavrin::File;
using Tavrin::Pack::Entry;
using Tavrin::Pack::parse_arguments;
using Tavrin::Pack::UsageError;

TEST(PackArgumentsTest, OptionsApplyToTheFileBeforeThem) {
  const auto request = parse_arguments({"-o", "out/Resource.dat", "scripts/host.js", "x/api.js",
                                        "--inject", "page.tpl", "--name", "p.html", "--type",
                                        "HTML", "--", "--odd.css"});
  EXPECT_EQ(request.output, "out/Resource.dat");
  ASSERT_EQ(request.entries.size(), 4u);
  EXPECT_EQ(request.entries[0].name, "host.js");
  EXPECT_FALSE(request.entries[0].inject);
  EXPECT_EQ(request.entries[0].type, File::MIMEType::kJavaScript);
  EXPECT_EQ(request.entries[1].path, "x/api.js");
  EXPECT_EQ(request.entries[1].name, "api.js");
  EXPECT_TRUE(request.entries[1].inject);
  EXPECT_EQ(request.entries[2].name, "p.html");
  EXPECT_EQ(request.entries[2].type, File::MIMEType::kHtml);
  EXPECT_FALSE(request.entries[2].inject);
  EXPECT_EQ(request.entries[3].path, "--odd.css");
  EXPECT_EQ(request.entries[3].type, File::MIMEType::kCss);
}

TEST(PackArgumentsTest, NoFilesMeansAnEmptyPackageHere) {
  const auto request = parse_arguments({});
  EXPECT_FALSE(request.output);
  EXPECT_TRUE(request.entries.empty());
}

TEST(PackArgumentsTest, MisplacedOrUnknownOptionsAreUsageErrors) {
  EXPECT_THROW(parse_arguments({"--inject", "a.js"}), UsageError);
  EXPECT_THROW(parse_arguments({"a.js", "--type", "jscript"}), UsageError);
  EXPECT_THROW(parse_arguments({"a.js", "--name"}), UsageError);
  EXPECT_THROW(parse_arguments({"-o"}), UsageError);
  EXPECT_THROW(parse_arguments({"a.js", "--zip"}), UsageError);
}

TEST(PackArgumentsTest, WarnsAboutNamesThatAnEarlierNameShadows) {
  auto entry = [](const std::string& name) { return Entry{name, name, false, {}}; };
  const auto warnings =
      Tavrin::Pack::shadowing_warnings({entry("a.js"), entry("b.js"), entry("data.js"),
                                        entry("b.js"), entry("x.css")});
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("\"data.js\""), std::string::npos);
  EXPECT_NE(warnings[1].find("\"b.js\""), std::string::npos);
}

}  // namespace
