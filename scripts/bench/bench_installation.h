// For the page benchmarks: a private copy of build/bin with a free port,
// registered in a private home folder, and runs of benchmark scripts in
// headless Chromium against the example site, whose figures are the
// messages that start with "bench ".
#ifndef QUORVANE_SCRIPTS_BENCH_BENCH_INSTALLATION_H_
#define QUORVANE_SCRIPTS_BENCH_BENCH_INSTALLATION_H_

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "test_support/local_processes.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace quorvane_bench {

namespace fs = std::filesystem;
using quorvane_test::free_port;
using quorvane_test::processes_from;
using quorvane_test::read_file;
using quorvane_test::run_program;
using quorvane_test::write_file;

// A private home, runtime folder and machine hive for the process, as the
// tests have; `home` keeps them.
inline void use_private_home(const quorvane_test::TempDir& home) {
  for (const char* sub : {"home", "home/.config", "home/.local/share", "run", "machine"})
    fs::create_directories(home.file(sub));
  fs::permissions(home.file("run"), fs::perms::owner_all);
  ::setenv("HOME", home.file("home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", home.file("home/.config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", home.file("home/.local/share").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", home.file("run").c_str(), 1);
  ::setenv("QUORVANE_MACHINE_DIR", home.file("machine").c_str(), 1);
}

class Installation {
 public:
  explicit Installation(bool socket = true) {
    bin_ = dir_.file("bin");
    fs::copy(QUORVANE_BIN_DIR, bin_, fs::copy_options::recursive);
    std::string config = read_file(bin_ + "/config.xml");
    replace(config, "<parameter id=\"port\" type=\"integer\"><value>8888</value>",
            "<parameter id=\"port\" type=\"integer\"><value>" + std::to_string(free_port()) + "</value>");
    if (!socket)
      replace(config, "<parameter id=\"page_socket\" type=\"boolean\"><value>1</value>",
              "<parameter id=\"page_socket\" type=\"boolean\"><value>0</value>");
    // The figures are echoed in full.
    replace(config, "<parameter id=\"max_console_value\" type=\"integer\"><value>50</value>",
            "<parameter id=\"max_console_value\" type=\"integer\"><value>1000</value>");
    write_file(bin_ + "/config.xml", config);
    const auto install = run_program({bin_ + "/QuorvaneHelper", "/Install"});
    ok_ = install.exit == 0;
    if (!ok_) std::printf("%s%s", install.out.c_str(), install.err.c_str());
  }

  // The proxy and its guard end some seconds after the last run.
  ~Installation() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (processes_from(dir_.path()) > 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }

  bool ok() const { return ok_; }
  // The private copy of build/bin, and the folder it lies in.
  const std::string& bin() const { return bin_; }
  const std::string& folder() const { return dir_.path(); }

  // Puts a page into the example site.
  void add_page(const std::string& name, const std::string& html) const {
    fs::create_directories(fs::path(bin_ + "/examples/site/" + name).parent_path());
    write_file(bin_ + "/examples/site/" + name, html);
  }

  // Runs `script`; the "bench ..." messages it echoed, one a line.
  // With `whole`, all it printed.
  std::string run(const std::string& script, const std::string& browser = "chromium", bool whole = false) {
    write_file(dir_.file("bench.js"), script);
    std::remove(dir_.file("bench.log").c_str());
    quorvane_test::RunOptions options;
    options.working_directory = dir_.path();
    options.merge_error = true;
    const auto run = run_program({bin_ + "/Quorvane", dir_.file("bench.js"), "-s", "login.example.test", "-b",
                                  browser, "--log", dir_.file("bench.log")},
                                 options);
    if (whole) return run.out;
    std::string figures;
    std::istringstream echo(run.out);
    const std::string marker = "message: message=\"bench ";
    for (std::string line; std::getline(echo, line);) {
      const std::size_t at = line.find(marker);
      if (at == std::string::npos) continue;
      const std::size_t from = at + marker.size();
      figures += "  " + line.substr(from, line.find('"', from) - from) + "\n";
    }
    if (figures.empty()) figures = "  (no figures; the run printed:)\n" + run.out;
    return figures;
  }

 private:
  static void replace(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }

  quorvane_test::TempDir dir_;
  std::string bin_;
  bool ok_ = false;
};

}  // namespace quorvane_bench

#endif  // QUORVANE_SCRIPTS_BENCH_BENCH_INSTALLATION_H_
