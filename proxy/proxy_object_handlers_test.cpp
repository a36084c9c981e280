// The proxy object's methods for a script's handler functions: a command
// of a script with handlers ends early for a due request and is come back
// to; the handler's answer is checked (a bad action still answers the
// request, and fails naming the fault); the script's end takes its
// handler rules and holds away, and no other script's.
#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/error_info.h"
#include "platform/text.h"
#include "proxy/network/run_network.h"
#include "proxy/proxy_object.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::ComPtr;
using std::chrono::milliseconds;

class ProxyObjectHandlersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    state_->set_networks(networks_);
    ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IVelmoraProxy, object_.put_void()), S_OK);
  }
  void TearDown() override {
    object_ = nullptr;
    CoUninitialize();
  }

  std::shared_ptr<Network::HeldRequest> hold(const std::string& owner) {
    auto held = std::make_shared<Network::HeldRequest>();
    held->owner = owner;
    held->handler = "1";
    held->label = "**/api";
    held->summary = "GET http://a.test/api";
    held->request = R"({"url": "http://a.test/api"})";
    networks_->of("run-1")->handlers.hold(held);
    return held;
  }
  std::wstring command(const std::wstring& text) {
    Com::Bstr in(text), out;
    EXPECT_EQ(object_->Command(in.get(), out.put()), S_OK);
    return out.str();
  }
  HRESULT answer(const std::string& owner, const std::string& id, const std::wstring& action, std::wstring* fault) {
    Com::Bstr run(L"run-1"), who(Platform::from_utf8(owner)), held(Platform::from_utf8(id)), act(action), error(L"");
    const HRESULT hr = object_->HandlerAnswer(run.get(), who.get(), held.get(), act.get(), error.get());
    if (FAILED(hr) && fault) {
      ComPtr<IErrorInfo> info;
      if (GetErrorInfo(0, info.put()) == S_OK) {
        Com::Bstr description;
        info->GetDescription(description.put());
        *fault = description.str();
      }
    }
    return hr;
  }

  std::shared_ptr<Network::RunNetworks> networks_ = std::make_shared<Network::RunNetworks>();
  std::shared_ptr<ProxyState> state_ = std::make_shared<ProxyState>(
      milliseconds(0), [](const std::wstring&) { return std::wstring(L"answered"); });
  ComPtr<IClassFactory> factory_ = make_proxy_class_factory(state_);
  ComPtr<IVelmoraProxy> object_;
};

TEST_F(ProxyObjectHandlersTest, ACommandEndsEarlyForADueHandlerAndIsComeBackTo) {
  auto held = hold("script-1");
  const std::wstring due =
      command(LR"({"op": "click", "id": "c-1", "run": "run-1", "page": "page-1", "handlers": "script-1"})");
  EXPECT_NE(due.find(L"\"due\":{\"id\":\"" + Platform::from_utf8(held->id) + L"\""), std::wstring::npos) << due;
  EXPECT_EQ(due.find(L"\"page\""), std::wstring::npos) << "the due answer names no page to make current";
  ASSERT_EQ(answer("script-1", held->id, LR"({"status": 204})", nullptr), S_OK);
  EXPECT_EQ(networks_->of("run-1")->handlers.state(*held), Network::HeldRequest::State::kAnswered);
  EXPECT_EQ(command(LR"({"op": "resume", "call": "c-1", "run": "run-1", "handlers": "script-1"})"), L"answered");
  // Another script's request does not interrupt this one's command.
  hold("script-2");
  EXPECT_EQ(command(LR"({"op": "click", "id": "c-2", "run": "run-1", "handlers": "script-1"})"), L"answered");
}

TEST_F(ProxyObjectHandlersTest, TheHandlersAnswerIsChecked) {
  auto held = hold("script-1");
  networks_->of("run-1")->handlers.wait("script-1", Network::HandlerQueue::Clock::now());
  std::wstring fault;
  EXPECT_EQ(answer("script-1", held->id, LR"({"abort": "later"})", &fault), E_INVALIDARG);
  EXPECT_EQ(fault, L"the handler's action.abort \"later\" is not one of reset, refused, timeout, empty, malformed");
  // The request is not left waiting: it is answered with the fault.
  EXPECT_EQ(networks_->of("run-1")->handlers.state(*held), Network::HeldRequest::State::kAnswered);
  EXPECT_EQ(held->error, Platform::to_utf8(fault));
  EXPECT_EQ(answer("script-1", held->id, L"", &fault), E_INVALIDARG);
  EXPECT_NE(fault.find(L"is no longer held"), std::wstring::npos) << fault;
  EXPECT_EQ(answer("script-1", "held-999", L"", &fault), E_INVALIDARG);
}

TEST_F(ProxyObjectHandlersTest, TheScriptsEndTakesItsHandlersAway) {
  auto& routes = networks_->of("run-1")->routes;
  routes.add(Network::read_route_rule(R"({"pattern": {"glob": "**"}, "handler": {"owner": "script-1", "id": "1"}})"));
  routes.add(Network::read_route_rule(R"({"pattern": {"glob": "**"}, "handler": {"owner": "script-2", "id": "1"}})"));
  routes.add(Network::read_route_rule(R"({"pattern": {"glob": "**"}, "action": {"body": "x"}})"));
  auto mine = hold("script-1"), theirs = hold("script-2");
  Com::Bstr run(L"run-1"), owner(L"script-1"), due;
  EXPECT_EQ(object_->AwaitHandler(run.get(), owner.get(), 0, due.put()), S_OK);
  EXPECT_NE(due.str().find(Platform::from_utf8(mine->id)), std::wstring::npos) << due.str();
  EXPECT_EQ(object_->EndHandlers(run.get(), owner.get()), S_OK);
  EXPECT_EQ(routes.size(), 2u);
  EXPECT_EQ(networks_->of("run-1")->handlers.state(*mine), Network::HeldRequest::State::kEnded);
  EXPECT_EQ(networks_->of("run-1")->handlers.state(*theirs), Network::HeldRequest::State::kWaiting);
  Com::Bstr none;
  EXPECT_EQ(object_->AwaitHandler(run.get(), owner.get(), 10, none.put()), S_OK);
  EXPECT_EQ(none.str(), L"");
  Com::Bstr bad_run(L"no run!");
  EXPECT_EQ(object_->AwaitHandler(bad_run.get(), owner.get(), 0, none.put()), E_INVALIDARG);
}

}  // namespace
}  // namespace Tavrin::Proxy
