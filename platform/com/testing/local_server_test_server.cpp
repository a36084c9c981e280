// local_server_test_server: serves the test class of
// local_server_test_object.h (the second one with "/Second") until its
// last client has gone.
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/com/apartment.h"
#include "platform/com/com_object.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/com/function_factory.h"
#include "platform/com/remote/local_server.h"
#include "platform/com/testing/local_server_test_object.h"
#include "platform/com/type_description.h"

namespace {

namespace Com = Tavrin::Platform::Com;
using namespace Tavrin::Platform::Com::Testing;
using Com::bind_member;
using Com::ParamDescription;

constexpr ParamDescription kAddParams[] = {
    {L"a", PARAMFLAG_FIN}, {L"b", PARAMFLAG_FIN}, {L"sum", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kSplitParams[] = {
    {L"text", PARAMFLAG_FIN}, {L"head", PARAMFLAG_FOUT}, {L"tail", PARAMFLAG_FOUT}};
constexpr ParamDescription kEchoParams[] = {{L"value", PARAMFLAG_FIN},
                                            {L"copy", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kFailParams[] = {{L"description", PARAMFLAG_FIN}};
constexpr ParamDescription kRetvalParam[] = {{L"value", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};

constexpr Com::MemberDescription kMembers[] = {
    {kDispidAdd, INVOKE_FUNC, L"Add", kAddParams, false, nullptr, bind_member<&ITestServer::Add>()},
    {kDispidSplit, INVOKE_FUNC, L"Split", kSplitParams, false, nullptr, bind_member<&ITestServer::Split>()},
    {kDispidEcho, INVOKE_FUNC, L"Echo", kEchoParams, false, nullptr, bind_member<&ITestServer::Echo>()},
    {kDispidFail, INVOKE_FUNC, L"Fail", kFailParams, false, nullptr, bind_member<&ITestServer::Fail>()},
    {kDispidSelf, INVOKE_FUNC, L"Self", kRetvalParam, false, nullptr, bind_member<&ITestServer::Self>()},
    {kDispidProcessId, INVOKE_FUNC, L"ProcessId", kRetvalParam, false, nullptr,
     bind_member<&ITestServer::ProcessId>()},
    {kDispidNext, INVOKE_FUNC, L"Next", kRetvalParam, false, nullptr, bind_member<&ITestServer::Next>()},
};
constexpr Com::InterfaceDescription kDescription = {L"ITestServer", ITestServer::kIid,
                                                    TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};

std::atomic<LONG> counter{0};

class TestObject final : public Com::ComObject<Com::Bases<Com::DispatchImpl<ITestServer>, IAdder>, ITestServer,
                                               Com::Through<IDispatch, ITestServer>, IAdder> {
 public:
  TestObject() : ComObject(kDescription) {}

  // IAdder reaches the same members through the one IDispatch.
  HRESULT GetTypeInfoCount(UINT* count) override { return DispatchImpl::GetTypeInfoCount(count); }
  HRESULT GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return DispatchImpl::GetTypeInfo(i, l, t); }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* n, UINT c, LCID l, DISPID* ids) override {
    return DispatchImpl::GetIDsOfNames(iid, n, c, l, ids);
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID l, WORD f, DISPPARAMS* p, VARIANT* r, EXCEPINFO* e,
                 UINT* a) override {
    return DispatchImpl::Invoke(id, iid, l, f, p, r, e, a);
  }

  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    *sum = a + b;
    return S_OK;
  }
  HRESULT Split(BSTR text, BSTR* head, BSTR* tail) override {
    const std::wstring whole = Com::bstr_text(text);
    const auto blank = whole.find(L' ');
    *head = Com::alloc_bstr(whole.substr(0, blank));
    *tail = Com::alloc_bstr(blank == std::wstring::npos ? L"" : whole.substr(blank + 1));
    return S_OK;
  }
  HRESULT Echo(VARIANT value, VARIANT* copy) override { return VariantCopy(copy, &value); }
  HRESULT Fail(BSTR description) override {
    Com::report_error(kTestServerClsid, ITestServer::kIid, Com::bstr_text(description));
    return E_FAIL;
  }
  HRESULT Self(IDispatch** object) override {
    *object = static_cast<ITestServer*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT ProcessId(LONG* pid) override {
    *pid = ::getpid();
    return S_OK;
  }
  HRESULT Next(LONG* value) override {
    *value = ++counter;
    return S_OK;
  }

 private:
  ~TestObject() = default;
};

}  // namespace

int main(int argc, char** argv) {
  const bool second = argc > 1 && std::string(argv[1]) == "/Second";
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HRESULT hr = E_OUTOFMEMORY;
  {
    const auto factory = Com::make_function_factory([](REFIID iid, void** object) {
      auto made = Com::ComPtr<ITestServer>::attach(new TestObject());
      return made->QueryInterface(iid, object);
    });
    if (factory)
      hr = Com::serve_local_server(second ? kSecondTestServerClsid : kTestServerClsid, factory.get(),
                                   Com::LocalServerOptions{});
  }
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 2;
}
