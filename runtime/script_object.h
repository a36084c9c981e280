// CVelmoraScript: the runtime object. One instance serves one script run:
// it owns the run's configuration (sections "common", "runtime" and "proxy"
// of config.xml plus the parameters put by the runner and the script), its
// own console logger, the UUID generator, the script's full name and the
// state of the console echo.
//
// The object is created by its class factory, which runs Initialise before
// handing out the first interface pointer. The reference count is the
// shared base's atomic one; the methods are called on the script engine's
// thread.
// Every method catches what its work throws and answers with an HRESULT
// (see error_convention.h).
#ifndef QUORVANE_RUNTIME_SCRIPT_OBJECT_H_
#define QUORVANE_RUNTIME_SCRIPT_OBJECT_H_

#include <memory>
#include <string>

#include <boost/uuid/random_generator.hpp>

#include "common/configuration.h"
#include "common/logger.h"
#include "runtime/console_echo.h"
#include "platform/com/com_object.h"
#include "platform/com/com_ptr.h"
#include "platform/com/type_description.h"
#include "proxy/velmora_proxy.h"
#include "runtime/run_browsers.h"
#include "runtime/velmora_script.h"

namespace Tavrin::Runtime {

// The run's current page: the one the last answer that named a page
// concerned (Remote reads it from the answer). The echo prints the page
// header before the next event while `pending` is set, and clears it.
struct PageState {
  bool pending = false;
  std::wstring uuid;
  std::wstring url;
  std::wstring title;
};

// IUnknown answers IUnknown, IDispatch and IVelmoraScript only.
class CVelmoraScript final
    : public Platform::Com::ComObject<Platform::Com::DispatchImpl<IVelmoraScript>, IVelmoraScript, IDispatch> {
 public:
  using UuidGenerator = boost::uuids::random_generator_mt19937;

  // A new object holding one reference, not yet initialised. The UUID
  // generator is created and seeded from system entropy here.
  CVelmoraScript();

  // Loads the configuration from config.xml in the running program's
  // directory, creates the console logger on the process's wide standard
  // output and applies console_log_level and max_console_value. Returns
  // E_FAIL for a configuration error or another standard exception,
  // E_OUTOFMEMORY when memory runs out, E_UNEXPECTED for anything else; no
  // error description is set.
  HRESULT Initialise() noexcept;

  // IVelmoraScript.
  HRESULT Sleep(LONG time) override;
  HRESULT Echo(SAFEARRAY* args) override;
  HRESULT get_scriptFullName(BSTR* value) override;
  HRESULT put_scriptFullName(BSTR value) override;
  HRESULT CreateObject(BSTR prog_id, IDispatch** object) override;
  HRESULT Remote(BSTR command, BSTR* value) override;
  HRESULT BenchExec(BSTR file_path, LONG* exit_code) override;
  HRESULT PutParameter(BSTR key, BSTR value) override;
  HRESULT GetParameter(BSTR name, BSTR* value) override;
  HRESULT Ping(ULONGLONG* count) override;
  HRESULT ScreenShot(BSTR name, BSTR* path) override;
  HRESULT LogNode(BSTR uuid, BSTR type, BSTR name, BSTR value) override;
  HRESULT LogElement(BSTR name, BSTR uuid) override;
  HRESULT GenerateUUID(BSTR* uuid) override;
  HRESULT OpenURL(BSTR browser, BSTR url) override;

  // State shared with the console echo, screenshots and nested runs.
  PageState& page_state() { return page_; }
  const std::wstring& script_full_name() const { return script_full_name_; }
  int max_console_value() const { return max_console_value_; }
  Configuration& configuration() { return *configuration_; }
  Logger::ConsoleLogger& logger() { return *logger_; }
  UuidGenerator& uuid_generator() { return *uuid_generator_; }
  EchoState& echo_state() { return echo_state_; }

 private:
  ~CVelmoraScript();

  // The console echo over this object's state.
  ConsoleEcho echo();

  std::shared_ptr<Configuration> configuration_;
  std::shared_ptr<UuidGenerator> uuid_generator_;
  std::wstring script_full_name_;
  std::shared_ptr<Logger::ConsoleLogger> logger_;
  int max_console_value_ = 50;
  PageState page_;
  EchoState echo_state_;
  // The proxy object that Remote talks to, made on the first command and
  // kept for the run, so that a command costs one call to the proxy and
  // not a connection of its own; dropped when the proxy is found gone.
  Platform::Com::ComPtr<IVelmoraProxy> proxy_;
  // The browsers OpenURL started; closed when the object goes.
  RunBrowsers browsers_;
};

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_SCRIPT_OBJECT_H_
