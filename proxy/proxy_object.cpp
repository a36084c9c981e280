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

  HRESULT Command(BSTR command, BSTR* answer) override {
    if (answer == nullptr) return E_POINTER;
    *answer = nullptr;
    return reported([&] { *answer = Com::Bstr(state_->run_command(Com::bstr_text(command))).detach(); });
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

  // --- The setup of a run (the run table's, through the HTTP side).
  HRESULT RegisterRun(BSTR run, LONG* port) override {
    if (port == nullptr) return E_POINTER;
    *port = 0;
    return setup_call(run, [&](const RunSetup& setup, const std::string& id) {
      if (!setup.open_port) throw std::runtime_error("the proxy serves no browsers");
      try {
        *port = setup.open_port(id);
      } catch (const std::exception& e) {
        throw std::runtime_error(std::string("no port for the run: ") + e.what());
      }
    });
  }

  HRESULT RegisterBrowser(BSTR run, LONG pid) override {
    return setup_call(run, [&](const RunSetup& setup, const std::string& id) {
      if (pid < 1) throw Network::BadInput("the browser's process is named by its number, not " + std::to_string(pid));
      if (!setup.add_browser) throw std::runtime_error("the proxy serves no browsers");
      try {
        setup.add_browser(id, pid);
      } catch (const std::exception& e) {
        throw std::runtime_error(std::string("the browser is not the run's: ") + e.what());
      }
    });
  }

  HRESULT Mark(ULONGLONG* mark) override {
    if (mark == nullptr) return E_POINTER;
    *mark = 0;
    return reported([&] {
      const RunSetup setup = state_->run_setup();
      if (!setup.mark) throw std::runtime_error("the proxy serves no pages");
      *mark = state_->serve(setup.mark);
    });
  }

 private:
  ~ProxyObject() { state_->remove_client(client_); }

  static boost::json::value parse_json(const std::string& text) {
    boost::system::error_code ec;
    boost::json::value value = boost::json::parse(text, ec);
    if (ec) throw Network::BadInput("the pattern is not JSON");
    return value;
  }

  // Runs `act`: bad input fails with E_INVALIDARG and its description,
  // anything else with E_FAIL (E_OUTOFMEMORY when memory ran out).
  template <class Act>
  static HRESULT reported(Act&& act) {
    try {
      act();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const Network::BadInput& e) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, Platform::from_utf8(e.what()));
      return E_INVALIDARG;
    } catch (const std::exception& e) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, Platform::from_utf8(e.what()));
      return E_FAIL;
    } catch (...) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, L"Unknown error");
      return E_UNEXPECTED;
    }
  }

  // The id of `run`, checked; throws BadInput for one that names no run.
  static std::string run_id(BSTR run) {
    const std::string id = Platform::to_utf8(Com::bstr_text(run));
    if (!is_run_id(id)) throw Network::BadInput("the run id \"" + id + "\" names no run");
    return id;
  }

  // Runs `act` with the run setup and the id of `run`, served as a
  // request of the proxy's.
  template <class Act>
  HRESULT setup_call(BSTR run, Act&& act) {
    return reported([&] {
      const std::string id = run_id(run);
      state_->serve([&] { act(state_->run_setup(), id); });
    });
  }

  // Runs `act` on the network control of `run`: bad input fails with
  // E_INVALIDARG and its description, anything else with E_FAIL.
  template <class Act>
  HRESULT network_call(BSTR run, Act&& act) {
    return reported([&] {
      const std::string id = run_id(run);
      const auto networks = state_->networks();
      if (!networks) throw std::runtime_error("this proxy keeps no network control of runs");
      act(*networks->of(id));
    });
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
