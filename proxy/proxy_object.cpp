#include "proxy/proxy_object.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <exception>
#include <new>

#include <boost/json/parse.hpp>

#include "platform/com/com_object.h"
#include "platform/com/error_info.h"
#include "platform/com/function_factory.h"
#include "platform/text.h"
#include "proxy/handler_calls.h"
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
    return reported([&] { *answer = Com::Bstr(run_command(Com::bstr_text(command))).detach(); });
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
      const std::string text = Platform::to_utf8(Com::bstr_text(query));
      out = text.find("\"handlers\"") == std::string::npos ? network.log.select(text) : handler_query(run, text);
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

  // --- The handler functions of a script among its run's routes.
  HRESULT AwaitHandler(BSTR run, BSTR owner, LONG ms, BSTR* due) override {
    if (due == nullptr) return E_POINTER;
    *due = nullptr;
    std::string out;
    const HRESULT hr = network_call(run, [&](Network::RunNetwork& network) {
      const auto deadline = Network::HandlerQueue::Clock::now() + std::chrono::milliseconds(std::max<LONG>(ms, 0));
      const auto found = network.handlers.wait(Platform::to_utf8(Com::bstr_text(owner)), deadline);
      if (!found.empty()) out = due_json(found);
    });
    if (SUCCEEDED(hr)) *due = Com::Bstr(Platform::from_utf8(out)).detach();
    return hr;
  }

  HRESULT HandlerAnswer(BSTR run, BSTR owner, BSTR held, BSTR action, BSTR error) override {
    return network_call(run, [&](Network::RunNetwork& network) {
      const std::string who = Platform::to_utf8(Com::bstr_text(owner));
      const std::string id = Platform::to_utf8(Com::bstr_text(held));
      std::string thrown = Platform::to_utf8(Com::bstr_text(error));
      std::optional<Network::RouteAction> given;
      std::string fault;
      if (thrown.empty()) {
        try {
          given = Network::read_handler_action(Platform::to_utf8(Com::bstr_text(action)), "the handler's action");
        } catch (const Network::BadInput& e) {
          fault = e.what();
          thrown = fault;
        }
      }
      if (!network.handlers.answer(who, id, std::move(given), thrown))
        throw Network::BadInput("the request " + id + " is no longer held for the handler (answered already, or " +
                                "its wait ended)");
      if (!fault.empty()) throw Network::BadInput(fault);
    });
  }

  HRESULT EndHandlers(BSTR run, BSTR owner) override {
    return network_call(run, [&](Network::RunNetwork& network) {
      const std::string who = Platform::to_utf8(Com::bstr_text(owner));
      network.routes.remove_handlers(who);
      network.handlers.end_owner(who);
    });
  }

 private:
  ~ProxyObject() { state_->remove_client(client_); }

  // A command of a script with handlers ("handlers": OWNER) runs as a call
  // that a due handler interrupts; {"op": "resume", "call": ID} comes back
  // to it. Any other goes to the pages as it is.
  std::wstring run_command(const std::wstring& text) {
    if (text.find(L"\"handlers\"") == std::wstring::npos) return state_->run_command(text);
    const boost::json::value value = parse_json(Platform::to_utf8(text), "the command");
    const auto& command = value.as_object();
    const std::string run = text_field(command, "run");
    const std::string owner = text_field(command, "handlers");
    const auto networks = state_->networks();
    if (!is_run_id(run) || owner.empty() || !networks) return state_->run_command(text);
    const auto network = networks->of(run);
    HandlerCalls::Outcome outcome;
    if (text_field(command, "op") == "resume") {
      outcome = handler_calls().resume(network, owner, text_field(command, "call"));
    } else {
      outcome = handler_calls().start(network, owner, text_field(command, "id"),
                                      [state = state_, text] { return state->run_command(text); });
    }
    // The due answer names no page: the caller's current page stays.
    return outcome.answer ? *outcome.answer : Platform::from_utf8(due_json(outcome.due));
  }

  // A query of a script with handlers: one that waits runs as a call that
  // a due handler interrupts ({"resume": ID} comes back to it).
  std::string handler_query(BSTR run, const std::string& text) {
    const boost::json::value value = parse_json(text, "the request query");
    const auto& query = value.as_object();
    const std::string owner = text_field(query, "handlers");
    const std::string resume = text_field(query, "resume");
    const auto network = state_->networks()->of(Platform::to_utf8(Com::bstr_text(run)));
    const auto* wait = query.if_contains("wait");
    if (resume.empty() && (owner.empty() || !wait || !wait->is_number() || wait->to_number<double>() <= 0))
      return network->log.select(text);
    HandlerCalls::Outcome outcome =
        resume.empty() ? handler_calls().start(network, owner, text_field(query, "call"),
                                               [network, text] {
                                                 return Platform::from_utf8(network->log.select(text));
                                               })
                       : handler_calls().resume(network, owner, resume);
    return outcome.answer ? Platform::to_utf8(*outcome.answer) : due_json(outcome.due);
  }

  static std::string text_field(const boost::json::object& object, const char* name) {
    const auto* field = object.if_contains(name);
    return field && field->is_string() ? std::string(field->as_string()) : std::string();
  }

  static boost::json::value parse_json(const std::string& text, const std::string& what = "the pattern") {
    boost::system::error_code ec;
    boost::json::value value = boost::json::parse(text, ec);
    if (ec) throw Network::BadInput(what + " is not JSON");
    if (what != "the pattern" && !value.is_object()) throw Network::BadInput(what + " is not a JSON object");
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
