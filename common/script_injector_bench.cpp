// Prints the throughput of page injection on pages of 10 KB, 1 MB and 50 MB
// (the head tags near the start, near the end, or none of the tags at
// all), and the time to load a package of 1 MB.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/script_injector.h"
#include "platform/text.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Markup that holds many '<' but none of the tags the injection looks for.
std::string filler(std::size_t size) {
  static const std::string kRow =
      "<div class=\"row\"><span>item 12345</span> <a href=\"/x?id=7\">link</a></div>\n";
  std::string text;
  text.reserve(size + kRow.size());
  while (text.size() < size) text += kRow;
  text.resize(size);
  return text;
}

std::string page(std::size_t size, const std::string& where) {
  if (where == "start") {
    const std::string head = "<html><head><title>t</title></head><body>";
    const std::string tail = "</body></html>";
    return head + filler(size - head.size() - tail.size()) + tail;
  }
  if (where == "end") {
    const std::string tail = "</head><body></body></html>";
    return filler(size - tail.size()) + tail;
  }
  return filler(size);
}

// MB/s of InjectToStreamANSI on copies of original; with slack, each copy
// has room for the elements (as a buffer that grew while the page was read
// has), otherwise the string must move to a larger buffer.
double injection_rate(const Tavrin::ScriptInjector& injector, const std::string& original,
                      bool slack) {
  const int runs = static_cast<int>(std::max<std::size_t>(5, (std::size_t{1} << 30) / original.size()));
  std::chrono::duration<double> spent{0};
  for (int i = 0; i < runs; ++i) {
    std::string copy;
    if (slack) copy.reserve(original.size() + 4096);
    copy = original;
    const auto start = Clock::now();
    injector.InjectToStreamANSI(copy);
    spent += Clock::now() - start;
  }
  return static_cast<double>(original.size()) * runs / 1e6 / spent.count();
}

void bench_injection(const Tavrin::ScriptInjector& injector) {
  std::printf("injection throughput, MB/s\n%-6s %-7s %14s %14s\n", "page", "tags", "exact capacity",
              "spare capacity");
  for (std::size_t size : {std::size_t{10} << 10, std::size_t{1} << 20, std::size_t{50} << 20}) {
    for (const char* where : {"start", "end", "absent"}) {
      const std::string original = page(size, where);
      const std::string label = size >= (std::size_t{1} << 20) ? std::to_string(size >> 20) + "MB"
                                                               : std::to_string(size >> 10) + "KB";
      std::printf("%-6s %-7s %14.0f %14.0f\n", label.c_str(), where,
                  injection_rate(injector, original, false), injection_rate(injector, original, true));
    }
  }
}

// JavaScript-like text: compresses about as well as real scripts do.
std::string script_text(std::size_t size, std::mt19937& random) {
  static const char* kWords[] = {"function", "var", "return", "this", "Quorvane", "if", "else",
                                 "for", "(", ")", "{", "}", ";", "=", "+", "\n", "log", "page"};
  std::string text;
  while (text.size() < size) {
    text += kWords[random() % std::size(kWords)];
    text += ' ';
    if (random() % 4 == 0) text += std::to_string(random() % 100000);
  }
  text.resize(size);
  return text;
}

void bench_load(const fs::path& dir) {
  std::mt19937 random(7);
  Tavrin::ScriptInjector builder;
  for (int i = 0; i < 8; ++i) {
    const fs::path source = dir / ("part" + std::to_string(i) + ".js");
    write(source, script_text(128 << 10, random));
    builder.AddFile({source.filename().string(), source.string()}, i % 2 == 0,
                    Tavrin::File::MIMEType::kJavaScript);
  }
  const std::wstring package = Tavrin::Platform::from_utf8((dir / "Resource.dat").string());
  builder.Serialize(package);
  const int runs = 50;
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) Tavrin::ScriptInjector loaded(package);
  const std::chrono::duration<double, std::milli> spent = Clock::now() - start;
  std::printf("\nload of a 1 MB package (%ju bytes on disk): %.2f ms\n",
              static_cast<std::uintmax_t>(fs::file_size(dir / "Resource.dat")), spent.count() / runs);
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("quorvane-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  write(dir / "api.js", "var api;");
  write(dir / "page.js", "var page;");
  Tavrin::ScriptInjector injector;
  injector.AddFile({"host.js", (dir / "api.js").string()}, false, Tavrin::File::MIMEType::kJavaScript);
  injector.AddFile({"api.js", (dir / "api.js").string()}, true, Tavrin::File::MIMEType::kJavaScript);
  injector.AddFile({"page.js", (dir / "page.js").string()}, true, Tavrin::File::MIMEType::kJavaScript);
  bench_injection(injector);
  bench_load(dir);
  fs::remove_all(dir);
  return 0;
}
