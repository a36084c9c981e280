#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/script_injector.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using Tavrin::File;
using Tavrin::ScriptInjector;

std::string element(const std::string& name) {
  return "<script src=\"/quorvane/special/file/" + name + "\" type=\"text/javascript\"></script>";
}

class PageInjectionTest : public ::testing::Test {
 protected:
  // A package whose files are (name, injected) pairs, in this order.
  ScriptInjector package(const std::vector<std::pair<std::string, bool>>& files) {
    ScriptInjector injector;
    for (const auto& [name, inject] : files) {
      const std::string path = dir_.file(name + ".src");
      quorvane_test::write_file(path, "// " + name);
      injector.AddFile({name, path}, inject, File::MIMEType::kJavaScript);
    }
    return injector;
  }
  std::string inject(const std::string& page) {
    std::string result = page;
    api_.InjectToStreamANSI(result);
    return result;
  }

  quorvane_test::TempDir dir_;
  ScriptInjector api_ = package({{"api.js", true}});
};

TEST_F(PageInjectionTest, GoesRightBeforeTheClosingHead) {
  EXPECT_EQ(inject("<html><head><title>t</title></head>"),
            "<html><head><title>t</title>" + element("api.js") + "</head>");
}

TEST_F(PageInjectionTest, TagsMatchWithoutRegardToCase) {
  EXPECT_EQ(inject("<HTML><HEAD><TITLE>t</TITLE></HEAD><BODY>"),
            "<HTML><HEAD><TITLE>t</TITLE>" + element("api.js") + "</HEAD><BODY>");
  EXPECT_EQ(inject("<HtMl lang=en><bOdY>x"), "<HtMl lang=en><bOdY>" + element("api.js") + "x");
}

// A "</head>" inside a comment or a script string comes before the real one.
TEST_F(PageInjectionTest, TheLastOccurrenceCounts) {
  const std::string head = "<head><!-- </head> --><script>var s='</head>';</script>";
  EXPECT_EQ(inject(head + "</head><body></body>"),
            head + element("api.js") + "</head><body></body>");
  EXPECT_EQ(inject("<body>a</body><body>b"), "<body>a</body><body>" + element("api.js") + "b");
}

// An opening tag with attributes is not the bare tag: the search moves on.
TEST_F(PageInjectionTest, TagsWithAttributesDoNotMatch) {
  EXPECT_EQ(inject("<body onload=\"x()\"><p>a</p></body>"),
            "<body onload=\"x()\"><p>a</p>" + element("api.js") + "</body>");
  EXPECT_EQ(inject("<head profile=\"p\"><title>t</title><body>"),
            "<head profile=\"p\"><title>t</title><body>" + element("api.js"));
}

TEST_F(PageInjectionTest, EachTagInItsTurn) {
  const std::string e = element("api.js");
  EXPECT_EQ(inject("<html><head>x</body>"), "<html><head>" + e + "x</body>");
  EXPECT_EQ(inject("<body>x<html>y"), "<body>x<html>" + e + "y");
  EXPECT_EQ(inject("</html>x<body>y</body>"), "</html>x<body>" + e + "y</body>");
  EXPECT_EQ(inject("x</body>y</html>"), "x" + e + "</body>y</html>");
  EXPECT_EQ(inject("</script>x</html>y"), "</script>x" + e + "</html>y");
  EXPECT_EQ(inject("<script>a</script>b</SCRIPT>c"), "<script>a</script>b</SCRIPT>" + e + "c");
}

TEST_F(PageInjectionTest, PagesWithoutTagsStayAsTheyAre) {
  for (const std::string& page : std::vector<std::string>{"", "<", "plain text", "<p>frag</p>", "</hea", "<head",
                                 "<head >", "< /head>", "</scrip>", std::string("\0<body\0>", 8)}) {
    EXPECT_EQ(inject(page), page);
  }
}

TEST_F(PageInjectionTest, PackageWithoutInjectedFilesChangesNothing) {
  const ScriptInjector none = package({{"host.js", false}, {"api.js", false}});
  std::string page = "<html><head></head><body></body></html>";
  none.InjectToStreamANSI(page);
  EXPECT_EQ(page, "<html><head></head><body></body></html>");
  std::string empty_package_page = page;
  ScriptInjector().InjectToStreamANSI(empty_package_page);
  EXPECT_EQ(empty_package_page, page);
}

TEST_F(PageInjectionTest, InjectedFilesFollowPackageOrderDirectlyAdjacent) {
  const ScriptInjector two = package({{"a.js", true}, {"host.js", false}, {"b.js", true}});
  std::string page = "<head></head>";
  two.InjectToStreamANSI(page);
  EXPECT_EQ(page, "<head>" + element("a.js") + element("b.js") + "</head>");
}

// The straightforward reading of the rules: lower a copy, then look for
// each tag from the end in the order of preference.
std::string reference_inject(std::string page, const std::string& text) {
  static const std::pair<const char*, bool> kTags[] = {
      {"</head>", false}, {"<head>", true},   {"<html>", true},     {"<body>", true},
      {"</body>", false}, {"</html>", false}, {"</script>", true}};
  std::string lower = page;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const auto& [tag, after] : kTags) {
    const std::size_t at = lower.rfind(tag);
    if (at != std::string::npos) {
      page.insert(at + (after ? std::strlen(tag) : 0), text);
      break;
    }
  }
  return page;
}

// Random pages made of tag pieces, at every alignment, against the
// reference reading.
TEST_F(PageInjectionTest, AgreesWithTheStraightforwardReadingOnRandomPages) {
  static const char* kPieces[] = {"<",    ">",     "/",      "<head>", "</HEAD>", "<Html>",
                                  "</html", ">",   "<body>", "</BODY>", "</scr",  "ipt>",
                                  "</script>", "x", "hea",   "d>",     "<<",      "</",
                                  "\xc4",  "0123456789abcdef"};
  std::mt19937 random(20240601);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    const int pieces = static_cast<int>(random() % 40);
    for (int i = 0; i < pieces; ++i) page += kPieces[random() % std::size(kPieces)];
    EXPECT_EQ(inject(page), reference_inject(page, element("api.js"))) << page;
  }
}

}  // namespace
