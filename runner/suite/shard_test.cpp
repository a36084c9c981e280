// Splitting a suite into shards, the start order, and the script list.
#include "runner/suite/shard.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "runner/suite/output_files.h"
#include "runner/suite/script_list.h"
#include "runner/suite/suite_options.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Suite {
namespace {

std::vector<std::wstring> names(int count) {
  std::vector<std::wstring> list;
  for (int i = 0; i < count; ++i) list.push_back(L"s" + std::to_wstring(100 + i) + L".js");
  return list;
}

// For N = 1, 2, 3 (and more parts than scripts), with and without
// timings: every script is in exactly one part, and each part keeps the
// list's order.
TEST(Shard, PartsCoverEveryScriptOnce) {
  const auto scripts = names(20);
  Timings timings;
  for (std::size_t i = 0; i < scripts.size(); ++i) timings[scripts[i]] = 1.0 + static_cast<double>(i % 7);
  for (const Timings& t : {Timings{}, timings}) {
    for (int n : {1, 2, 3, 25}) {
      std::multiset<std::wstring> seen;
      for (int k = 1; k <= n; ++k) {
        const auto part = shard_scripts(scripts, Shard{k, n}, t);
        EXPECT_TRUE(std::is_sorted(part.begin(), part.end()));
        seen.insert(part.begin(), part.end());
      }
      EXPECT_EQ(seen, std::multiset<std::wstring>(scripts.begin(), scripts.end())) << n;
    }
  }
}

// By count the parts differ by one script at most; by time the longest
// script stands alone when it outweighs the others.
TEST(Shard, BalancedByCountOrByTime) {
  const auto scripts = names(7);
  EXPECT_EQ(shard_scripts(scripts, Shard{1, 3}, {}).size(), 3u);
  EXPECT_EQ(shard_scripts(scripts, Shard{3, 3}, {}).size(), 2u);
  Timings timings;
  for (const auto& s : scripts) timings[s] = 1;
  timings[scripts[4]] = 10;
  EXPECT_EQ(shard_scripts(scripts, Shard{1, 2}, timings), std::vector<std::wstring>{scripts[4]});
  EXPECT_EQ(shard_scripts(scripts, Shard{2, 2}, timings).size(), 6u);
  // Timings of only some scripts: by count.
  timings.erase(scripts[0]);
  EXPECT_EQ(shard_scripts(scripts, Shard{1, 2}, timings).size(), 4u);
}

TEST(Shard, StartOrderLongestFirst) {
  const std::vector<std::wstring> scripts{L"a.js", L"b.js", L"c.js", L"d.js"};
  EXPECT_EQ(start_order(scripts, {{L"c.js", 5}, {L"b.js", 9}}),
            (std::vector<std::wstring>{L"b.js", L"c.js", L"a.js", L"d.js"}));
  EXPECT_EQ(start_order(scripts, {}), scripts);
}

TEST(Shard, ParsedFromTextOrTheCiVariables) {
  EXPECT_EQ(parse_shard(L"2/3").index, 2);
  EXPECT_EQ(parse_shard(L"2/3").count, 3);
  for (const wchar_t* bad : {L"0/2", L"3/2", L"2", L"a/b", L"1/0", L"-1/2", L"1/2x"})
    EXPECT_THROW(parse_shard(bad), SuiteOptionsError) << bad;
  {
    quorvane_test::ScopedEnv index("CI_NODE_INDEX", "3");
    quorvane_test::ScopedEnv total("CI_NODE_TOTAL", "4");
    EXPECT_EQ(parse_shard(L"auto").index, 3);
    EXPECT_EQ(parse_shard(L"auto").count, 4);
  }
  quorvane_test::ScopedEnv index("CI_NODE_INDEX", std::nullopt);
  quorvane_test::ScopedEnv total("CI_NODE_TOTAL", std::nullopt);
  EXPECT_EQ(parse_shard(L"auto").count, 1);
}

TEST(SuiteOptions, CommandLine) {
  const SuiteOptions o = parse_suite_options({L"Quorvane", L"--mode=suite", L"--workers", L"3", L"--grep", L"login",
                                              L"--retries", L"2", L"--timeout", L"30", L"-b", L"chromium", L"a",
                                              L"b"});
  EXPECT_EQ(o.paths, (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(o.workers, 3);
  EXPECT_EQ(o.grep, L"login");
  EXPECT_EQ(o.retries, 2);
  EXPECT_EQ(o.timeout, 30);
  EXPECT_EQ(*o.browser, L"chromium");
  EXPECT_FALSE(o.server.has_value());
  EXPECT_EQ(o.out, L"quorvane-results");
  EXPECT_FALSE(o.har);
  // --har takes no value: what follows it is still a path.
  const SuiteOptions har = parse_suite_options({L"Quorvane", L"--mode=suite", L"--har", L"t"});
  EXPECT_TRUE(har.har);
  EXPECT_EQ(har.paths, (std::vector<std::wstring>{L"t"}));
  EXPECT_THROW(parse_suite_options({L"Quorvane", L"--mode=suite"}), SuiteOptionsError);
  EXPECT_THROW(parse_suite_options({L"Quorvane", L"--mode=suite", L"--workers", L"0", L"a"}), SuiteOptionsError);
  EXPECT_THROW(parse_merge_options({L"Quorvane", L"--mode=merge", L"p1"}), SuiteOptionsError);
  EXPECT_EQ(parse_merge_options({L"Quorvane", L"--mode=merge", L"--out", L"o", L"p1", L"p2"}).parts.size(), 2u);
}

// Files, folders (searched through, *.js only) and globs; sorted, each
// once, filtered by --grep; a missing file is an error.
TEST(ScriptList, FilesFoldersGlobsAndGrep) {
  quorvane_test::TempDir dir;
  for (const char* f : {"t/b.js", "t/a.js", "t/sub/c.js", "t/notes.txt", "u/d.js"}) {
    std::filesystem::create_directories(std::filesystem::path(dir.file(f)).parent_path());
    quorvane_test::write_file(dir.file(f), "");
  }
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(list_scripts({L"t"}, L""), (std::vector<std::wstring>{L"t/a.js", L"t/b.js", L"t/sub/c.js"}));
  EXPECT_EQ(list_scripts({L"u/d.js", L"t/*.js", L"t/a.js"}, L""),
            (std::vector<std::wstring>{L"t/a.js", L"t/b.js", L"u/d.js"}));
  EXPECT_EQ(list_scripts({L"**/*.js"}, L"sub"), (std::vector<std::wstring>{L"t/sub/c.js"}));
  EXPECT_THROW(list_scripts({L"t/missing.js"}, L""), ScriptListError);
  std::filesystem::current_path(here);
  EXPECT_TRUE(glob_match(L"a/*/c.js", L"a/b/c.js"));
  EXPECT_FALSE(glob_match(L"a/*.js", L"a/b/c.js"));
  EXPECT_TRUE(glob_match(L"a/**/c.js", L"a/c.js"));
  EXPECT_TRUE(glob_match(L"a/?.js", L"a/b.js"));
}

// Scripts outside the current folder keep their files under the output
// folder by their path below the folder, file or glob that named them,
// not by their whole absolute path.
TEST(ScriptList, OutputNamesBelowTheNamedFolder) {
  quorvane_test::TempDir dir;
  for (const char* f : {"suite/login/title.js", "suite/plain.js", "other/x.js"}) {
    std::filesystem::create_directories(std::filesystem::path(dir.file(f)).parent_path());
    quorvane_test::write_file(dir.file(f), "");
  }
  const std::wstring root = std::filesystem::path(dir.path()).wstring();
  const std::vector<std::wstring> named = {root + L"/suite", root + L"/other/x.js", root + L"/suite/login/*.js"};
  EXPECT_EQ(output_name(root + L"/suite/plain.js", named), L"plain.js");
  EXPECT_EQ(output_name(root + L"/suite/login/title.js", named), L"title.js");  // the closest: the glob's folder
  EXPECT_EQ(output_name(root + L"/other/x.js", named), L"x.js");
  EXPECT_EQ(script_stem(output_name(root + L"/suite/login/title.js", {root + L"/suite"})), "scripts/login/title");
  EXPECT_EQ(output_name(L"t/a.js", named), L"t/a.js");  // under the current folder: as it is shown
  EXPECT_EQ(output_name(L"/elsewhere/a.js", named), L"/elsewhere/a.js");
}

}  // namespace
}  // namespace Tavrin::Suite
