#include "runner/suite/suite_options.h"

#include <cstdlib>
#include <sstream>

#include <boost/program_options.hpp>

#include "platform/text.h"

namespace po = boost::program_options;

namespace Tavrin::Suite {

namespace {

int parse_count(const std::wstring& text, const char* what, int least) {
  std::size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || text.empty() || value < least)
    throw SuiteOptionsError(std::string("bad value for ") + what + ": " + Platform::to_utf8(text));
  return value;
}

po::variables_map parse(const std::vector<std::wstring>& tokens, const po::options_description& options) {
  po::positional_options_description positional;
  positional.add("exec", 1).add("path", -1);
  po::variables_map values;
  try {
    po::store(po::wcommand_line_parser(tokens).options(options).positional(positional).run(), values);
    po::notify(values);
  } catch (const std::exception& e) {
    throw SuiteOptionsError(e.what());
  }
  return values;
}

void add_common(po::options_description& options) {
  options.add_options()
      ("mode,m", po::wvalue<std::wstring>())
      ("exec", po::wvalue<std::wstring>())
      ("path", po::wvalue<std::vector<std::wstring>>());
}

}  // namespace

Shard parse_shard(const std::wstring& text) {
  std::wstring index, count;
  if (text == L"auto") {
    const char* i = std::getenv("CI_NODE_INDEX");
    const char* n = std::getenv("CI_NODE_TOTAL");
    if (!i || !n || !*i || !*n) return Shard{};
    index = Platform::from_utf8(i);
    count = Platform::from_utf8(n);
  } else {
    const auto slash = text.find(L'/');
    if (slash == std::wstring::npos) throw SuiteOptionsError("bad shard, expected K/N: " + Platform::to_utf8(text));
    index = text.substr(0, slash);
    count = text.substr(slash + 1);
  }
  Shard shard{parse_count(index, "the shard index", 1), parse_count(count, "the shard count", 1)};
  if (shard.index > shard.count)
    throw SuiteOptionsError("bad shard: index above count: " + Platform::to_utf8(text));
  return shard;
}

void add_suite_options(po::options_description& group) {
  group.add_options()
      ("workers", po::wvalue<std::wstring>()->value_name("N"), "scripts run at the same time (default: one per core)")
      ("grep", po::wvalue<std::wstring>()->value_name("TEXT"), "only scripts whose path contains TEXT")
      ("out", po::wvalue<std::wstring>()->value_name("DIR"), "output folder (default: quorvane-results)")
      ("shard", po::wvalue<std::wstring>()->value_name("K/N"),
       "run part K of N; 'auto' reads CI_NODE_INDEX and CI_NODE_TOTAL")
      ("retries", po::wvalue<std::wstring>()->value_name("N"), "run a failed script again, up to N times")
      ("har", po::bool_switch(), "write each script's requests as HAR beside its log, linked from the report")
      ("timeout", po::wvalue<std::wstring>()->value_name("SECONDS"),
       "end a script (and its browsers) that runs longer");
}

SuiteOptions parse_suite_options(const std::vector<std::wstring>& tokens) {
  po::options_description options;
  add_common(options);
  add_suite_options(options);
  options.add_options()
      ("server,s", po::wvalue<std::wstring>())
      ("port,p", po::wvalue<std::wstring>())
      ("browser,b", po::wvalue<std::wstring>());
  const po::variables_map values = parse(tokens, options);
  SuiteOptions result;
  if (values.count("path")) result.paths = values["path"].as<std::vector<std::wstring>>();
  if (result.paths.empty()) throw SuiteOptionsError("no test scripts named");
  auto text = [&](const char* name) { return values[name].as<std::wstring>(); };
  if (values.count("grep")) result.grep = text("grep");
  if (values.count("workers")) result.workers = parse_count(text("workers"), "--workers", 1);
  if (values.count("out")) result.out = text("out");
  if (values.count("shard")) result.shard = parse_shard(text("shard"));
  if (values.count("retries")) result.retries = parse_count(text("retries"), "--retries", 0);
  result.har = values.count("har") && values["har"].as<bool>();
  if (values.count("timeout")) result.timeout = parse_count(text("timeout"), "--timeout", 1);
  if (values.count("server")) result.server = text("server");
  if (values.count("port")) result.port = text("port");
  if (values.count("browser")) result.browser = text("browser");
  return result;
}

MergeOptions parse_merge_options(const std::vector<std::wstring>& tokens) {
  po::options_description options;
  add_common(options);
  options.add_options()("out", po::wvalue<std::wstring>());
  const po::variables_map values = parse(tokens, options);
  MergeOptions result;
  if (!values.count("out")) throw SuiteOptionsError("no output folder (--out) to merge into");
  result.out = values["out"].as<std::wstring>();
  if (values.count("path")) result.parts = values["path"].as<std::vector<std::wstring>>();
  if (result.parts.empty()) throw SuiteOptionsError("no output folders of shards to merge");
  return result;
}

std::string suite_usage() {
  po::options_description group("Suite mode options", kUsageLineLength, kUsageDescriptionColumn);
  add_suite_options(group);
  std::ostringstream text;
  text << "Usage: Quorvane --mode=suite [options] [-s HOST] [-p PORT] [-b BROWSER] PATH...\n"
       << "  PATH: a test script, a folder (its *.js files) or a glob\n"
       << group << "Usage: Quorvane --mode=merge --out DIR PART_DIR...\n";
  return text.str();
}

}  // namespace Tavrin::Suite
