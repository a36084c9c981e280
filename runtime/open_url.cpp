// OpenURL: opens a page in a named or the default browser (browser_launch.h)
// and keeps the browser with the run unless section "runtime" says
// keep_browsers_open.
#include <boost/filesystem/exception.hpp>
#include <boost/system/system_error.hpp>

#include "platform/com/bstr.h"
#include "platform/com/error_info.h"
#include "platform/process_watch.h"
#include "runtime/browser_launch.h"
#include "runtime/error_convention.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

HRESULT fail(const wchar_t* description, HRESULT result) {
  set_error_description(description);
  return result;
}

}  // namespace

HRESULT CVelmoraScript::OpenURL(BSTR browser, BSTR url) {
  if (!browser || !url) return E_POINTER;
  try {
    const auto arguments =
        browser_arguments(Platform::Com::bstr_text(browser), Platform::Com::bstr_text(url), *configuration_);
    const bool keep_open = param_bool(*configuration_, L"runtime", L"keep_browsers_open", false).first;
    const std::optional<int> owner =
        keep_open ? std::nullopt : std::optional<int>(Platform::Process::current_process_id());
    const int pid = start_browser(arguments, owner);
    if (!keep_open) browsers_.Add(pid);
    return S_OK;
  } catch (const boost::system::error_code&) {
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const Configuration::ConfigurationError&) {
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const boost::filesystem::filesystem_error&) {
    return fail(L"Unknown error", E_UNEXPECTED);
  } catch (const boost::system::system_error&) {
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const _com_error&) {
    return method_failure();
  } catch (...) {
    return fail(L"Unknown error", E_UNEXPECTED);
  }
}

}  // namespace Tavrin::Runtime
