// A stand-in for the runner in the nested-suite tests, placed as
// "Quorvane" beside a private copy of the test program. It records its
// current folder and its arguments, one per line, in the file named by
// QUORVANE_RECORD_FILE (when set), prints one line on standard output and
// ends with the exit status given in QUORVANE_RECORD_EXIT (0 when unset).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (const char* record = std::getenv("QUORVANE_RECORD_FILE")) {
    std::ofstream out(record, std::ios::binary | std::ios::trunc);
    out << std::filesystem::current_path().string() << '\n';
    for (int i = 0; i < argc; ++i) out << argv[i] << '\n';
    if (!out) return 100;
  }
  std::cout << "child: " << (argc > 1 ? argv[1] : "") << '\n';
  const char* status = std::getenv("QUORVANE_RECORD_EXIT");
  return status ? std::atoi(status) : 0;
}
