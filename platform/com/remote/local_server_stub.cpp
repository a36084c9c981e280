#include "platform/com/remote/local_server_stub_internal.h"

#include <map>
#include <mutex>

#include "platform/com/com_object.h"
#include "platform/com/remote/marshal_call_internal.h"
#include "platform/com/remote/marshal_variant_internal.h"
#include "platform/com/remote/remote_type_info_internal.h"

namespace Tavrin::Platform::Com {
namespace {

// Stands for the server object of one client connection. Answers IUnknown
// and IDispatch itself, custom interfaces through client proxies.
class RemoteObject final : public ComObject<IDispatch, IDispatch> {
 public:
  explicit RemoteObject(Transport::ScopedFd connection) : connection_(std::move(connection)) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    const HRESULT own = ComObject::QueryInterface(iid, object);
    return own == E_NOINTERFACE ? query_proxy(iid, object) : own;
  }

  // The server's type description, asked for once.
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = description() ? 1 : 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    const auto described = description();
    if (index != 0 || !described) return DISP_E_BADINDEX;
    try {
      *info = Wire::make_remote_type_info(described).detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (count > 0 && (names == nullptr || ids == nullptr)) return E_POINTER;
    return remote_call([&] { return Wire::encode_ids_of_names(names, count, lcid); },
                       [&](std::string_view reply) { return Wire::decode_ids_of_names(reply, ids, count); });
  }

  HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep_info, UINT* arg_err) override {
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return remote_call(
        [&] {
          return Wire::encode_invoke(id, lcid, flags, params, result != nullptr, excep_info != nullptr,
                                     arg_err != nullptr);
        },
        [&](std::string_view reply) { return Wire::decode_invoke(reply, params, result, excep_info, arg_err); });
  }

 private:
  ~RemoteObject() = default;

  // A custom interface, through its client proxy (made once per stub).
  HRESULT query_proxy(REFIID iid, void** object) {
    const ClientProxyFactory factory = find_client_proxy(iid);
    if (factory == nullptr) return E_NOINTERFACE;
    std::lock_guard<std::mutex> lock(proxies_mutex_);
    auto found = proxies_.find(iid);
    if (found == proxies_.end()) {
      const HRESULT supported = remote_query(iid);
      if (FAILED(supported)) return supported;
      std::unique_ptr<ClientProxy> proxy = factory(static_cast<IDispatch*>(this), this);
      if (!proxy) return E_OUTOFMEMORY;
      try {
        found = proxies_.emplace(iid, std::move(proxy)).first;
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
    }
    *object = found->second->interface_pointer();
    AddRef();
    return S_OK;
  }

  // The description, fetched the first time; null when the server has
  // none (or the call failed).
  std::shared_ptr<const Wire::RemoteDescription> description() {
    std::lock_guard<std::mutex> lock(description_mutex_);
    if (!description_asked_) {
      description_asked_ = true;
      auto fetched = std::make_shared<Wire::RemoteDescription>();
      HRESULT status = E_FAIL;
      const HRESULT hr = remote_call([] { return Wire::encode_type_info(); },
                                     [&](std::string_view reply) {
                                       *fetched = Wire::decode_type_info(reply, &status);
                                       return status;
                                     });
      if (SUCCEEDED(hr)) description_ = std::move(fetched);
    }
    return description_;
  }

  HRESULT remote_query(REFIID iid) {
    return remote_call([&] { return Wire::encode_query_interface(iid); },
                       [](std::string_view reply) { return Wire::decode_status(reply); });
  }

  // One exchange with the server: encodes the request, sends it, decodes
  // the reply. No exception leaves: a value that cannot travel fails the
  // call with its HRESULT, a reply that does not decode breaks the
  // connection.
  template <class Encode, class Decode>
  HRESULT remote_call(Encode encode, Decode decode) {
    try {
      const std::string request = encode();
      std::lock_guard<std::mutex> lock(call_mutex_);
      std::string reply;
      if (!exchange(request, reply)) return RPC_E_DISCONNECTED;
      try {
        return decode(reply);
      } catch (const Wire::WireError&) {
        connection_.reset();
        return RPC_E_DISCONNECTED;
      }
    } catch (const Wire::MarshalError& e) {
      return e.hr();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  // Sends a request and receives its reply. False once the connection is
  // broken (the server ended, or spoke out of turn); it stays broken.
  bool exchange(const std::string& request, std::string& reply) {
    if (!connection_.valid()) return false;
    try {
      Transport::send_frame(connection_.get(), request);
      if (Transport::receive_frame(connection_.get(), reply)) return true;
    } catch (const std::exception&) {
    }
    connection_.reset();
    return false;
  }

  std::mutex call_mutex_;     // one exchange at a time; guards connection_
  Transport::ScopedFd connection_;
  std::mutex proxies_mutex_;  // taken before call_mutex_, never after
  std::mutex description_mutex_;  // taken before call_mutex_, never after
  bool description_asked_ = false;
  std::shared_ptr<const Wire::RemoteDescription> description_;
  std::map<IID, std::unique_ptr<ClientProxy>, GuidLess> proxies_;
};

struct Registered {
  const ClientProxyRegistration* owner;
  IID iid;
  ClientProxyFactory factory;
};

// Never destroyed: registrations of modules unloaded at exit still find it.
std::mutex& registry_mutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::vector<Registered>& registry() {
  static auto* entries = new std::vector<Registered>;
  return *entries;
}

}  // namespace

ClientProxyRegistration::ClientProxyRegistration(const IID& iid, ClientProxyFactory factory)
    : iid_(iid), factory_(factory) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  registry().push_back({this, iid_, factory_});
}

ClientProxyRegistration::~ClientProxyRegistration() {
  std::lock_guard<std::mutex> lock(registry_mutex());
  std::erase_if(registry(), [this](const Registered& r) { return r.owner == this; });
}

ClientProxyFactory find_client_proxy(const IID& iid) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  for (auto it = registry().rbegin(); it != registry().rend(); ++it)
    if (it->iid == iid) return it->factory;
  return nullptr;
}

IDispatch* make_remote_object(Transport::ScopedFd connection) { return new RemoteObject(std::move(connection)); }

}  // namespace Tavrin::Platform::Com
