#include "runtime/testing/stdout_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace Tavrin::Runtime::Testing {

struct StdoutCapture::Impl {
  Target target;
  int saved = -1;       // the original descriptor 1
  int read_end = -1;    // pipe: the end the reader drains
  std::string bytes;    // pipe: what the reader collected
  std::thread reader;
  quorvane_test::TempDir dir;
  std::string file;     // file: where descriptor 1 writes
  bool finished = false;

  void Open() {
    int write_end = -1;
    if (target == Target::kPipe) {
      int ends[2];
      ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
      read_end = ends[0];
      write_end = ends[1];
    } else {
      file = dir.file("stdout.txt");
      write_end = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ASSERT_GE(write_end, 0);
    }
    saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ::dup2(write_end, STDOUT_FILENO);  // the new descriptor 1 is inherited by children
    ::close(write_end);
    if (target == Target::kPipe) reader = std::thread([this] { Drain(); });
  }

  void Drain() {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(read_end, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  }

  void Restore() {
    if (saved < 0) return;
    std::wcout.flush();
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    saved = -1;
    if (reader.joinable()) reader.join();
    if (read_end >= 0) ::close(read_end);
    read_end = -1;
  }
};

StdoutCapture::StdoutCapture(Target target) : impl_(std::make_unique<Impl>()) {
  impl_->target = target;
  std::ios_base::sync_with_stdio(false);
  std::wcout.flush();
  std::cout.flush();
  std::fflush(stdout);
  impl_->Open();
}

StdoutCapture::~StdoutCapture() {
  if (impl_->finished) return;
  // Never finished, and the test failed: what it printed meanwhile
  // (gtest's failure messages among it) is shown on standard error.
  const std::string bytes = Finish();
  if (!::testing::Test::HasFailure()) return;
  std::cerr << "--- standard output while captured ---\n" << bytes << "--- end ---" << std::endl;
}

std::string StdoutCapture::Finish() {
  impl_->Restore();
  impl_->finished = true;
  return impl_->target == Target::kPipe ? impl_->bytes : quorvane_test::read_file(impl_->file);
}

void PrintTo(StdoutCapture::Target target, std::ostream* os) {
  *os << (target == StdoutCapture::Target::kPipe ? "pipe" : "file");
}

}  // namespace Tavrin::Runtime::Testing
