// The runtime object as the runner and scripts reach it: created by class id
// through the component system (registered in the test's private registry)
// and called by member name through IDispatch.
#include <chrono>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "platform/com/testing/class_registration.h"
#include "platform/text.h"
#include "proxy/velmora_proxy.h"
#include "runtime/testing/private_copy.h"
#include "runtime/velmora_script.h"

namespace {

using namespace Tavrin::Platform::Com;
using namespace Tavrin::Platform::Com::Testing;
using Tavrin::Runtime::Testing::config_with_level;
using Tavrin::Runtime::Testing::ConsoleCapture;
using Tavrin::Runtime::Testing::InPrivateCopy;

const std::string kAllChannels = config_with_level("message assert error");

class RuntimeObject : public ::testing::Test {
 protected:
  void TearDown() override {
    object_ = nullptr;
    capture_.reset();
    if (initialised_) CoUninitialize();
  }

  // Registers the runtime server (and, with `proxy`, the fake proxy) and
  // creates the object by class id.
  void Create(bool proxy = true) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    initialised_ = true;
    register_inproc_server(CLSID_VelmoraScript, QUORVANE_BIN_DIR "/QuorvaneRuntime.so");
    register_progid(L"Velmora.Script.1", CLSID_VelmoraScript);
    register_current_version(L"Velmora.Script", L"Velmora.Script.1");
    if (proxy) register_inproc_server(CLSID_VelmoraProxy, FAKE_PROXY_MODULE);
    capture_ = std::make_unique<ConsoleCapture>();
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CoCreateInstance(CLSID_VelmoraScript, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()), S_OK);
    ASSERT_EQ(OleRun(unknown.get()), S_OK);
    object_ = unknown.as<IDispatch>();
    ASSERT_TRUE(object_);
  }

  Variant Call(const std::wstring& name, const std::vector<Variant>& args = {}) {
    return invoke_method(object_.get(), name, args);
  }
  // The failure code of a call, and its description in *description.
  HRESULT Failure(const std::wstring& name, const std::vector<Variant>& args, std::wstring* description = nullptr) {
    try {
      Call(name, args);
    } catch (const _com_error& e) {
      if (description) *description = e.Description();
      return e.Error();
    }
    return S_OK;
  }
  ComPtr<IVelmoraScript> Direct() { return object_.as<IVelmoraScript>(); }

  bool initialised_ = false;
  std::unique_ptr<ConsoleCapture> capture_;
  ComPtr<IDispatch> object_;
};

// Echo prints its arguments' texts without separator and one line feed.
TEST_F(RuntimeObject, EchoPrintsTextsAndLineFeed) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Call(L"Echo", {Variant(L"a"), Variant(1)});
  EXPECT_EQ(capture_->text(), L"a1\n");
  capture_->clear();
  Call(L"echo");
  EXPECT_EQ(capture_->text(), L"\n");
  capture_->clear();
  Call(L"Echo", {Variant(2.5), Variant(true), Variant(L"\u00e9")});
  EXPECT_EQ(capture_->text(), L"2.5-1\u00e9\n");
}

// A null argument fails with the type-mismatch code and no description;
// what came before it and the line feed are still printed.
TEST_F(RuntimeObject, EchoOfNullFailsButEndsTheLine) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  std::wstring description = L"unset";
  EXPECT_EQ(Failure(L"Echo", {Variant(L"a"), Variant::null(), Variant(L"b")}, &description), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(description, L"");
  EXPECT_EQ(capture_->text(), L"a\n");
  EXPECT_EQ(Direct()->Echo(nullptr), E_INVALIDARG);
}

