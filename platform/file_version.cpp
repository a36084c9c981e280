#include "platform/file_version.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include "platform/process.h"
#include "platform/text.h"

namespace Tavrin::Platform {
namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

[[noreturn]] void fail(int code) { throw boost::system::error_code(code, boost::system::system_category()); }

std::uint32_t read_u32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// "VS_VERSION_INFO" in UTF-16LE, the key of the version resource's root.
std::string version_key() {
  std::string key;
  for (char c : std::string_view("VS_VERSION_INFO")) {
    key.push_back(c);
    key.push_back('\0');
  }
  return key;
}

}  // namespace

std::optional<FileVersion> version_from_resource(std::string_view bytes) {
  static const std::string key = version_key();
  for (std::size_t pos = bytes.find(key); pos != std::string_view::npos; pos = bytes.find(key, pos + 1)) {
    // The key (16 wide characters with its NUL) follows three words of
    // header; the fixed information starts at the next 32-bit boundary.
    for (std::size_t at = pos + 32; at <= pos + 40 && at + 16 <= bytes.size(); at += 2) {
      if (read_u32(bytes, at) != kFixedInfoSignature) continue;
      const std::uint32_t ms = read_u32(bytes, at + 8);
      const std::uint32_t ls = read_u32(bytes, at + 12);
      return FileVersion{ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF};
    }
  }
  return std::nullopt;
}

std::optional<FileVersion> version_from_text(std::string_view text) {
  static const std::regex dotted(R"((\d+)\.(\d+)(?:\.(\d+))?(?:\.(\d+))?)");
  std::match_results<std::string_view::const_iterator> match;
  if (!std::regex_search(text.begin(), text.end(), match, dotted)) return std::nullopt;
  auto part = [&](int i) -> unsigned {
    if (!match[i].matched) return 0;
    try {
      return static_cast<unsigned>(std::stoul(match[i].str()) & 0xFFFF);
    } catch (const std::exception&) {
      return 0;
    }
  };
  return FileVersion{part(1), part(2), part(3), part(4)};
}

FileVersion file_version(const std::wstring& path, std::chrono::milliseconds timeout) {
  const std::string native = to_utf8(path);
  std::ifstream in(native, std::ios::binary);
  if (!in) fail(ENOENT);
  char magic[2] = {};
  in.read(magic, 2);
  if (in.gcount() == 2 && magic[0] == 'M' && magic[1] == 'Z') {
    in.seekg(0);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (auto version = version_from_resource(bytes)) return *version;
    fail(ENODATA);
  }
  in.close();

  Process::StartOptions options;
  options.arguments = {native, "--version"};
  options.output = Process::StartOptions::Output::kCapture;
  std::string output;
  try {
    Process::Child child = Process::start(options);
    const auto status = child.WaitFor(timeout, &output);
    if (!status) {
      child.Kill();
      fail(ENODATA);
    }
  } catch (const boost::system::system_error&) {
    fail(ENODATA);
  }
  if (auto version = version_from_text(output)) return *version;
  fail(ENODATA);
}

}  // namespace Tavrin::Platform
