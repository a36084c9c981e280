#include "proxy/proxy_object.h"

#include <atomic>
#include <exception>
#include <new>

#include <boost/json/parse.hpp>

#include "platform/com/com_object.h"
#include "platform/com/error_info.h"
#include "platform/com/function_factory.h"
#include "platform/text.h"
#include "proxy/network/run_network.h"
#include "proxy/run_id.h"
#include "proxy/velmora_proxy.h"
#include "proxy/velmora_proxy_type.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
class ProxyObject final : public Com::ComObject<Com::DispatchImpl<IVelmoraProxy>, IVelmoraProxy, IDispatch> {
 public:
  explicit ProxyObject(std::shared_ptr<ProxyState> state)
      : ComObject(velmora_proxy_description()), state_(std::move(state)), client_(state_->add_client()) {}

  HRESULT Command(BSTR command, BSTR* text, BSTR* url, BSTR* title, BSTR* page) override {
    if (text == nullptr || url == nullptr || title == nullptr || page == nullptr) return E_POINTER;
    *text = *url = *title = *page = nullptr;
    try {
      const CommandAnswer answer = state_->run_command(Com::bstr_text(command));
      Com::Bstr t(answer.text), u(answer.url), ti(answer.title), p(answer.page);
      *text = t.detach();
      *url = u.detach();
      *title = ti.detach();
      *page = p.detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, Platform::from_utf8(e.what()));
      return E_FAIL;
    } catch (...) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, L"Unknown error");
      return E_UNEXPECTED;
    }
  }

  HRESULT IsBusy(VARIANT_BOOL* busy) override {
    if (busy == nullptr) return E_POINTER;
    *busy = state_->busy() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  HRESULT SetStop(VARIANT_BOOL stop) override {
    state_->set_stop(client_, stop != VARIANT_FALSE);
    return S_OK;
  }

  HRESULT RequestCount(ULONGLONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = state_->request_count();
    return S_OK;
  }

  // --- The network control of a run (proxy/network/).
  HRESULT Route(BSTR run, BSTR rule) override {
    return network_call(run, [&](Network::RunNetwork& network) {
      network.routes.add(Network::read_route_rule(Platform::to_utf8(Com::bstr_text(rule))));
    });
  }

  HRESULT Unroute(BSTR run, BSTR pattern) override {
    return network_call(run, [&](Network::RunNetwork& network) {
      const std::string key = Platform::to_utf8(Com::bstr_text(pattern));
      if (key.empty())
        network.routes.clear();
      else
        network.routes.remove(Network::UrlPattern::from_json(parse_json(key), "unroute(): the pattern").key());
    });
  }

  HRESULT WriteHar(BSTR run, BSTR file) override {
    const auto networks = state_->networks();
    return network_call(run, [&](Network::RunNetwork& network) {
      const std::string path = Platform::to_utf8(Com::bstr_text(file));
      if (path.empty()) throw Network::BadInput("WriteHar: no file named");
      Network::write_har(network.log.snapshot(), path, networks->har_content());
    });
  }

  HRESULT Requests(BSTR run, BSTR query, BSTR* list) override {
    if (list == nullptr) return E_POINTER;
    *list = nullptr;
    std::string out;
    const HRESULT hr = network_call(run, [&](Network::RunNetwork& network) {
      out = network.log.select(Platform::to_utf8(Com::bstr_text(query)));
    });
    if (SUCCEEDED(hr)) *list = Com::Bstr(Platform::from_utf8(out)).detach();
    return hr;
  }

 private:
  ~ProxyObject() { state_->remove_client(client_); }

  static boost::json::value parse_json(const std::string& text) {
    boost::system::error_code ec;
    boost::json::value value = boost::json::parse(text, ec);
    if (ec) throw Network::BadInput("the pattern is not JSON");
    return value;
  }

  // Runs `act` on the network control of `run`: bad input fails with
  // E_INVALIDARG and its description, anything else with E_FAIL.
  template <class Act>
  HRESULT network_call(BSTR run, Act&& act) {
    try {
      const std::string id = Platform::to_utf8(Com::bstr_text(run));
      if (!is_run_id(id)) throw Network::BadInput("the run id \"" + id + "\" names no run");
      const auto networks = state_->networks();
      if (!networks) throw std::runtime_error("this proxy keeps no network control of runs");
      act(*networks->of(id));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const Network::BadInput& e) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, Platform::from_utf8(e.what()));
      return E_INVALIDARG;
    } catch (const std::exception& e) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, Platform::from_utf8(e.what()));
      return E_FAIL;
    }
  }

  const std::shared_ptr<ProxyState> state_;
  const std::uint64_t client_;
};

}  // namespace

HRESULT create_proxy_object(const std::shared_ptr<ProxyState>& state, REFIID iid, void** object) {
  return Com::create_object<ProxyObject>(iid, object, state);
}

Com::ComPtr<IClassFactory> make_proxy_class_factory(std::shared_ptr<ProxyState> state) {
  return Com::make_function_factory(
      [state = std::move(state)](REFIID iid, void** object) { return create_proxy_object(state, iid, object); });
}

}  // namespace Tavrin::Proxy
