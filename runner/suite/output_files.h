// The files of a suite's output folder: whole files read and written as
// bytes, folders made on the way, and the per-script file names.
#ifndef QUORVANE_RUNNER_SUITE_OUTPUT_FILES_H_
#define QUORVANE_RUNNER_SUITE_OUTPUT_FILES_H_

#include <optional>
#include <stdexcept>
#include <string>

namespace Tavrin::Suite {

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file; nothing when it cannot be read.
std::optional<std::string> read_bytes(const std::string& path);

// Writes `bytes` to `path`, replacing it and making its folders. The bytes
// go to a new file that is then renamed over the old one, so that a reader,
// or a program killed in the middle, never leaves half a file. Throws
// OutputError naming the file.
void write_bytes(const std::string& path, const std::string& bytes);

// Makes the folder and those above it. Throws OutputError.
void make_folder(const std::string& path);

// The stem of a script's files in the output folder: its display path
// without ".js", with "/" kept (folders under the output folder) and a
// leading "/" or "../" turned into plain folders, so every file stays
// inside the output folder. "tests/login.js" gives "scripts/tests/login".
std::string script_stem(const std::wstring& display_path);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_OUTPUT_FILES_H_
