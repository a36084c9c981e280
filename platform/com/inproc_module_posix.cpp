#include <dlfcn.h>

#include <map>
#include <mutex>
#include <utility>

#include "platform/com/inproc_module_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com {
namespace {

// One loaded module; unloads it when it goes. Move-only.
class LoadedModule {
 public:
  explicit LoadedModule(void* handle) : handle_(handle) {}
  LoadedModule(LoadedModule&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  LoadedModule& operator=(LoadedModule&&) = delete;
  LoadedModule(const LoadedModule&) = delete;
  ~LoadedModule() {
    if (handle_) dlclose(handle_);
  }

  template <class Function>
  Function entry(const char* name) const {
    return reinterpret_cast<Function>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

std::mutex& modules_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::wstring, LoadedModule>& modules() {
  static auto* loaded = new std::map<std::wstring, LoadedModule>();  // lives as long as the process
  return *loaded;
}

}  // namespace

HRESULT module_class_object_entry(const std::wstring& path, LPFNGETCLASSOBJECT* entry) {
  std::lock_guard<std::mutex> lock(modules_mutex());
  auto it = modules().find(path);
  if (it == modules().end()) {
    void* handle = dlopen(to_utf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_DLLNOTFOUND;
    it = modules().emplace(path, LoadedModule(handle)).first;
  }
  *entry = it->second.entry<LPFNGETCLASSOBJECT>("DllGetClassObject");
  return *entry ? S_OK : CO_E_ERRORINDLL;
}

void unload_unused_modules() {
  std::lock_guard<std::mutex> lock(modules_mutex());
  for (auto it = modules().begin(); it != modules().end();) {
    const auto can_unload = it->second.entry<LPFNCANUNLOADNOW>("DllCanUnloadNow");
    if (can_unload && can_unload() == S_OK)
      it = modules().erase(it);
    else
      ++it;
  }
}

}  // namespace Tavrin::Platform::Com
