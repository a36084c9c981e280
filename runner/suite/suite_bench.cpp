// Benchmark of the suite mode through the real programs in Chromium (on
// $DISPLAY, or on each run's private Xvfb when there is none): the wall
// time of a suite of 20 page scripts with 1 and with 2 workers (and their
// ratio), and the time from the suite's start to the first script's first
// page (seen as the first page record in a log).
// Prints figures; asserts nothing. Usage: suite_bench [rounds] (default 1).
//
// Like the end-to-end tests, it uses a private copy of build/bin with a
// free port, registered in a private home folder (bench_installation.h).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "scripts/bench/bench_installation.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using quorvane_test::read_file;
using quorvane_test::write_file;

constexpr const char kChromium[] = "/usr/lib/chromium/chromium";

// One page script: the sign-in page, a typed field and a click.
std::string page_script(int i) {
  return "test(\"page script " + std::to_string(i) + "\", function () {\n"
         "  var page = open(\"/index.html\");\n"
         "  assertEqual(page.title(), \"Login\", \"title\");\n"
         "  page.element(\"#user\", \"user field\").type(\"guest\");\n"
         "  page.element(\"#help\", \"help link\").click();\n"
         "  assertEqual(page.title(), \"Help\", \"help page\");\n"
         "});\n";
}

// Whether any log under `folder` holds a page record yet.
bool page_seen(const std::string& folder) {
  std::error_code ignored;
  if (!fs::exists(folder, ignored)) return false;
  for (fs::recursive_directory_iterator it(folder, ignored), end; it != end; it.increment(ignored))
    if (it->path().extension() == ".log" && read_file(it->path().string()).find("\npage: ") != std::string::npos)
      return true;
  return false;
}

struct Figures {
  double wall = 0;
  double first_page = -1;
  int exit = -1;
};

Figures run_suite(const std::string& bin, const std::string& dir, int workers) {
  const std::string out = dir + "/out" + std::to_string(workers);
  fs::remove_all(out);
  Tavrin::Platform::Process::StartOptions start;
  start.arguments = {bin + "/Quorvane", "--mode=suite", "--workers", std::to_string(workers), "--out", out,
                     "-s", "login.example.test", "-b", "chromium", dir + "/scripts"};
  start.working_directory = dir;
  start.output = Tavrin::Platform::Process::StartOptions::Output::kDiscard;
  Figures f;
  const auto started = Clock::now();
  auto child = Tavrin::Platform::Process::start(start);
  for (;;) {
    if (auto status = child.WaitFor(std::chrono::milliseconds(20))) {
      f.exit = status->windows_code();
      break;
    }
    if (f.first_page < 0 && page_seen(out + "/scripts"))
      f.first_page = std::chrono::duration<double>(Clock::now() - started).count();
  }
  f.wall = std::chrono::duration<double>(Clock::now() - started).count();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (!fs::exists(kChromium)) {
    std::printf("%s is not installed\n", kChromium);
    return 1;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  quorvane_test::TempDir home;
  quorvane_bench::use_private_home(home);
  quorvane_bench::Installation installation;
  if (!installation.ok()) {
    std::printf("the installation failed\n");
    return 1;
  }
  const std::string& bin = installation.bin();
  const std::string& dir = installation.folder();
  fs::create_directories(dir + "/scripts");
  for (int i = 1; i <= 20; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "scripts/page%02d.js", i);
    write_file(dir + "/" + name, page_script(i));
  }
  const char* display = std::getenv("DISPLAY");
  std::printf("suite of 20 page scripts, Chromium %s, %u cores\n",
              display && *display ? "on $DISPLAY" : "on each run's private Xvfb", std::thread::hardware_concurrency());
  for (int round = 1; round <= rounds; ++round) {
    const Figures one = run_suite(bin, dir, 1);
    const Figures two = run_suite(bin, dir, 2);
    std::printf("round %d: 1 worker %.2f s (exit %d), 2 workers %.2f s (exit %d), ratio %.2f; "
                "first page after %.2f s / %.2f s\n",
                round, one.wall, one.exit, two.wall, two.exit, two.wall / one.wall, one.first_page, two.first_page);
    std::fflush(stdout);
  }
  return 0;
}
