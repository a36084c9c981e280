// Loading a module by path and finding its exported functions: the
// stand-in for LoadLibraryW, GetProcAddress and FreeLibrary (dlopen, dlsym
// and dlclose here). For tools that call a module's entry points, such as
// the registration tool; the component system loads its servers itself.
//
// Thread safety: a LoadedModule belongs to one thread at a time; loading
// and unloading may happen on any thread.
#ifndef QUORVANE_PLATFORM_LOADED_MODULE_H_
#define QUORVANE_PLATFORM_LOADED_MODULE_H_

#include <optional>
#include <string>

#include "platform/export.h"

namespace Tavrin::Platform {

// One loaded module, unloaded when the object goes. Move-only.
class QUORVANE_PLATFORM_EXPORT LoadedModule {
 public:
  // Loads the module at `path` (a path, not a bare name searched for)
  // with all its symbols bound now. nullopt when it cannot be loaded;
  // *error (if given) then says why, as the system's loader puts it.
  static std::optional<LoadedModule> Load(const std::wstring& path, std::string* error = nullptr);

  LoadedModule(LoadedModule&& other) noexcept;
  LoadedModule& operator=(LoadedModule&& other) noexcept;
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule();

  // The exported function `name` as `Function` (a function pointer type),
  // or null when the module does not export it.
  template <class Function>
  Function entry(const char* name) const {
    return reinterpret_cast<Function>(symbol(name));
  }

 private:
  explicit LoadedModule(void* handle) : handle_(handle) {}
  void* symbol(const char* name) const;
  void* handle_ = nullptr;
};

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_LOADED_MODULE_H_
