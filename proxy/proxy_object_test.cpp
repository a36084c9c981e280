// The proxy object in process: its interface, its dispatch interface and
// the state its objects share.
#include "proxy/proxy_object.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::ComPtr;
using std::chrono::milliseconds;

class ProxyObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }

  ComPtr<IVelmoraProxy> create() {
    ComPtr<IVelmoraProxy> object;
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IVelmoraProxy, object.put_void()), S_OK);
    return object;
  }

  static bool busy(IVelmoraProxy* object) {
    VARIANT_BOOL value = 7;
    EXPECT_EQ(object->IsBusy(&value), S_OK);
    EXPECT_TRUE(value == VARIANT_TRUE || value == VARIANT_FALSE);
    return value == VARIANT_TRUE;
  }

  std::shared_ptr<ProxyState> state_ = std::make_shared<ProxyState>(milliseconds(0), [](const std::wstring& c) {
    if (c == L"fail") throw std::runtime_error("no page answers");
    return L"{\"re\":\"" + c + L"\",\"page\":\"page-1\"}";
  });
  ComPtr<IClassFactory> factory_ = make_proxy_class_factory(state_);
};

// Objects of one factory see one request count and one busy state; an
// object's hold ends when the object goes.
TEST_F(ProxyObjectTest, ObjectsShareTheServerState) {
  ComPtr<IVelmoraProxy> run = create(), guard = create();
  Com::Bstr command(L"go"), answer;
  ASSERT_EQ(run->Command(command.get(), answer.put()), S_OK);
  EXPECT_EQ(answer.str(), L"{\"re\":\"go\",\"page\":\"page-1\"}");
  ULONGLONG count = 0;
  EXPECT_EQ(guard->RequestCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  EXPECT_FALSE(busy(guard.get()));
  EXPECT_EQ(run->SetStop(VARIANT_FALSE), S_OK);
  EXPECT_TRUE(busy(guard.get()));
  EXPECT_EQ(guard->SetStop(VARIANT_TRUE), S_OK);
  EXPECT_TRUE(busy(guard.get()));
  run.reset();
  EXPECT_FALSE(busy(guard.get()));
}

// Through IDispatch the members are found by name in any case and the
// retval comes back as the result: a command's whole answer.
TEST_F(ProxyObjectTest, DispatchInterfaceReachesTheMembers) {
  ComPtr<IDispatch> object = create().as<IDispatch>();
  ASSERT_TRUE(object);
  EXPECT_EQ(Com::member_id(object.get(), L"requestcount"), DISPID_VELMORA_PROXY_REQUEST_COUNT);
  EXPECT_EQ(Com::invoke_method(object.get(), L"command", {Com::Variant(L"a")}).to_string(),
            L"{\"re\":\"a\",\"page\":\"page-1\"}");
  const Com::Variant count = Com::invoke_method(object.get(), L"RequestCount", {});
  EXPECT_EQ(count.vt, VT_UI8);
  EXPECT_EQ(count.ullVal, 1u);

  Com::invoke_method(object.get(), L"setstop", {Com::Variant(false)});
  const Com::Variant busy = Com::invoke_method(object.get(), L"IsBusy", {});
  EXPECT_EQ(busy.vt, VT_BOOL);
  EXPECT_EQ(busy.boolVal, VARIANT_TRUE);
}

// A command that fails reports E_FAIL with its description; bad pointers
// and foreign interfaces are refused.
TEST_F(ProxyObjectTest, FailuresAreReported) {
  ComPtr<IVelmoraProxy> object = create();
  Com::Bstr command(L"fail"), answer;
  EXPECT_EQ(object->Command(command.get(), answer.put()), E_FAIL);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Com::Bstr description;
  info->GetDescription(description.put());
  EXPECT_EQ(description.str(), L"no page answers");
  EXPECT_TRUE(answer.is_null());

  EXPECT_EQ(object->Command(command.get(), nullptr), E_POINTER);
  EXPECT_EQ(object->IsBusy(nullptr), E_POINTER);
  EXPECT_EQ(object->RequestCount(nullptr), E_POINTER);
  EXPECT_FALSE(object.as<IClassFactory>());

  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory_->CreateInstance(object.get(), IID_IUnknown, aggregated.put_void()), CLASS_E_NOAGGREGATION);
}

