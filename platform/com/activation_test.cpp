#include "platform/com/activation.h"

#include <thread>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"
#include "platform/com/testing/class_registration.h"
#include "platform/com/testing/test_object.h"

namespace {

using namespace Tavrin::Platform::Com;
using namespace Tavrin::Platform::Com::Testing;

constexpr CLSID kUnregistered = make_guid("{4F1D2A6F-0000-4000-8000-000000000001}");

class Activation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
  void TearDown() override { CoUninitialize(); }

  HRESULT Create(REFCLSID clsid, ComPtr<IUnknown>* object, DWORD context = CLSCTX_ALL) {
    return CoCreateInstance(clsid, nullptr, context, IID_IUnknown, object->put_void());
  }
};

// A class registered with InprocServer32 comes from its module, and OleRun
// puts the object into its running state.
TEST_F(Activation, CreatesInprocClassFromItsModule) {
  register_inproc_server(CLSID_ComTestObject, COM_TEST_SERVER);
  ComPtr<IUnknown> object;
  ASSERT_EQ(Create(CLSID_ComTestObject, &object), S_OK);
  ComPtr<IDispatch> dispatch = object.as<IDispatch>();
  ASSERT_TRUE(dispatch);
  EXPECT_FALSE(get_property(dispatch.get(), L"running").boolVal);
  ASSERT_EQ(OleRun(object.get()), S_OK);
  EXPECT_TRUE(get_property(dispatch.get(), L"Running").boolVal);
  EXPECT_EQ(dispatch.get(), object.as<IComTestObject>().get());
}

