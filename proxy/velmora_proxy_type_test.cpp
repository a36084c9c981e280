// The one description of IVelmoraProxy, as callers that go by member kinds
// read it: from the table, and from the real object's IDispatch; the
// members that other programs rely on keep their shape; and the client
// proxy that the table makes carries each kind of parameter.
#include "proxy/velmora_proxy_type.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/dispatch_call.h"
#include "proxy/proxy_object.h"
#include "proxy/testing/velmora_proxy_type_check.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::ComPtr;

// The table: members in interface order; IsBusy's flag is the call's result.
TEST(VelmoraProxyType, TableDescribesTheInterface) {
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(Com::create_type_info(velmora_proxy_description(), type.put()), S_OK);
  Testing::expect_velmora_proxy_type(type.get());
}

// The first four members are what the runner, the runtime object and the
// helper rely on: their DISPIDs, kinds and directions stay as they are
// whatever the table gains.
TEST(VelmoraProxyType, TheFirstFourMembersKeepTheirShape) {
  constexpr USHORT kIn = PARAMFLAG_FIN, kRet = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  struct Expected {
    DISPID id;
    const wchar_t* name;
    std::vector<VARTYPE> kinds;
    std::vector<USHORT> flags;
  };
  const std::vector<Expected> expected = {
      {1, L"Command", {VT_BSTR, VT_BSTR}, {kIn, kRet}},
      {2, L"IsBusy", {VT_BOOL}, {kRet}},
      {3, L"SetStop", {VT_BOOL}, {kIn}},
      {4, L"RequestCount", {VT_UI8}, {kRet}},
  };
  const auto& members = velmora_proxy_description().members;
  ASSERT_GE(members.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& member = members[i];
    EXPECT_EQ(member.id, expected[i].id);
    EXPECT_EQ(std::wstring(member.name), expected[i].name);
    ASSERT_EQ(member.signature.count, expected[i].kinds.size()) << i;
    ASSERT_EQ(member.params.size(), expected[i].flags.size()) << i;
    for (std::size_t p = 0; p < expected[i].kinds.size(); ++p) {
      EXPECT_EQ(member.signature.kinds[p], expected[i].kinds[p]) << i << "/" << p;
      EXPECT_EQ(member.params[p].flags, expected[i].flags[p]) << i << "/" << p;
    }
  }
}

class VelmoraProxyObjectType : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override {
    object_ = nullptr;
    CoUninitialize();
  }
  ComPtr<IDispatch> create() {
    const auto factory = make_proxy_class_factory(std::make_shared<ProxyState>());
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object_.put_void()), S_OK);
    return object_;
  }
  ComPtr<IDispatch> object_;
};

// The server's object answers IDispatch from the same table: its type
// information says so, and IsBusy comes back as the result of a call
// without arguments.
TEST_F(VelmoraProxyObjectType, ObjectAnswersFromTheTable) {
  ComPtr<IDispatch> object = create();
  ASSERT_TRUE(object);
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, type.put()), S_OK);
  Testing::expect_velmora_proxy_type(type.get());
  const Com::Variant busy = Com::invoke_method(object.get(), L"IsBusy", {});
  EXPECT_EQ(busy.vt, VT_BOOL);
}

// The client proxy made from the table, over the real object's IDispatch as
// its remote: in-texts and booleans go by value, out-texts come back by
// reference, retvals as the call's result; a null out-pointer is refused
// before anything is sent, and a failure leaves no out-value behind.
TEST_F(VelmoraProxyObjectType, TheClientCarriesEveryKindOfParameter) {
  const auto state = std::make_shared<ProxyState>(std::chrono::milliseconds(0), [](const std::wstring& command) {
    if (command == L"fail") throw std::runtime_error("refused");
    return L"text:" + command;
  });
  state->set_run_setup(RunSetup{[](const std::string&) -> std::uint16_t { return 4321; },
                                [](const std::string&, int pid) {
                                  if (pid != 4242) throw std::runtime_error("not a browser");
                                },
                                [] { return std::uint64_t{1} << 40; }});
  const auto factory = make_proxy_class_factory(state);
  ComPtr<IDispatch> remote;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, remote.put_void()), S_OK);
  struct Outer final : IUnknown {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
  } outer;
  const auto made = make_velmora_proxy_client(&outer, remote.get());
  ASSERT_TRUE(made);
  auto* client = static_cast<IVelmoraProxy*>(made->interface_pointer());

  Com::Bstr command(L"go"), text;
  ASSERT_EQ(client->Command(command.get(), text.put()), S_OK);
  EXPECT_EQ(text.str(), L"text:go");
  Com::Bstr run(L"job-1");
  LONG port = 0;
  ASSERT_EQ(client->RegisterRun(run.get(), &port), S_OK);
  EXPECT_EQ(port, 4321);
  EXPECT_EQ(client->RegisterBrowser(run.get(), 4242), S_OK);
  EXPECT_EQ(client->RegisterBrowser(run.get(), 17), E_FAIL);
  ULONGLONG mark = 0;
  ASSERT_EQ(client->Mark(&mark), S_OK);
  EXPECT_EQ(mark, std::uint64_t{1} << 40) << "a mark crosses whole, beyond 32 bits";

  EXPECT_EQ(client->SetStop(VARIANT_FALSE), S_OK);
  VARIANT_BOOL busy = VARIANT_FALSE;
  ASSERT_EQ(client->IsBusy(&busy), S_OK);
  EXPECT_EQ(busy, VARIANT_TRUE);
  ULONGLONG count = 0;
  ASSERT_EQ(client->RequestCount(&count), S_OK);
  EXPECT_EQ(count, 5u);

  EXPECT_EQ(client->Command(command.get(), nullptr), E_POINTER);
  Com::Bstr failing(L"fail"), t2;
  EXPECT_EQ(client->Command(failing.get(), t2.put()), E_FAIL);
  EXPECT_TRUE(t2.is_null());
  EXPECT_EQ(client->SetStop(VARIANT_TRUE), S_OK);
}

}  // namespace
}  // namespace Tavrin::Proxy
