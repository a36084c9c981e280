// ScreenShot: the whole screen stored as a PNG or BMP file in the test
// results folder; the call returns the file's path.
#include <boost/uuid/uuid_io.hpp>

#include "common/directories.h"
#include "common/logfile_name.h"
#include "platform/display_on_demand.h"
#include "platform/screen.h"
#include "runtime/error_convention.h"
#include "runtime/screen_image.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

constexpr wchar_t kCompany[] = L"Tavrin Technologies";
constexpr wchar_t kProduct[] = L"Quor Vane";

// "test_results_path" when it is a non-empty string; else today's
// "TestResults/<date>/Images" under the product home, created. The
// TestResults folder exists afterwards in either case.
std::wstring results_folder(const Configuration& configuration) {
  const std::wstring results = Filesystem::get_product_home_directory(kCompany, kProduct, L"TestResults");
  const auto [configured, found] = param_string(configuration, L"runtime", L"test_results_path", results);
  if (found && !configured.empty()) return configured;
  const std::wstring dated = L"TestResults\\" + Logger::date_folder_name(Logger::current_local_date()) + L"\\Images";
  return Filesystem::get_product_home_directory(kCompany, kProduct, dated);
}

}  // namespace

HRESULT CVelmoraScript::ScreenShot(BSTR name, BSTR* path) {
  if (!name || !path) return E_POINTER;
  try {
    const std::wstring shot = Platform::Com::bstr_text(name);
    Platform::need_display();
    const Platform::Screen::Bitmap bitmap = Platform::Screen::capture_screen();
    std::wstring file = results_folder(*configuration_) + L"/" + shot + L"_" +
                        boost::uuids::to_wstring((*uuid_generator_)());
    const std::wstring format = param_string(*configuration_, L"runtime", L"screen_shot_format");
    if (format == L"PNG") {
      file += L".png";
      write_png(file, bitmap);
    } else if (format == L"BMP") {
      file += L".bmp";
      write_bmp(file, bitmap);
    }
    *path = Platform::Com::alloc_bstr(file);
    return S_OK;
  } catch (...) {
    return method_failure(L"Unable to take screenshot");
  }
}

}  // namespace Tavrin::Runtime
