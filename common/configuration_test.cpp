#include "common/configuration.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

using Tavrin::Configuration;
using Tavrin::ParameterType;
using Element = Configuration::Element;

const char kCorrupted[] = "Unable to parse XML file, file maybe corrupted or wrong format";

std::string param(const std::string& id, const std::string& type, const std::string& value) {
  return "<parameter id=\"" + id + "\" type=\"" + type + "\"><value>" + value + "</value></parameter>";
}

std::string section(const std::string& id, const std::string& body) {
  return "<section id=\"" + id + "\">" + body + "</section>";
}

class ConfigurationLoadTest : public ::testing::Test {
 protected:
  // Writes <config>body</config> to a file of the temporary folder.
  std::wstring Write(const std::string& name, const std::string& body) {
    const std::string path = dir_.file(name);
    quorvane_test::write_file(path, "<?xml version=\"1.0\"?>\n<config>\n" + body + "\n</config>\n");
    return std::wstring(path.begin(), path.end());
  }

  std::wstring Path(const std::string& name) const {
    const std::string path = dir_.file(name);
    return std::wstring(path.begin(), path.end());
  }

  // The message of the ConfigurationError that loading `path` raises.
  template <typename... Sections>
  std::string LoadError(const std::wstring& path, Sections... sections) {
    try {
      config_.Load(path, sections...);
    } catch (const Configuration::ConfigurationError& e) {
      return e.what();
    }
    return "(no error)";
  }

  const std::wstring& Value(const std::wstring& s, const std::wstring& id) {
    return config_.Parameter(s, id).value;
  }

  quorvane_test::TempDir dir_;
  Configuration config_;
};

// Nothing loaded yet: every section is missing.
TEST(ConfigurationStoreTest, FreshStoreHasNoSections) {
  const Configuration config;
  try {
    config.Parameter(L"common", L"x");
    FAIL() << "no exception";
  } catch (const Configuration::SectionNotFoundError& e) {
    EXPECT_STREQ("Unable to find section: common", e.what());
  }
}

// A wanted section the file lacks is added empty.
TEST_F(ConfigurationLoadTest, WantedSectionMissingFromFileIsAddedEmpty) {
  config_.Load(Write("a.xml", section("common", param("x", "string", "1"))), {L"ie"});
  try {
    config_.Parameter(L"ie", L"x");
    FAIL() << "no exception";
  } catch (const Configuration::ParameterNotFoundError& e) {
    EXPECT_STREQ("Unable to find parameter: x, in section: ie", e.what());
  }
  EXPECT_THROW(config_.Parameter(L"common", L"x"), Configuration::SectionNotFoundError);
}

// Types come from the file; sections of one id merge and the first parameter
// of an id wins, across the merged sections too.
TEST_F(ConfigurationLoadTest, MergesSectionsAndKeepsFirstParameter) {
  config_.Load(Write("a.xml", section("s", param("a", "integer", "1") + param("a", "string", "2") +
                                               param("t", "time_minutes", "3")) +
                                  section("other", param("a", "boolean", "1")) +
                                  section("s", param("a", "integer", "9") + param("b", "time_seconds", "4"))));
  EXPECT_EQ(L"1", Value(L"s", L"a"));
  EXPECT_EQ(ParameterType::Integer, config_.Parameter(L"s", L"a").type);
  EXPECT_EQ(ParameterType::TimeMinutes, config_.Parameter(L"s", L"t").type);
  EXPECT_EQ(L"4", Value(L"s", L"b"));
  EXPECT_EQ(ParameterType::TimeSeconds, config_.Parameter(L"s", L"b").type);
  EXPECT_EQ(ParameterType::Boolean, config_.Parameter(L"other", L"a").type);
}

// Ids are compared exactly; elements other than <section> under <config> and
// the element names of parameters are not examined.
TEST_F(ConfigurationLoadTest, ExactIdsAndLooseParameterNames) {
  config_.Load(Write("a.xml", "<other id=\"s\">" + param("x", "string", "no") + "</other>" +
                                  section("s", "<anything id=\"x\" type=\"time_milliseconds\"><value>5</value></anything>") +
                                  section("S", param("x", "string", "upper"))));
  EXPECT_EQ(L"5", Value(L"s", L"x"));
  EXPECT_EQ(ParameterType::TimeMilliseconds, config_.Parameter(L"s", L"x").type);
  EXPECT_EQ(L"upper", Value(L"S", L"x"));
  EXPECT_THROW(config_.Parameter(L"s", L"X"), Configuration::ParameterNotFoundError);
}

