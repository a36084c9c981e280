#include "runtime/script_object.h"

#include <exception>
#include <iostream>
#include <new>

#include "common/directories.h"
#include "platform/text.h"
#include "runtime/module_locks.h"
#include "runtime/velmora_script_type.h"

namespace Tavrin::Runtime {

CVelmoraScript::CVelmoraScript()
    : ComObject(velmora_script_description()),
      configuration_(std::make_shared<Configuration>()),
      uuid_generator_(std::make_shared<UuidGenerator>()) {
  lock_module();
}

CVelmoraScript::~CVelmoraScript() {
  browsers_.EndAll();
  unlock_module();
}

HRESULT CVelmoraScript::Initialise() noexcept {
  try {
    const std::wstring path = Windows::Filesystem::get_starting_dir_w() + L"/config.xml";
    configuration_->Load(path, {L"common", L"runtime", L"proxy"});
    logger_ = std::make_shared<Logger::ConsoleLogger>(std::wcout);
    try {
      logger_->set_level(Platform::narrow_low8(param_string(*configuration_, L"runtime", L"console_log_level")));
    } catch (const Configuration::ConfigurationError&) {
      // No usable level: every channel stays on.
    }
    max_console_value_ = param_int(*configuration_, L"runtime", L"max_console_value", 50).first;
    return S_OK;
  } catch (const Configuration::ConfigurationError&) {
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  } catch (...) {
    return E_UNEXPECTED;
  }
}


}  // namespace Tavrin::Runtime
