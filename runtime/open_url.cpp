// OpenURL: opens a page in a named or the default browser (browser_launch.h)
// and keeps the browser with the run unless section "runtime" says
// keep_browsers_open. A run that has an identity (parameter "run") sends its
// browsers through a port of the local proxy of its own, so that runs at
// the same time never reach each other's pages.
#include <cstdint>
#include <optional>
#include <string>

#include <boost/filesystem/exception.hpp>
#include <boost/system/system_error.hpp>

#include <boost/uuid/uuid_io.hpp>

#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/display_on_demand.h"
#include "platform/process_watch.h"
#include "platform/text.h"
#include "proxy/pages/page_protocol.h"
#include "proxy/velmora_proxy.h"
#include "runtime/browser_launch.h"
#include "runtime/error_convention.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

HRESULT fail(const wchar_t* description, HRESULT result) {
  set_error_description(description);
  return result;
}

// Why a run could not have a port of its own, or its browser could not be
// made known as the run's.
struct NoRunPort {
  std::wstring reason;
};

// A run's own port of the local proxy, and the proxy that serves it.
struct RunPort {
  std::wstring run;
  int port = 0;
  Platform::Com::ComPtr<IVelmoraProxy> proxy;
};

// The answer to `command`, as the proxy wrote it; throws NoRunPort with
// `failure` when the proxy does not take it.
std::wstring ask(IVelmoraProxy& proxy, const std::string& command, const wchar_t* failure) {
  Platform::Com::Bstr text, url, title, page;
  Platform::Com::Bstr request(Platform::from_utf8(command));
  if (FAILED(proxy.Command(request.get(), text.put(), url.put(), title.put(), page.put()))) throw NoRunPort{failure};
  return text.str();
}

// The run's own port of the local proxy; none for a run without an
// identity, or when no proxy runs (the browser then goes through
// "proxy"/"port", as it always did). Throws NoRunPort when the proxy runs
// but refuses the run a port: its pages would otherwise mix with others'.
std::optional<RunPort> run_proxy_port(const Configuration& configuration, const std::wstring& command_id) {
  RunPort out;
  try {
    out.run = configuration.Parameter(L"common", L"run").value;
  } catch (const Configuration::ConfigurationError&) {
    return std::nullopt;
  }
  if (out.run.empty()) return std::nullopt;
  if (FAILED(Platform::Com::create_running_object(CLSID_VelmoraProxy, Platform::Com::uuid_of<IVelmoraProxy>(),
                                                  out.proxy.put_void())))
    return std::nullopt;
  // A refusal's answer is shown as it is.
  const std::wstring answer =
      ask(*out.proxy, Proxy::write_run_port_command(Platform::to_utf8(command_id), Platform::to_utf8(out.run)),
          L"the proxy did not take the command");
  if (const std::optional<Proxy::PageAnswer> read = Proxy::read_answer(Platform::to_utf8(answer))) {
    if (const std::optional<std::uint16_t> port = Proxy::run_port_of(*read)) {
      out.port = *port;
      return out;
    }
  }
  throw NoRunPort{L"the proxy gave this run no port of its own: " + answer};
}

// Tells the proxy that process `pid` (the launcher just started) and those
// under it are the run's browser: only they get the tokens that let the
// run drive its pages. The launcher takes far longer to start its browser
// than this call takes; and until the proxy knows the run's browser, its
// documents go without a token, not with a verdict kept for later.
void register_browser(const RunPort& run, int pid, const std::wstring& command_id) {
  const std::wstring answer = ask(*run.proxy,
                                  Proxy::write_run_browser_command(Platform::to_utf8(command_id),
                                                                   Platform::to_utf8(run.run), pid),
                                  L"the proxy did not take the browser");
  const std::optional<Proxy::PageAnswer> read = Proxy::read_answer(Platform::to_utf8(answer));
  if (!read || !read->ok()) throw NoRunPort{L"the proxy did not take the browser as the run's: " + answer};
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
    const std::optional<RunPort> run = run_proxy_port(*configuration_, boost::uuids::to_wstring((*uuid_generator_)()));
    // A run without a screen gets its own now, so that the browser opens a
    // real window (headless only when none can be had).
    Platform::need_display();
    const int pid = start_browser(arguments, owner, run ? std::optional<int>(run->port) : std::nullopt);
    if (!keep_open) browsers_.Add(pid);
    if (run) register_browser(*run, pid, boost::uuids::to_wstring((*uuid_generator_)()));
    return S_OK;
  } catch (const NoRunPort& e) {
    logger_->channel(ScriptLogger::kError) << L"OpenURL: " << e.reason << L"\n";
    return fail(L"Unable to open URL", E_FAIL);
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
