// Out-of-process objects end to end: the test server program is started on
// demand by create_local_server_instance and called through the stub.
#include "platform/com/remote/local_server.h"

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"
#include "platform/com/testing/local_server_test_object.h"
#include "platform/process.h"
#include "platform/text.h"
#include "test_support/wait_until.h"

namespace Tavrin::Platform::Com {
namespace {

using namespace Testing;
using Process::kill_process;
using quorvane_test::wait_until;
using std::chrono::milliseconds;


std::wstring server_command_line() { return L"\"" + from_utf8(LOCAL_SERVER_TEST_SERVER) + L"\""; }

class LocalServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override {
    for (const CLSID& clsid : {kTestServerClsid, kSecondTestServerClsid}) {
      const bool ended = wait_until([&] { return !local_server_process(clsid); }, milliseconds(10000));
      if (auto pid = local_server_process(clsid)) kill_process(*pid);
      EXPECT_TRUE(ended) << "a server outlived its clients";
    }
    CoUninitialize();
  }

  static ComPtr<IDispatch> create(const std::wstring& command_line = server_command_line()) {
    ComPtr<IDispatch> object;
    const HRESULT hr = create_local_server_instance(kTestServerClsid, command_line, IID_IDispatch, object.put_void());
    EXPECT_EQ(hr, S_OK);
    return object;
  }