// With channel "message" off Echo prints nothing at all.
TEST_F(RuntimeObject, EchoIsSilentWhenMessageChannelIsOff) {
  if (!InPrivateCopy(config_with_level("assert error"))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Call(L"Echo", {Variant(L"a"), Variant(1)});
  Call(L"Echo");
  EXPECT_EQ(capture_->text(), L"");
}

// Without console_log_level every channel stays on.
TEST_F(RuntimeObject, EchoPrintsWhenNoLevelIsConfigured) {
  if (!InPrivateCopy(std::string("<config><section id=\"common\"></section></config>"))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Call(L"Echo", {Variant(L"x")});
  EXPECT_EQ(capture_->text(), L"x\n");
}

// Without config.xml the object cannot initialise and creation fails.
TEST_F(RuntimeObject, CreationFailsWithoutConfiguration) {
  if (!InPrivateCopy(std::nullopt)) return;
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  initialised_ = true;
  register_inproc_server(CLSID_VelmoraScript, QUORVANE_BIN_DIR "/QuorvaneRuntime.so");
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(CoCreateInstance(CLSID_VelmoraScript, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()), E_FAIL);
  EXPECT_FALSE(unknown);
}

// scriptFullName is empty until put; a null string puts an empty name.
TEST_F(RuntimeObject, ScriptFullNameProperty) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  const Variant initial = get_property(object_.get(), L"scriptFullName");
  ASSERT_EQ(initial.vt, VT_BSTR);
  EXPECT_EQ(bstr_text(initial.bstrVal), L"");
  put_property(object_.get(), L"ScriptFullName", Variant(L"/tmp/tests/a.js"));
  EXPECT_EQ(get_property(object_.get(), L"scriptFullName").to_string(), L"/tmp/tests/a.js");
  ComPtr<IVelmoraScript> direct = Direct();
  EXPECT_EQ(direct->put_scriptFullName(nullptr), S_OK);
  Bstr name;
  ASSERT_EQ(direct->get_scriptFullName(name.put()), S_OK);
  EXPECT_FALSE(name.is_null());
  EXPECT_EQ(name.str(), L"");
  EXPECT_EQ(direct->get_scriptFullName(nullptr), E_INVALIDARG);
}

// Run parameters are put into section "common" and read back as text,
// whatever their type; an unknown one fails without description.
TEST_F(RuntimeObject, PutAndGetParameters) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Call(L"PutParameter", {Variant(L"suite"), Variant(3)});
  EXPECT_EQ(Call(L"GetParameter", {Variant(L"suite")}).to_string(), L"3");
  Call(L"PutParameter", {Variant(L"suite"), Variant(L"4")});
  EXPECT_EQ(Call(L"GetParameter", {Variant(L"suite")}).to_string(), L"4");
  EXPECT_EQ(Call(L"GetParameter", {Variant(L"port")}).to_string(), L"80");  // from config.xml, an integer
  std::wstring description = L"unset";
  EXPECT_EQ(Failure(L"GetParameter", {Variant(L"nobody")}, &description), E_UNEXPECTED);
  EXPECT_EQ(description, L"");

  ComPtr<IVelmoraScript> direct = Direct();
  Bstr key(L"k");
  BSTR value = nullptr;
  EXPECT_EQ(direct->PutParameter(nullptr, key.get()), E_INVALIDARG);
  EXPECT_EQ(direct->PutParameter(key.get(), nullptr), E_INVALIDARG);
  EXPECT_EQ(direct->GetParameter(nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(direct->GetParameter(key.get(), nullptr), E_INVALIDARG);
}

// CreateObject resolves program ids (following CurVer) and returns the
// object's IDispatch.
TEST_F(RuntimeObject, CreateObjectMakesRegisteredObjects) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  const Variant other = Call(L"CreateObject", {Variant(L"Velmora.Script")});
  ASSERT_EQ(other.vt, VT_DISPATCH);
  ASSERT_NE(other.pdispVal, nullptr);
  EXPECT_NE(other.pdispVal, object_.get());
  EXPECT_EQ(invoke_method(other.pdispVal, L"GenerateUUID", {}).to_string().size(), 36u);
}

// An unregistered program id returns the lookup's code and leaves the
// result untouched; a class without IDispatch gives null and success.
TEST_F(RuntimeObject, CreateObjectFailures) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  ComPtr<IVelmoraScript> direct = Direct();
  auto* const untouched = reinterpret_cast<IDispatch*>(0x1);
  IDispatch* result = untouched;
  Bstr unknown(L"No.Such.Program");
  EXPECT_EQ(direct->CreateObject(unknown.get(), &result), CO_E_CLASSSTRING);
  EXPECT_EQ(result, untouched);
  EXPECT_EQ(Failure(L"CreateObject", {Variant(L"No.Such.Program")}), CO_E_CLASSSTRING);
  EXPECT_EQ(direct->CreateObject(nullptr, &result), E_POINTER);
  EXPECT_EQ(direct->CreateObject(unknown.get(), nullptr), E_POINTER);

  constexpr CLSID kPlain = make_guid("{7A0C0D10-0000-4000-8000-0000000000AA}");
  register_builtin_class(kPlain, L"Test.NoDispatch", [](REFIID iid, void** object) -> HRESULT {
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    ComPtr<ICreateErrorInfo> plain;  // an object that answers IUnknown but not IDispatch
    CreateErrorInfo(plain.put());
    *object = plain.as<IUnknown>().detach();
    return S_OK;
  });
  Bstr plain(L"Test.NoDispatch");
  ASSERT_EQ(direct->CreateObject(plain.get(), &result), S_OK);
  EXPECT_EQ(result, nullptr);

  constexpr CLSID kBroken = make_guid("{7A0C0D10-0000-4000-8000-0000000000AB}");
  register_progid(L"Test.Broken", kBroken);
  register_inproc_server(kBroken, "/nonexistent/broken.so");
  EXPECT_EQ(Failure(L"CreateObject", {Variant(L"Test.Broken")}), CO_E_DLLNOTFOUND);
}

// UUIDs are version 4, RFC 4122 variant, lower case, and do not repeat.
TEST_F(RuntimeObject, GenerateUuidGivesDistinctVersion4Texts) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  const std::wregex form(L"[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::wstring> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::wstring uuid = Call(L"GenerateUUID").to_string();
    ASSERT_TRUE(std::regex_match(uuid, form)) << Tavrin::Platform::to_utf8(uuid);
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_EQ(Direct()->GenerateUUID(nullptr), E_POINTER);
}

