#include "common/script_injector.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <shared_mutex>

#include "common/page_injection.h"
#include "common/resource_codec_internal.h"
#include "platform/text.h"

namespace Tavrin {

struct ScriptInjector::Imp {
  mutable std::shared_mutex lock;
  Files files;
};

namespace {

// The files of the package at path; none when it cannot be opened.
Files read_package(const std::wstring& path) {
  const std::string native = Platform::to_utf8(path);
  std::error_code ignored;
  if (std::filesystem::is_directory(native, ignored)) return Files();
  std::ifstream in(native, std::ios::binary);
  if (!in.is_open()) return Files();
  return decode_package(in);
}

// The whole contents of the file at path; empty when it cannot be read.
std::string read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string contents;
  if (!in.is_open()) return contents;
  char buffer[64 * 1024];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    contents.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  return contents;
}

std::string with_reason(std::string message, int error) {
  if (error != 0) message.append(": ").append(std::strerror(error));
  return message;
}

}  // namespace

ScriptInjector::ScriptInjector() : imp_(std::make_unique<Imp>()) {}

ScriptInjector::ScriptInjector(const std::wstring& path) : imp_(std::make_unique<Imp>()) {
  std::unique_lock lock(imp_->lock);
  imp_->files = read_package(path);
}

ScriptInjector::ScriptInjector(const ScriptInjector& other) : imp_(std::make_unique<Imp>()) {
  std::shared_lock lock(other.imp_->lock);
  imp_->files = other.imp_->files;
}

ScriptInjector& ScriptInjector::operator=(const ScriptInjector& other) {
  if (this != &other) {
    ScriptInjector copy(other);
    Swap(copy);
  }
  return *this;
}

ScriptInjector::~ScriptInjector() = default;

void ScriptInjector::Swap(ScriptInjector& other) noexcept { imp_.swap(other.imp_); }

void ScriptInjector::Load(const std::wstring& path) {
  Files loaded = read_package(path);
  std::unique_lock lock(imp_->lock);
  imp_->files.files.swap(loaded.files);
}

void ScriptInjector::AddFile(const std::pair<std::string, std::string>& file, bool inject,
                             File::MIMEType type) {
  // Read before locking, so pages are not kept waiting on the disk.
  File added(file.first, read_whole_file(file.second), inject, type);
  std::unique_lock lock(imp_->lock);
  imp_->files.files.emplace_back();
  imp_->files.files.back().Swap(added);
}

const File ScriptInjector::GetFile(const std::string& request) const {
  std::shared_lock lock(imp_->lock);
  for (const File& file : imp_->files.files) {
    if (request.find(file.Name()) != std::string::npos) return file;
  }
  return File();
}

void ScriptInjector::Serialize() const { Serialize(L"Resource.dat"); }

void ScriptInjector::Serialize(const std::wstring& path) const {
  const std::string bytes = encode_package(imp_->files);
  const std::string native = Platform::to_utf8(path);
  errno = 0;
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) {
    throw PackageError(with_reason("Unable to create resource package " + native, errno));
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    const int error = errno;
    std::remove(native.c_str());
    throw PackageError(with_reason("Unable to write resource package " + native, error));
  }
}

void ScriptInjector::InjectToStreamANSI(std::string& page) const {
  std::string elements;
  {
    // The page belongs to the caller: the lock covers the files only, so a
    // large page does not keep a reload waiting.
    std::shared_lock lock(imp_->lock);
    elements = script_elements(imp_->files.files);
  }
  if (elements.empty()) return;
  const std::size_t at = find_insertion_point(page);
  if (at != std::string::npos) page.insert(at, elements);
}

void swap(ScriptInjector& a, ScriptInjector& b) noexcept { a.Swap(b); }

}  // namespace Tavrin
