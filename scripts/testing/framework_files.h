// The framework files from Debian's libjs-* packages that the test
// applications load, copied into a site's folder under the names the
// applications use.
#ifndef QUORVANE_SCRIPTS_TESTING_FRAMEWORK_FILES_H_
#define QUORVANE_SCRIPTS_TESTING_FRAMEWORK_FILES_H_

#include <filesystem>
#include <initializer_list>
#include <string>

namespace quorvane_test {

struct FrameworkFile {
  const char* path;  // where the package installs it
  const char* name;  // the name the applications load
};

inline constexpr FrameworkFile kJquery{"/usr/share/javascript/jquery/jquery.js", "jquery.js"};
inline constexpr FrameworkFile kJqueryUi{"/usr/share/javascript/jquery-ui/jquery-ui.js", "jquery-ui.js"};
inline constexpr FrameworkFile kUnderscore{"/usr/share/javascript/underscore/underscore.js", "underscore.js"};
inline constexpr FrameworkFile kBackbone{"/usr/share/javascript/backbone/backbone.js", "backbone.js"};
inline constexpr FrameworkFile kAngular{"/usr/share/javascript/angular.js/angular.js", "angular.js"};
inline constexpr FrameworkFile kVue{"/usr/share/javascript/vue/vue.js", "vue.js"};

// The first of `files` that is not installed, or empty when all are.
inline std::string missing_framework_file(std::initializer_list<FrameworkFile> files) {
  for (const FrameworkFile& file : files) {
    if (!std::filesystem::exists(file.path)) return file.path;
  }
  return std::string();
}

// Copies `files` into `lib` (made when missing); with jQuery UI its themes
// too, as jquery-ui/themes.
inline void copy_framework_files(std::initializer_list<FrameworkFile> files, const std::filesystem::path& lib) {
  namespace fs = std::filesystem;
  fs::create_directories(lib);
  for (const FrameworkFile& file : files) {
    fs::copy_file(file.path, lib / file.name);
    if (std::string(file.path) == kJqueryUi.path) {
      fs::create_directories(lib / "jquery-ui");
      fs::copy("/usr/share/javascript/jquery-ui/themes", lib / "jquery-ui" / "themes", fs::copy_options::recursive);
    }
  }
}

}  // namespace quorvane_test

#endif  // QUORVANE_SCRIPTS_TESTING_FRAMEWORK_FILES_H_
