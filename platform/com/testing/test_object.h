// The class of the component system's test server module
// (libcom_test_server.so): a small dual-interface object that records
// whether it was put into the running state and can fail on demand.
#ifndef QUORVANE_PLATFORM_COM_TESTING_TEST_OBJECT_H_
#define QUORVANE_PLATFORM_COM_TESTING_TEST_OBJECT_H_

#include "platform/com/dispatch.h"
#include "platform/com/guid.h"

constexpr CLSID CLSID_ComTestObject = Tavrin::Platform::Com::make_guid("{4F1D2A60-7C3B-4E8A-9B21-5D6E7F809A1B}");

struct IComTestObject : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{4F1D2A61-7C3B-4E8A-9B21-5D6E7F809A1B}");

  // Whether IRunnableObject::Run was called on this object.
  virtual HRESULT get_Running(VARIANT_BOOL* running) = 0;
  // Sets `description` as error info and fails with E_FAIL.
  virtual HRESULT Fail(BSTR description) = 0;

 protected:
  ~IComTestObject() = default;
};
#endif  // QUORVANE_PLATFORM_COM_TESTING_TEST_OBJECT_H_
