// serve_local_server: one session per client connection, holding the
// object made for that client.
#include <boost/system/system_error.hpp>

#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"
#include "platform/com/remote/local_server.h"
#include "platform/com/remote/marshal_call_internal.h"
#include "platform/com/remote/remote_type_info_internal.h"
#include "platform/com/remote/transport_server_internal.h"
#include "platform/os_error.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com {
namespace {

namespace T = Transport;
using Wire::RequestKind;

class ComSession final : public T::Session {
 public:
  ComSession(const CLSID& clsid, IClassFactory* factory) : clsid_(clsid), factory_(factory) {
    initialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  ~ComSession() override {
    object_.reset();
    dispatch_.reset();
    if (initialised_) CoUninitialize();
  }

  std::string handle(std::string_view request) override {
    Wire::Reader in(request);
    const auto kind = static_cast<RequestKind>(in.u8());
    if (kind == RequestKind::kHello) return hello(Wire::read_hello(in));
    if (!dispatch_) throw Wire::WireError("request before the object exists");
    switch (kind) {
      case RequestKind::kQueryInterface:
        return Wire::answer_query_interface(in, object_.get());
      case RequestKind::kGetIDsOfNames:
        return Wire::answer_ids_of_names(in, dispatch_.get());
      case RequestKind::kInvoke:
        return Wire::answer_invoke(in, dispatch_.get());
      case RequestKind::kTypeInfo:
        return Wire::answer_type_info(in, dispatch_.get());
      default:
        throw Wire::WireError("unknown request");
    }
  }

 private:
  std::string hello(const Wire::HelloRequest& request) {
    if (object_) throw Wire::WireError("second Hello");
    if (request.clsid != clsid_) return Wire::status_reply(CLASS_E_CLASSNOTAVAILABLE);
    ComPtr<IUnknown> object;
    HRESULT hr = factory_->CreateInstance(nullptr, IID_IUnknown, object.put_void());
    if (FAILED(hr)) return Wire::status_reply(hr);
    ComPtr<IDispatch> dispatch = object.as<IDispatch>();
    // Calls travel through IDispatch: an object without it cannot be served.
    if (!dispatch) return Wire::status_reply(E_NOINTERFACE);
    ComPtr<IUnknown> asked;
    hr = object->QueryInterface(request.iid, asked.put_void());
    if (FAILED(hr)) return Wire::status_reply(hr);
    object_ = std::move(object);
    dispatch_ = std::move(dispatch);
    return Wire::status_reply(S_OK);
  }

  const CLSID clsid_;
  IClassFactory* const factory_;
  bool initialised_ = false;
  ComPtr<IUnknown> object_;
  ComPtr<IDispatch> dispatch_;
};

}  // namespace

HRESULT serve_local_server(const CLSID& clsid, IClassFactory* factory, const LocalServerOptions& options) {
  if (factory == nullptr) return E_POINTER;
  T::ServerHooks hooks;
  hooks.open_session = [&] { return std::make_unique<ComSession>(clsid, factory); };
  hooks.may_end = options.may_end ? options.may_end : [] { return true; };
  hooks.one_call_at_a_time = options.threading == LocalServerThreading::kApartment;
  hooks.first_client_wait = options.first_client_wait;
  try {
    const T::Endpoint endpoint = T::endpoint_for(to_utf8(guid_to_string(clsid)));
    return T::run_server(endpoint, hooks) ? S_OK : CO_E_SERVER_EXEC_FAILURE;
  } catch (const boost::system::system_error& e) {
    return hresult_from(e);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Tavrin::Platform::Com