  static LONG process_of(IDispatch* object) { return invoke_method(object, L"ProcessId", {}).lVal; }
};

// A method called by name runs in the server and its result comes back.
TEST_F(LocalServerTest, CallByNameRunsInTheServer) {
  ComPtr<IDispatch> object = create();
  ASSERT_TRUE(object);
  EXPECT_EQ(invoke_method(object.get(), L"add", {Variant(2), Variant(40)}).lVal, 42);
  EXPECT_EQ(local_server_process(kTestServerClsid).value_or(0), process_of(object.get()));
}

// The stub carries the server's type description: members, kinds,
// parameters and names, and Invoke through it reaches the server.
TEST_F(LocalServerTest, TypeDescriptionTravels) {
  ComPtr<IDispatch> object = create();
  ASSERT_TRUE(object);
  UINT count = 0;
  ASSERT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(object->GetTypeInfo(0, 0, info.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, ITestServer::kIid);
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  bool found_add = false;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &desc), S_OK);
    if (desc->memid == kDispidAdd) {
      found_add = true;
      EXPECT_EQ(desc->invkind, INVOKE_FUNC);
      EXPECT_EQ(desc->cParams, 3);
      EXPECT_EQ(desc->lprgelemdescParam[0].vt, VT_I4);
      EXPECT_TRUE(desc->lprgelemdescParam[2].wParamFlags & PARAMFLAG_FRETVAL);
    }
    info->ReleaseFuncDesc(desc);
  }
  EXPECT_TRUE(found_add);
  Bstr name;
  ASSERT_EQ(info->GetDocumentation(kDispidSplit, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.str(), L"Split");
  Variant a(20), b(22), sum;
  VARIANT args[] = {b, a};
  DISPPARAMS params = {args, nullptr, 2, 0};
  ASSERT_EQ(info->Invoke(object.get(), kDispidAdd, DISPATCH_METHOD, &params, sum.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(sum.lVal, 42);
}

// Out-parameters passed by reference receive the server's values.
TEST_F(LocalServerTest, OutParametersComeBack) {
  ComPtr<IDispatch> object = create();
  Bstr text(L"hello big world"), head(L"old"), tail;
  VARIANT args[3];
  for (VARIANT& a : args) VariantInit(&a);
  args[2].vt = VT_BSTR;
  args[2].bstrVal = text.get();
  args[1].vt = VT_BYREF | VT_BSTR;
  args[1].pbstrVal = head.put();
  args[0].vt = VT_BYREF | VT_BSTR;
  args[0].pbstrVal = tail.put();
  DISPPARAMS params{args, nullptr, 3, 0};
  ASSERT_EQ(object->Invoke(kDispidSplit, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(head.str(), L"hello");
  EXPECT_EQ(tail.str(), L"big world");
}

// Values of every kind cross both ways unchanged, arrays and odd strings too.
TEST_F(LocalServerTest, ValuesKeepKindAndContent) {
  ComPtr<IDispatch> object = create();
  const auto echo = [&](const Variant& v) { return invoke_method(object.get(), L"Echo", {v}); };
  EXPECT_EQ(echo(Variant(ULONGLONG{0xFFFFFFFFFFFFFFFFull})).ullVal, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(echo(Variant(0.1)).dblVal, 0.1);
  EXPECT_EQ(echo(Variant(true)).boolVal, VARIANT_TRUE);
  EXPECT_EQ(echo(Variant::null()).vt, VT_NULL);
  const Variant nul = echo(Variant(std::wstring(L"a\0b", 3)));
  ASSERT_EQ(nul.vt, VT_BSTR);
  EXPECT_EQ(bstr_text(nul.bstrVal), std::wstring(L"a\0b", 3));

  Variant array;
  array.vt = VT_ARRAY | VT_VARIANT;
  array.parray = SafeArrayCreateVector(VT_VARIANT, 1, 2);
  const LONG first = 1, second = 2;
  SafeArrayPutElement(array.parray, &first, &static_cast<const VARIANT&>(Variant(7)));
  SafeArrayPutElement(array.parray, &second, &static_cast<const VARIANT&>(Variant(L"x")));
  const Variant back = echo(array);
  ASSERT_EQ(back.vt, VT_ARRAY | VT_VARIANT);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(back.parray, 1, &lower);
  SafeArrayGetUBound(back.parray, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 2);
  Variant element;
  SafeArrayGetElement(back.parray, &second, element.put());
  EXPECT_EQ(element.to_string(), L"x");
}

// A failing member's HRESULT and description reach the caller, with and
// without EXCEPINFO.
TEST_F(LocalServerTest, FailureCarriesItsDescription) {
  ComPtr<IDispatch> object = create();
  Variant description(L"disk on fire");
  DISPPARAMS params{&description, nullptr, 1, 0};
  EXPECT_EQ(object->Invoke(kDispidFail, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), E_FAIL);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Bstr text;
  info->GetDescription(text.put());
  EXPECT_EQ(text.str(), L"disk on fire");

  try {
    invoke_method(object.get(), L"Fail", {Variant(L"again")});
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_FAIL);
    EXPECT_EQ(e.Description(), L"again");
  }
}

// Interface pointers cannot cross: neither as argument nor as result.
TEST_F(LocalServerTest, InterfacePointersDoNotTravel) {
  ComPtr<IDispatch> object = create();
  Variant result;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(object->Invoke(kDispidSelf, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            DISP_E_BADVARTYPE);
  Variant self(object.get());
  DISPPARAMS one{&self, nullptr, 1, 0};
  EXPECT_EQ(object->Invoke(kDispidEcho, GUID_NULL, 0, DISPATCH_METHOD, &one, &result, nullptr, nullptr),
            DISP_E_BADVARTYPE);
  EXPECT_EQ(invoke_method(object.get(), L"Add", {Variant(1), Variant(1)}).lVal, 2);
}

// Stubs made at the same moment on several threads reach one server, whose
// objects share its state.
TEST_F(LocalServerTest, ConcurrentClientsShareOneServer) {
  constexpr int kClients = 4;
  std::vector<ComPtr<IDispatch>> objects(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i)
    threads.emplace_back([&, i] {
      create_local_server_instance(kTestServerClsid, server_command_line(), IID_IDispatch, objects[i].put_void());
    });
  for (std::thread& t : threads) t.join();
  for (const auto& object : objects) ASSERT_TRUE(object);
  for (const auto& object : objects) EXPECT_EQ(process_of(object.get()), process_of(objects[0].get()));
  const LONG before = invoke_method(objects[0].get(), L"Next", {}).lVal;
  EXPECT_EQ(invoke_method(objects[1].get(), L"Next", {}).lVal, before + 1);
}

// The server ends once its last client lets go; a server killed under its
// client makes calls fail with RPC_E_DISCONNECTED, and the next creation
// starts a new one.
TEST_F(LocalServerTest, ServerLifetimeFollowsItsClients) {
  ComPtr<IDispatch> object = create();
  ASSERT_TRUE(local_server_process(kTestServerClsid));
  object.reset();
  EXPECT_TRUE(wait_until([] { return !local_server_process(kTestServerClsid); }, milliseconds(10000)));

  object = create();
  kill_process(process_of(object.get()));
  ASSERT_TRUE(wait_until([] { return !local_server_process(kTestServerClsid); }, milliseconds(10000)));
  Variant result;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(object->Invoke(kDispidNext, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            RPC_E_DISCONNECTED);
  EXPECT_EQ(invoke_method(create().get(), L"Add", {Variant(1), Variant(2)}).lVal, 3);
}

// A server started while the client holds another server's object does not
// inherit that connection: the other server still ends when the client
// lets go.
TEST_F(LocalServerTest, ServersInheritNoClientConnection) {
  ComPtr<IDispatch> first = create();
  ComPtr<IDispatch> second;
  ASSERT_EQ(create_local_server_instance(kSecondTestServerClsid, server_command_line() + L" /Second", IID_IDispatch,
                                         second.put_void()),
            S_OK);
  EXPECT_NE(process_of(first.get()), process_of(second.get()));
  first.reset();
  EXPECT_TRUE(wait_until([] { return !local_server_process(kTestServerClsid); }, milliseconds(10000)));
  EXPECT_TRUE(local_server_process(kSecondTestServerClsid));
}

// Programs that cannot serve fail the creation, in bounded time.
TEST_F(LocalServerTest, ServerThatCannotStartFails) {
  ComPtr<IDispatch> object;
  EXPECT_EQ(create_local_server_instance(kTestServerClsid, L"/nonexistent/server", IID_IDispatch, object.put_void()),
            HRESULT_FROM_WIN32(ENOENT));
  EXPECT_EQ(create_local_server_instance(kTestServerClsid, L"/bin/true", IID_IDispatch, object.put_void()),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(create_local_server_instance(kTestServerClsid, L"  ", IID_IDispatch, object.put_void()),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_FALSE(object);
}

// A typed client proxy for IAdder, as a custom interface's header registers.
class AdderProxy final : public IAdder, public ClientProxy {
 public:
  AdderProxy(IUnknown* outer, IDispatch* remote) : outer_(outer), remote_(remote) {}
  void* interface_pointer() override { return static_cast<IAdder*>(this); }
  HRESULT QueryInterface(REFIID iid, void** object) override { return outer_->QueryInterface(iid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }
  HRESULT GetTypeInfoCount(UINT* c) override { return remote_->GetTypeInfoCount(c); }
  HRESULT GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return remote_->GetTypeInfo(i, l, t); }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* n, UINT c, LCID l, DISPID* ids) override {
    return remote_->GetIDsOfNames(iid, n, c, l, ids);
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID l, WORD f, DISPPARAMS* p, VARIANT* r, EXCEPINFO* e, UINT* a) override {
    return remote_->Invoke(id, iid, l, f, p, r, e, a);
  }
  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    Variant args[2] = {Variant(static_cast<int>(b)), Variant(static_cast<int>(a))};
    DISPPARAMS params{args, nullptr, 2, 0};
    Variant result;
    const HRESULT hr = remote_->Invoke(kDispidAdd, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    if (SUCCEEDED(hr)) *sum = result.lVal;
    return hr;
  }

 private:
  IUnknown* outer_;
  IDispatch* remote_;
};

std::unique_ptr<ClientProxy> make_adder_proxy(IUnknown* outer, IDispatch* remote) {
  return std::make_unique<AdderProxy>(outer, remote);
}

// Custom interfaces are answered through registered client proxies, only
// when the server object has them, and keep the stub's identity.
TEST_F(LocalServerTest, CustomInterfacesNeedAClientProxy) {
  ComPtr<IDispatch> object = create();
  EXPECT_FALSE(object.as<IAdder>());
  {
    ClientProxyRegistration adder(IAdder::kIid, &make_adder_proxy);
    ClientProxyRegistration missing(IMissing::kIid, &make_adder_proxy);
    ComPtr<IAdder> typed = object.as<IAdder>();
    ASSERT_TRUE(typed);
    LONG sum = 0;
    EXPECT_EQ(typed->Add(20, 22, &sum), S_OK);
    EXPECT_EQ(sum, 42);
    EXPECT_EQ(typed.as<IUnknown>(), object.as<IUnknown>());
    EXPECT_FALSE(object.as<IMissing>());
  }
  ComPtr<IDispatch> other = create();
  EXPECT_FALSE(other.as<IAdder>());
}

}  // namespace
}  // namespace Tavrin::Platform::Com