// The description of the calling thread's last failure.
std::wstring last_error() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK) return L"";
  Com::Bstr description;
  info->GetDescription(description.put());
  return description.str();
}

// The setup methods reach the run setup the state was given: a run's port,
// its browsers and the pages' mark, each served and counted as a request.
// A run id that is none, a pid that is no process and a setup that
// refuses are told apart, each with its reason.
TEST_F(ProxyObjectTest, SetupMethodsAnswerFromTheRunSetup) {
  ComPtr<IVelmoraProxy> object = create();
  Com::Bstr run(L"job-1"), bad(L"a b"), full(L"full");
  LONG port = 0;
  ULONGLONG mark = 7;
  EXPECT_EQ(object->RegisterRun(run.get(), &port), E_FAIL) << "no setup yet";
  EXPECT_EQ(last_error(), L"the proxy serves no browsers");
  EXPECT_EQ(object->Mark(&mark), E_FAIL);
  EXPECT_EQ(mark, 0u);

  std::vector<std::pair<std::string, int>> browsers;
  state_->set_run_setup(RunSetup{
      [](const std::string& id) -> std::uint16_t {
        if (id == "full") throw std::runtime_error("64 runs are served already");
        return 4321;
      },
      [&](const std::string& id, int pid) {
        if (pid == 99) throw std::runtime_error("the run is not served");
        browsers.emplace_back(id, pid);
      },
      [] { return std::uint64_t{12}; }});
  ULONGLONG before = 0;
  ASSERT_EQ(object->RequestCount(&before), S_OK);
  EXPECT_EQ(object->RegisterRun(run.get(), &port), S_OK);
  EXPECT_EQ(port, 4321);
  EXPECT_EQ(object->RegisterBrowser(run.get(), 4242), S_OK);
  EXPECT_EQ(browsers, (std::vector<std::pair<std::string, int>>{{"job-1", 4242}}));
  EXPECT_EQ(object->Mark(&mark), S_OK);
  EXPECT_EQ(mark, 12u);
  ULONGLONG after = 0;
  ASSERT_EQ(object->RequestCount(&after), S_OK);
  EXPECT_EQ(after - before, 3u);

  port = 5;
  EXPECT_EQ(object->RegisterRun(bad.get(), &port), E_INVALIDARG);
  EXPECT_NE(last_error().find(L"names no run"), std::wstring::npos);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(object->RegisterRun(full.get(), &port), E_FAIL);
  EXPECT_EQ(last_error(), L"no port for the run: 64 runs are served already");
  EXPECT_EQ(object->RegisterBrowser(run.get(), 0), E_INVALIDARG);
  EXPECT_EQ(object->RegisterBrowser(bad.get(), 7), E_INVALIDARG);
  EXPECT_EQ(object->RegisterBrowser(run.get(), 99), E_FAIL);
  EXPECT_EQ(last_error(), L"the browser is not the run's: the run is not served");
  EXPECT_EQ(browsers.size(), 1u) << "a refused browser is not added";
  EXPECT_EQ(object->RegisterRun(run.get(), nullptr), E_POINTER);
  EXPECT_EQ(object->Mark(nullptr), E_POINTER);

  // Scripts reach them by name too.
  ComPtr<IDispatch> dispatch = object.as<IDispatch>();
  EXPECT_EQ(Com::invoke_method(dispatch.get(), L"registerrun", {Com::Variant(L"job-2")}).to_string(), L"4321");
  EXPECT_EQ(Com::invoke_method(dispatch.get(), L"Mark", {}).to_string(), L"12");
}

}  // namespace
}  // namespace Tavrin::Proxy
