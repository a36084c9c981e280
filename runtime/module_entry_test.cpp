// The server's entry points, linked into the test program, with the module
// lock count behind DllCanUnloadNow.
#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "runtime/testing/private_copy.h"
#include "runtime/velmora_script.h"

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
extern "C" HRESULT DllCanUnloadNow();

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Runtime::Testing::config_with_level;
using Tavrin::Runtime::Testing::InPrivateCopy;

class ModuleEntry : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ModuleEntry, OffersOnlyItsClass) {
  constexpr CLSID kOther = make_guid("{7A0C0D10-0000-4000-8000-0000000000AC}");
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(DllGetClassObject(kOther, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_VelmoraScript, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(factory.as<IDispatch>(), nullptr);
  ComPtr<IUnknown> aggregate;
  EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, aggregate.put_void()), CLASS_E_NOAGGREGATION);
}

// The module may go only when no object, factory or server lock is left.
TEST_F(ModuleEntry, UnloadsOnlyWhenNothingIsLeft) {
  if (!InPrivateCopy(config_with_level("message"))) return;
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_VelmoraScript, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  ComPtr<IDispatch> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
  ASSERT_EQ(factory->LockServer(1), S_OK);
  factory = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  object = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the server lock
  ASSERT_EQ(DllGetClassObject(CLSID_VelmoraScript, IID_IClassFactory, factory.put_void()), S_OK);
  ASSERT_EQ(factory->LockServer(0), S_OK);
  factory = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// A creation whose initialisation fails leaves no object behind.
TEST_F(ModuleEntry, FailedCreationLeavesNothing) {
  if (!InPrivateCopy(std::nullopt)) return;
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_VelmoraScript, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IUnknown> object;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), E_FAIL);
  EXPECT_FALSE(object);
  factory = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
