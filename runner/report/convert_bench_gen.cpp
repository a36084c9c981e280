// Writes a synthetic test log of about the given size for the convert
// benchmark (convert_bench.sh): suites of test files, tests, pages,
// elements, actions, assertions, results and the informational kinds, with
// multi-byte UTF-8 text throughout and now and then a long value.
//
//   convert_bench_gen SIZE_MB OUTPUT
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

const char* const kWords[] = {"login",  "Grüße", "日本語", "Привет", "🙂 ok", "naïve café",
                              "click",  "submit", "a<b",    "x & y",  "\"q\"",  "Ελληνικά"};

class LogWriter {
 public:
  explicit LogWriter(std::FILE* out) : out_(out), random_(20110128) {}

  // Writes records until about `bytes` have been written.
  void Write(unsigned long long bytes) {
    while (written_ < bytes) Suite();
    Flush();
  }

 private:
  std::string Word() { return kWords[random_() % (sizeof kWords / sizeof *kWords)]; }
  // A short text, or once in 400 records a value of 4 KiB to 256 KiB.
  std::string Value() {
    if (random_() % 400 != 0) return Word() + " " + Word() + " " + std::to_string(random_() % 1000);
    std::string value;
    const std::size_t size = 4096u << (random_() % 7);
    while (value.size() < size) value += Word() + "[\\n]";
    return value;
  }
  std::string Uuid() {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-4%03x-8%03x-%012llx", static_cast<unsigned>(random_()),
                  static_cast<unsigned>(random_() & 0xFFFF), static_cast<unsigned>(random_() & 0xFFF),
                  static_cast<unsigned>(random_() & 0xFFF),
                  static_cast<unsigned long long>(random_()) << 16 | (random_() & 0xFFFF));
    return text;
  }
  void Record(const char* kind, const std::string& attributes) {
    buffer_ += kind;
    buffer_ += ": ";
    buffer_ += attributes;
    buffer_ += " date=[[[2011-01-28 11:14:17]]]\n";
    if (buffer_.size() > (1u << 20)) Flush();
  }
  void Event(const char* kind, const std::string& uuid) {
    Record(kind, "name=[[[" + Word() + "]]] value=[[[" + Value() + "]]] uuid=[[[" + uuid + "]]]");
  }
  void Suite() {
    Record("suite", "source=[[[login.js]]] browser=[[[firefox]]] host=[[[127.0.0.1]]]");
    for (int f = 0; f < 3; ++f) {
      Record("testfile", "source=[[[" + Word() + ".js]]]");
      for (int t = 0; t < 5; ++t) Test();
      Record("stats", "name=[[[testfile]]] value=[[[5 passed]]] uuid=[[[]]]");
    }
  }
  void Test() {
    Event("test", "");
    Event("param", "");
    for (int p = 0; p < 2; ++p) {
      Record("page", "name=[[[" + Word() + "]]] url=[[[/index.html]]] uuid=[[[" + Uuid() + "]]]");
      Event("action", "");
      Event("result", "");
      for (int e = 0; e < 3; ++e) {
        const std::string uuid = Uuid();
        Record("element", "name=[[[" + Word() + "]]] uuid=[[[" + uuid + "]]]");
        Event("action", uuid);
        Event("result", "");
        Event("assert", uuid);
        Event("result", "");
        Event("info", "");
      }
      Event("screenshot", "");
      Event("verbose", "");
      Event("message", "");
    }
    Event("error", "");
    Record("stats", "name=[[[test]]] value=[[[3 passed, 1 failed]]] uuid=[[[]]]");
  }
  void Flush() {
    std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
    written_ += buffer_.size();
    buffer_.clear();
  }

  std::FILE* out_;
  std::mt19937 random_;
  std::string buffer_;
  unsigned long long written_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: convert_bench_gen SIZE_MB OUTPUT\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::perror(argv[2]);
    return 2;
  }
  LogWriter(out).Write(std::strtoull(argv[1], nullptr, 10) * 1000000ull);
  return std::fclose(out) == 0 ? 0 : 2;
}
