// The op table of scripts/README.md against the agent's own table of ops
// (inject/agent/60_ops.js and the parts that add to it): every op the agent answers is documented, and
// every documented op is answered by the agent or, as its row says, by
// the proxy.

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

const std::string kScripts = QUORVANE_SOURCE_DIR "/scripts/";

// The names of the agent's `ops` object: one entry a line of its table in
// 60_ops.js, and the ops other parts add to it (`ops.name = function`).
std::set<std::string> agent_ops() {
  std::set<std::string> names;
  const std::regex entry(R"(^    ([A-Za-z]+): )");
  const std::regex added(R"(^ +ops\.([A-Za-z]+) = function)");
  for (const auto& part : std::filesystem::directory_iterator(kScripts + "inject/agent")) {
    std::istringstream in(quorvane_test::read_file(part.path().string()));
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (std::regex_search(line, m, added)) names.insert(m[1]);
      if (line == "  var ops = {") { inside = true; continue; }
      if (inside && line == "  };") inside = false;
      if (inside && std::regex_search(line, m, entry)) names.insert(m[1]);
    }
  }
  return names;
}

struct DocumentedOps {
  std::set<std::string> all;
  std::set<std::string> by_proxy;  // rows that say the proxy answers them
};

// The ops named in the first column of the README's op table.
DocumentedOps documented_ops() {
  std::istringstream in(quorvane_test::read_file(kScripts + "README.md"));
  DocumentedOps ops;
  bool inside = false;
  const std::regex name("`([A-Za-z]+)`");
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("| op |")) { inside = true; continue; }
    if (!inside) continue;
    if (!line.starts_with("|")) break;
    if (line.starts_with("|--")) continue;
    const std::string first = line.substr(1, line.find('|', 1) - 1);
    const bool proxy = line.find("answered by the proxy") != std::string::npos;
    for (std::sregex_iterator it(first.begin(), first.end(), name), end; it != end; ++it) {
      ops.all.insert((*it)[1]);
      if (proxy) ops.by_proxy.insert((*it)[1]);
    }
  }
  return ops;
}

TEST(AgentOpsTest, TheReadmeTableNamesEveryOpTheAgentAnswers) {
  const std::set<std::string> agent = agent_ops();
  const DocumentedOps readme = documented_ops();
  ASSERT_GT(agent.size(), 20u) << "the agent's table was not found";
  ASSERT_GT(readme.all.size(), 20u) << "the README's op table was not found";
  for (const std::string& op : agent) EXPECT_TRUE(readme.all.count(op)) << "`" << op << "` is missing in scripts/README.md";
  for (const std::string& op : readme.all) {
    EXPECT_TRUE(agent.count(op) || readme.by_proxy.count(op))
        << "`" << op << "` is documented but neither the agent nor the proxy answers it";
  }
}

}  // namespace