// The value is the text content of <value>: blanks kept, white-space-only
// text dropped, entities decoded, CDATA and pieces split by a comment joined,
// UTF-8 decoded.
TEST_F(ConfigurationLoadTest, ValueIsTextContentOfValueElement) {
  config_.Load(Write("a.xml", section("s", param("blank", "string", " 42") + param("ws", "string", "  \n ") +
                                               param("ent", "string", "a&amp;b&lt;") +
                                               param("cdata", "string", "<![CDATA[<x>]]>y") +
                                               param("split", "string", "a<!-- c -->b") +
                                               param("utf", "string", "\xC5\x81\xC3\xB3" "d\xC5\xBA"))));
  EXPECT_EQ(L" 42", Value(L"s", L"blank"));
  EXPECT_EQ(L"", Value(L"s", L"ws"));
  EXPECT_EQ(L"a&b<", Value(L"s", L"ent"));
  EXPECT_EQ(L"<x>y", Value(L"s", L"cdata"));
  EXPECT_EQ(L"ab", Value(L"s", L"split"));
  EXPECT_EQ(L"\u0141\u00F3d\u017A", Value(L"s", L"utf"));
}

// Loading never replaces or merges into a section the store holds, whether
// it came from an earlier load or from InsertParameter.
TEST_F(ConfigurationLoadTest, LaterLoadsAddOnlyNewSections) {
  const std::wstring first = Write("a.xml", section("a", param("x", "string", "1")));
  const std::wstring second = Write("b.xml", section("a", param("x", "string", "2") + param("y", "string", "3")) +
                                                 section("b", param("x", "string", "4")));
  config_.InsertParameter(L"c", L"x", Element{L"inserted", ParameterType::String});
  config_.Load(first);
  config_.Load(first);
  config_.Load(second);
  config_.Load(Write("c.xml", section("c", param("x", "string", "file"))));
  EXPECT_EQ(L"1", Value(L"a", L"x"));
  EXPECT_THROW(config_.Parameter(L"a", L"y"), Configuration::ParameterNotFoundError);
  EXPECT_EQ(L"4", Value(L"b", L"x"));
  EXPECT_EQ(L"inserted", Value(L"c", L"x"));
}

// A comment is skipped directly under <config> but is a malformed parameter
// inside a section; so is stray text.
TEST_F(ConfigurationLoadTest, CommentsOnlyAllowedOutsideSections) {
  config_.Load(Write("ok.xml", "<!-- about -->" + section("s", param("x", "string", "1")) + "<?pi data?>"));
  EXPECT_EQ(L"1", Value(L"s", L"x"));

  EXPECT_EQ(kCorrupted, LoadError(Write("bad.xml", section("t", "<!-- no -->" + param("x", "string", "1")))));
  EXPECT_EQ(kCorrupted, LoadError(Write("text.xml", section("t", "stray" + param("x", "string", "1")))));
}

// Files that are missing, not XML, cut off or without <config> all give the
// same message, and a cut-off file adds nothing that was read before the cut.
TEST_F(ConfigurationLoadTest, UnreadableFilesAreCorrupted) {
  EXPECT_EQ(kCorrupted, LoadError(Path("missing.xml")));
  EXPECT_EQ(kCorrupted, LoadError(Path("missing.xml"), std::deque<std::wstring>{L"common"}));
  quorvane_test::write_file(dir_.file("cut.xml"), "<config>" + section("s", param("x", "string", "1")));
  EXPECT_EQ(kCorrupted, LoadError(Path("cut.xml")));
  EXPECT_THROW(config_.Parameter(L"s", L"x"), Configuration::SectionNotFoundError);
  quorvane_test::write_file(dir_.file("other.xml"), "<settings>" + section("s", "") + "</settings>");
  EXPECT_EQ(kCorrupted, LoadError(Path("other.xml")));
  quorvane_test::write_file(dir_.file("empty.xml"), "");
  EXPECT_EQ(kCorrupted, LoadError(Path("empty.xml")));
  EXPECT_EQ(kCorrupted, LoadError(Path("")));  // the folder itself
}