// Failures of activation each have their own code, and leave the result
// null.
TEST_F(Activation, ReportsWhyAClassCannotBeCreated) {
  ComPtr<IUnknown> object;
  EXPECT_EQ(Create(kUnregistered, &object), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(object);

  register_inproc_server(kUnregistered, "/nonexistent/module.so");
  EXPECT_EQ(Create(kUnregistered, &object), CO_E_DLLNOTFOUND);
  register_inproc_server(kUnregistered, QUORVANE_BIN_DIR "/libQuorvanePlatform.so");
  EXPECT_EQ(Create(kUnregistered, &object), CO_E_ERRORINDLL);

  register_inproc_server(CLSID_ComTestObject, COM_TEST_SERVER);
  EXPECT_EQ(Create(CLSID_ComTestObject, &object, CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(Create(CLSID_ComTestObject, &object), S_OK);
  ComPtr<IUnknown> aggregate;
  EXPECT_EQ(CoCreateInstance(CLSID_ComTestObject, object.get(), CLSCTX_ALL, IID_IUnknown, aggregate.put_void()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(aggregate);
  EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
}

// A class registered with LocalServer32 only is handed to the
// out-of-process layer with its command line.
TEST_F(Activation, HandsLocalServerClassesOnWithTheirCommandLine) {
  constexpr CLSID kLocal = make_guid("{4F1D2A6F-0000-4000-8000-000000000003}");
  register_local_server(kLocal, L"/nonexistent/server /Embedding");
  ComPtr<IUnknown> object;
  const HRESULT hr = Create(kLocal, &object);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_NE(hr, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(Create(kLocal, &object, CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
}

// Only threads that initialised the component system create objects.
TEST_F(Activation, NeedsAnInitialisedThread) {
  register_inproc_server(CLSID_ComTestObject, COM_TEST_SERVER);
  HRESULT hr = S_OK;
  std::thread([&] {
    IUnknown* object = nullptr;
    hr = CoCreateInstance(CLSID_ComTestObject, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object));
  }).join();
  EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
}

// Program ids resolve through their CLSID key, or follow CurVer from the
// version-independent id; names ignore case; a CurVer loop ends.
TEST_F(Activation, ResolvesProgramIds) {
  register_progid(L"Com.Test.1", CLSID_ComTestObject);
  register_current_version(L"Com.Test", L"Com.Test.1");
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromProgID(L"Com.Test.1", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_ComTestObject);
  clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromProgID(L"com.test", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_ComTestObject);

  EXPECT_EQ(CLSIDFromProgID(L"No.Such.Program", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  EXPECT_EQ(CLSIDFromProgID(L"", &clsid), CO_E_CLASSSTRING);
  register_current_version(L"Loop.A", L"Loop.B");
  register_current_version(L"Loop.B", L"Loop.A");
  EXPECT_EQ(CLSIDFromProgID(L"Loop.A", &clsid), CO_E_CLASSSTRING);

  LPOLESTR progid = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_ComTestObject, &progid), S_OK);
  EXPECT_STREQ(progid, L"Com.Test.1");
  CoTaskMemFree(progid);
  EXPECT_EQ(ProgIDFromCLSID(kUnregistered, &progid), REGDB_E_CLASSNOTREG);
}

// A failing call's description names the class by its program id.
TEST_F(Activation, DescribesFailuresWithTheProgramId) {
  register_inproc_server(CLSID_ComTestObject, COM_TEST_SERVER);
  register_progid(L"Com.Test.1", CLSID_ComTestObject);
  ComPtr<IUnknown> object;
  ASSERT_EQ(Create(CLSID_ComTestObject, &object), S_OK);
  try {
    invoke_method(object.as<IDispatch>().get(), L"Fail", {Variant(L"it broke")});
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_FAIL);
    EXPECT_EQ(e.Description(), L"it broke");
    EXPECT_EQ(e.Source(), L"Com.Test.1");
  }
}

// Built-in classes need no registration and win over registered ones.
TEST_F(Activation, CreatesBuiltinClasses) {
  constexpr CLSID kBuiltin = make_guid("{4F1D2A6F-0000-4000-8000-000000000002}");
  int made = 0;
  register_builtin_class(kBuiltin, L"Builtin.Thing", [&made](REFIID iid, void** object) {
    ++made;
    ComPtr<IUnknown> unknown;
    const HRESULT hr = CoCreateInstance(CLSID_ComTestObject, nullptr, CLSCTX_ALL, iid, unknown.put_void());
    *object = unknown.detach();
    return hr;
  });
  register_inproc_server(CLSID_ComTestObject, COM_TEST_SERVER);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(CLSIDFromProgID(L"BUILTIN.THING", &clsid), S_OK);
  EXPECT_EQ(clsid, kBuiltin);
  ComPtr<IUnknown> object;
  ASSERT_EQ(Create(kBuiltin, &object), S_OK);
  EXPECT_TRUE(object.as<IComTestObject>());
  EXPECT_EQ(made, 1);
}

// Each thread has its own error info, and taking it empties the slot.
TEST(ErrorInfo, BelongsToItsThread) {
  report_error(GUID_NULL, GUID_NULL, L"main");
  HRESULT other = S_OK;
  std::thread([&] {
    IErrorInfo* info = nullptr;
    other = GetErrorInfo(0, &info);
  }).join();
  EXPECT_EQ(other, S_FALSE);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Bstr text;
  info->GetDescription(text.put());
  EXPECT_EQ(text.str(), L"main");
  EXPECT_EQ(GetErrorInfo(0, info.put()), S_FALSE);
}

// The texts of _com_error for codes of the Windows facility come from the
// system's messages.
TEST(ErrorInfo, ComErrorMessages) {
  EXPECT_EQ(_com_error(HRESULT_FROM_WIN32(2)).ErrorMessage(), L"No such file or directory");
  EXPECT_EQ(_com_error(hresult_of(0x80040201)).ErrorMessage(), L"IDispatch error #1");
  EXPECT_EQ(_com_error(E_FAIL).ErrorMessage(), L"Unknown error 0x80004005");
  EXPECT_EQ(system_message(999999), L"");
}

}  // namespace
