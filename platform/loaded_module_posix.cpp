#include "platform/loaded_module.h"

#include <dlfcn.h>

#include <utility>

#include "platform/text.h"

namespace Tavrin::Platform {

std::optional<LoadedModule> LoadedModule::Load(const std::wstring& path, std::string* error) {
  std::string file = to_utf8(path);
  // A bare name would make dlopen search the library path: load from the
  // current folder instead, as the path says.
  if (file.find('/') == std::string::npos) file = "./" + file;
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* text = ::dlerror();
      *error = text ? text : "cannot load " + file;
    }
    return std::nullopt;
  }
  return LoadedModule(handle);
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
  if (this != &other) {
    if (handle_) ::dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

LoadedModule::~LoadedModule() {
  if (handle_) ::dlclose(handle_);
}

void* LoadedModule::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace Tavrin::Platform