// Type names are the six lower-case words; the parts of a parameter are read
// in the order value, type, id.
TEST_F(ConfigurationLoadTest, ParameterPartsAndTypeNames) {
  EXPECT_EQ("Unable to parse XML file. Unknown parameter type: Integer",
            LoadError(Write("a.xml", section("s", param("x", "Integer", "1")))));
  EXPECT_EQ("Unable to parse XML file. Unknown parameter type: int",
            LoadError(Write("b.xml", section("s", param("x", "int", "1"))), std::deque<std::wstring>{L"s"}));
  EXPECT_EQ(kCorrupted, LoadError(Write("c.xml", section("s", "<p id=\"x\" type=\"string\"/>"))));
  EXPECT_EQ(kCorrupted, LoadError(Write("d.xml", section("s", "<p id=\"x\"><value>1</value></p>"))));
  EXPECT_EQ(kCorrupted, LoadError(Write("e.xml", section("s", "<p type=\"string\"><value>1</value></p>"))));
  EXPECT_EQ(kCorrupted, LoadError(Write("f.xml", "<section>" + param("x", "string", "1") + "</section>")));
  // Type before id, value before type.
  EXPECT_EQ("Unable to parse XML file. Unknown parameter type: bad",
            LoadError(Write("g.xml", section("s", "<p type=\"bad\"><value>1</value></p>"))));
  EXPECT_EQ(kCorrupted, LoadError(Write("h.xml", section("s", "<p id=\"x\" type=\"bad\"/>"))));
}

// Sections inserted before a failure stay; a failing wanted section is only
// reached when asked for.
TEST_F(ConfigurationLoadTest, FailureKeepsEarlierSections) {
  const std::wstring path =
      Write("a.xml", section("good", param("x", "string", "1")) + section("bad", param("x", "Bad", "1")));
  EXPECT_EQ("Unable to parse XML file. Unknown parameter type: Bad", LoadError(path));
  EXPECT_EQ(L"1", Value(L"good", L"x"));

  Configuration only_good;
  only_good.Load(path, {L"good"});
  EXPECT_EQ(L"1", only_good.Parameter(L"good", L"x").value);
  EXPECT_THROW(only_good.Parameter(L"bad", L"x"), Configuration::SectionNotFoundError);
}

// InsertParameter replaces an existing parameter and creates a new section.
TEST(ConfigurationStoreTest, InsertParameterReplacesOrCreates) {
  Configuration config;
  config.InsertParameter(L"common", L"port", Element{L"80", ParameterType::Integer});
  config.InsertParameter(L"common", L"server", Element{L"host", ParameterType::String});
  config.InsertParameter(L"common", L"port", Element{L"8080", ParameterType::String});
  EXPECT_EQ(L"8080", config.Parameter(L"common", L"port").value);
  EXPECT_EQ(ParameterType::String, config.Parameter(L"common", L"port").type);
  EXPECT_EQ(L"host", config.Parameter(L"common", L"server").value);
}

// Copies are deep: changing one side leaves the other as it was.
TEST(ConfigurationStoreTest, CopiesAreIndependent) {
  Configuration a;
  a.InsertParameter(L"s", L"x", Element{L"1", ParameterType::String});
  Configuration b(a);
  b.InsertParameter(L"s", L"x", Element{L"2", ParameterType::String});
  Configuration c;
  c.InsertParameter(L"gone", L"x", Element{L"3", ParameterType::String});
  c = a;
  a.InsertParameter(L"s", L"x", Element{L"4", ParameterType::String});
  c = c;
  EXPECT_EQ(L"4", a.Parameter(L"s", L"x").value);
  EXPECT_EQ(L"2", b.Parameter(L"s", L"x").value);
  EXPECT_EQ(L"1", c.Parameter(L"s", L"x").value);
  EXPECT_THROW(c.Parameter(L"gone", L"x"), Configuration::SectionNotFoundError);
}

// Swap, the free swap and std::swap exchange the contents.
TEST(ConfigurationStoreTest, SwapExchangesContents) {
  Configuration a, b;
  a.InsertParameter(L"s", L"x", Element{L"a", ParameterType::String});
  b.InsertParameter(L"s", L"x", Element{L"b", ParameterType::String});
  a.Swap(b);
  EXPECT_EQ(L"b", a.Parameter(L"s", L"x").value);
  swap(a, b);
  EXPECT_EQ(L"a", a.Parameter(L"s", L"x").value);
  std::swap(a, b);
  EXPECT_EQ(L"b", a.Parameter(L"s", L"x").value);
  EXPECT_EQ(L"a", b.Parameter(L"s", L"x").value);
}

// Readers and writers on several threads see whole values only.
TEST(ConfigurationStoreTest, ConcurrentReadersAndWriters) {
  Configuration config;
  config.InsertParameter(L"s", L"x", Element{L"0", ParameterType::String});
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&config, t] {
      for (int i = 0; i < 2000; ++i) {
        const std::wstring id = L"k" + std::to_wstring(t) + L"_" + std::to_wstring(i % 50);
        config.InsertParameter(L"s" + std::to_wstring(i % 7), id, Element{id, ParameterType::String});
        EXPECT_EQ(id, config.Parameter(L"s" + std::to_wstring(i % 7), id).value);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(L"k3_49", config.Parameter(L"s" + std::to_wstring(1999 % 7), L"k3_49").value);
}

}  // namespace