// Remote hands the command to the proxy and returns its whole answer, and
// nothing else carries it (no run parameter holds it); a failing proxy
// call passes on its code and, for a Windows error, the system's text.
TEST_F(RuntimeObject, RemoteAndPingTalkToTheProxy) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  EXPECT_EQ(Call(L"Remote", {Variant(L"page u-1 http://a/ A")}).to_string(),
            L"{\"ok\":true,\"value\":\"answer\",\"page\":\"u-1\",\"url\":\"http://a/\",\"title\":\"A\"}");
  EXPECT_EQ(Call(L"Remote", {Variant(L"other")}).to_string(), L"{\"ok\":true,\"value\":null}");
  EXPECT_EQ(Failure(L"GetParameter", {Variant(L"page_answer")}), E_UNEXPECTED) << "the answer travels once";
  std::wstring description;
  EXPECT_EQ(Failure(L"Remote", {Variant(L"fail-win32")}, &description), HRESULT_FROM_WIN32(ENOENT));
  EXPECT_EQ(description, L"No such file or directory");
  description = L"unset";
  EXPECT_EQ(Failure(L"Remote", {Variant(L"fail")}, &description), E_FAIL);
  EXPECT_EQ(description, L"");
  const Variant count = Call(L"Ping");
  ASSERT_EQ(count.vt, VT_UI8);
  EXPECT_EQ(count.ullVal, 4u);
  EXPECT_EQ(Direct()->Ping(nullptr), E_INVALIDARG);
  BSTR value = nullptr;
  EXPECT_EQ(Direct()->Remote(nullptr, &value), E_POINTER);
}

// Commands share one proxy object for the run; a proxy that went away
// fails its command, and the next command makes a new object.
TEST_F(RuntimeObject, RemoteKeepsItsProxyUntilItIsGone) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  // The fake's answer to "made": {"ok":true,"value":N}, N objects made.
  auto made = [](const std::wstring& answer) {
    const auto colon = answer.rfind(L':');
    return colon == std::wstring::npos ? 0ul : std::stoul(answer.substr(colon + 1));
  };
  const std::wstring first = Call(L"Remote", {Variant(L"made")}).to_string();
  ASSERT_GT(made(first), 0ul);
  for (int i = 0; i < 3; ++i) EXPECT_NE(Call(L"Remote", {Variant(L"page u-1 http://a/ A")}).to_string(), L"");
  // A command the proxy fails leaves the object in use.
  EXPECT_EQ(Failure(L"Remote", {Variant(L"fail")}), E_FAIL);
  EXPECT_EQ(Call(L"Remote", {Variant(L"made")}).to_string(), first);
  EXPECT_EQ(Failure(L"Remote", {Variant(L"disconnect")}), RPC_E_DISCONNECTED);
  EXPECT_EQ(made(Call(L"Remote", {Variant(L"made")}).to_string()), made(first) + 1);
  EXPECT_NE(Call(L"Remote", {Variant(L"page u-2 http://b/ B")}).to_string(), L"");
}

// Without a proxy server Remote answers E_POINTER and Ping the creation's
// failure.
TEST_F(RuntimeObject, RemoteAndPingWithoutProxy) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create(/*proxy=*/false));
  EXPECT_EQ(Failure(L"Remote", {Variant(L"page u-1 http://a/ A")}), E_POINTER);
  EXPECT_EQ(Failure(L"Ping", {}), REGDB_E_CLASSNOTREG);
}

// Sleep waits the given time; a negative time returns at once.
TEST_F(RuntimeObject, SleepWaits) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Call(L"Sleep", {Variant(-1000)});
  const auto start = std::chrono::steady_clock::now();
  Call(L"Sleep", {Variant(30)});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

// The object answers exactly IUnknown, IDispatch and IVelmoraScript, all
// as one pointer.
TEST_F(RuntimeObject, AnswersOnlyItsThreeInterfaces) {
  if (!InPrivateCopy(kAllChannels)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  void* unknown = nullptr;
  void* script = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IUnknown, &unknown), S_OK);
  ASSERT_EQ(object_->QueryInterface(IID_IVelmoraScript, &script), S_OK);
  EXPECT_EQ(unknown, static_cast<void*>(object_.get()));
  EXPECT_EQ(script, static_cast<void*>(object_.get()));
  static_cast<IUnknown*>(unknown)->Release();
  static_cast<IUnknown*>(script)->Release();
  constexpr IID kSupportErrorInfo = make_guid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  for (const IID& iid : {kSupportErrorInfo, IID_IRunnableObject, IID_IClassFactory, IID_IVelmoraProxy,
                         IID_ITypeInfo}) {
    void* other = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object_->QueryInterface(iid, &other), E_NOINTERFACE) << Tavrin::Platform::to_utf8(guid_to_string(iid));
    EXPECT_EQ(other, nullptr);
  }
}

}  // namespace
