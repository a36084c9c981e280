// The small methods of the runtime object: Sleep, Echo, scriptFullName,
// CreateObject, Remote (a page command and its whole answer), PutParameter, GetParameter, Ping and GenerateUUID.
#include <algorithm>
#include <chrono>
#include <thread>

#include <boost/uuid/uuid_io.hpp>

#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/text.h"
#include "proxy/pages/page_protocol.h"
#include "proxy/velmora_proxy.h"
#include "runtime/error_convention.h"
#include "runtime/real_pointer.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

using Platform::Com::alloc_bstr;
using Platform::Com::bstr_text;
using Platform::Com::Bstr;
using Platform::Com::check;
using Platform::Com::ComPtr;
using Platform::Com::Variant;

// Creates an object through IUnknown, the running state, then `Interface`.
template <class Interface>
HRESULT create_running(REFCLSID clsid, ComPtr<Interface>* result) {
  return Platform::Com::create_running_object(clsid, Platform::Com::uuid_of<Interface>(), result->put_void());
}

// The text of one Echo argument: a string as it is, anything else through
// the coercion to string. Throws _com_error when that fails.
std::wstring echo_text(const VARIANT& element) {
  if (element.vt == VT_BSTR) return bstr_text(element.bstrVal);
  Variant text;
  check(VariantChangeType(&text, &element, 0, VT_BSTR));
  return bstr_text(text.bstrVal);
}

}  // namespace

HRESULT CVelmoraScript::Sleep(LONG time) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::max<LONG>(time, 0)));
  return S_OK;
}

HRESULT CVelmoraScript::Echo(SAFEARRAY* args) {
  if (!args) return E_INVALIDARG;
  HRESULT result = S_OK;
  try {
    SAFEARRAY* raw = nullptr;
    check(SafeArrayCopy(args, &raw));
    Variant copy;  // owns the copied array
    copy.vt = VT_ARRAY | VT_VARIANT;
    copy.parray = raw;
    const VARIANT* elements = static_cast<const VARIANT*>(raw->pvData);
    for (ULONG i = 0; i < raw->rgsabound[0].cElements; ++i)
      logger_->channel(ScriptLogger::kMessage) << echo_text(elements[i]);
  } catch (...) {
    result = method_failure();
  }
  logger_->channel(ScriptLogger::kMessage) << L"\n";
  return result;
}

HRESULT CVelmoraScript::get_scriptFullName(BSTR* value) {
  if (!value) return E_INVALIDARG;
  try {
    *value = alloc_bstr(script_full_name_);
    return S_OK;
  } catch (...) {
    return method_failure();
  }
}

HRESULT CVelmoraScript::put_scriptFullName(BSTR value) {
  try {
    script_full_name_ = bstr_text(value);
    return S_OK;
  } catch (...) {
    return method_failure();
  }
}

HRESULT CVelmoraScript::CreateObject(BSTR prog_id, IDispatch** object) {
  if (!prog_id || !object) return E_POINTER;
  CLSID clsid = GUID_NULL;
  const HRESULT lookup = CLSIDFromProgID(prog_id, &clsid);
  if (FAILED(lookup)) return lookup;
  try {
    ComPtr<IDispatch> dispatch;
    const HRESULT hr = create_running(clsid, &dispatch);
    if (hr == E_NOINTERFACE) {
      *object = nullptr;
      return S_OK;
    }
    check(hr);
    *object = dispatch.detach();
    return lookup;
  } catch (...) {
    return method_failure();
  }
}

HRESULT CVelmoraScript::Remote(BSTR command, BSTR* value) {
  if (!command || !value) return E_POINTER;
  if (!proxy_ && FAILED(create_running(CLSID_VelmoraProxy, &proxy_))) return E_POINTER;
  try {
    // Held for the call: a failure below may drop proxy_.
    const ComPtr<IVelmoraProxy> proxy = proxy_;
    const RemoteSend send = [&](const std::string& sent) {
      Bstr answer;
      const HRESULT hr = proxy->Command(Bstr(Platform::from_utf8(sent)).get(), answer.put());
      // A proxy that went away is made anew by the next command. This one
      // is not sent again: it may have reached its page already.
      if (hr == RPC_E_DISCONNECTED) proxy_ = nullptr;
      if (FAILED(hr)) _com_issue_errorex(hr, proxy.get(), IID_IVelmoraProxy);
      return Platform::to_utf8(answer.str());
    };
    // Commands that move the pointer may take more than one round.
    const std::string answer = send_page_command(Platform::to_utf8(bstr_text(command)), send);
    // The answer goes back whole; the page it names (if any) is the run's
    // page from now on, whose header the echo shows before its next event.
    const Proxy::AnswerPage page = Proxy::page_of_answer(answer);
    if (!page.page.empty() && Platform::from_utf8(page.page) != page_.uuid) {
      page_.uuid = Platform::from_utf8(page.page);
      page_.url = Platform::from_utf8(page.url);
      page_.title = Platform::from_utf8(page.title);
      page_.pending = true;
    }
    *value = alloc_bstr(Platform::from_utf8(answer));
    return S_OK;
  } catch (...) {
    return method_failure();
  }
}

HRESULT CVelmoraScript::PutParameter(BSTR key, BSTR value) {
  if (!key || !value) return E_INVALIDARG;
  try {
    configuration_->InsertParameter(L"common", bstr_text(key),
                                    Configuration::Element{bstr_text(value), ParameterType::String});
    return S_OK;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CVelmoraScript::GetParameter(BSTR name, BSTR* value) {
  if (!name || !value) return E_INVALIDARG;
  try {
    *value = alloc_bstr(configuration_->Parameter(L"common", bstr_text(name)).value);
    return S_OK;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CVelmoraScript::Ping(ULONGLONG* count) {
  if (!count) return E_INVALIDARG;
  try {
    ComPtr<IVelmoraProxy> proxy;
    const HRESULT created = create_running(CLSID_VelmoraProxy, &proxy);
    if (created == E_NOINTERFACE) return E_POINTER;
    if (FAILED(created)) return created;
    return proxy->RequestCount(count);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CVelmoraScript::GenerateUUID(BSTR* uuid) {
  if (!uuid) return E_POINTER;
  try {
    *uuid = alloc_bstr(boost::uuids::to_wstring((*uuid_generator_)()));
    return S_OK;
  } catch (...) {
    return method_failure(L"Unable to generate UUID");
  }
}

}  // namespace Tavrin::Runtime
