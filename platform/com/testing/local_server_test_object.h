// A test class served out of process by the program local_server_test_server,
// for the tests of the out-of-process transport. Its objects share one
// counter per server process.
#ifndef QUORVANE_PLATFORM_COM_TESTING_LOCAL_SERVER_TEST_OBJECT_H_
#define QUORVANE_PLATFORM_COM_TESTING_LOCAL_SERVER_TEST_OBJECT_H_

#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"

namespace Tavrin::Platform::Com::Testing {

constexpr CLSID kTestServerClsid = make_guid("{6E0C41B2-9D2A-4F7B-8C31-2B7A5D60E901}");
// The same objects under another class id, served when the program is
// started with "/Second".
constexpr CLSID kSecondTestServerClsid = make_guid("{6E0C41B2-9D2A-4F7B-8C31-2B7A5D60E902}");

// DISPIDs of ITestServer.
enum : DISPID {
  kDispidAdd = 1,
  kDispidSplit,
  kDispidEcho,
  kDispidFail,
  kDispidSelf,
  kDispidProcessId,
  kDispidNext,
};

struct ITestServer : IDispatch {
  static constexpr IID kIid = make_guid("{0B5F7E21-3C44-4E8A-9F1D-6A2C8E4B7D10}");
  virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
  // Cuts `text` at its first blank.
  virtual HRESULT Split(BSTR text, BSTR* head, BSTR* tail) = 0;
  virtual HRESULT Echo(VARIANT value, VARIANT* copy) = 0;
  // Fails with E_FAIL and `description` as error info.
  virtual HRESULT Fail(BSTR description) = 0;
  // The object itself, which cannot travel.
  virtual HRESULT Self(IDispatch** object) = 0;
  virtual HRESULT ProcessId(LONG* pid) = 0;
  // The server's shared counter, counted up.
  virtual HRESULT Next(LONG* value) = 0;

 protected:
  ~ITestServer() = default;
};

// A second interface of the test objects, with ITestServer's Add.
struct IAdder : IDispatch {
  static constexpr IID kIid = make_guid("{7D3A9C55-1E6B-4B02-A8F4-93C1D2E5F611}");
  virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;

 protected:
  ~IAdder() = default;
};

// An interface the test objects do not have.
struct IMissing : IDispatch {
  static constexpr IID kIid = make_guid("{A1B2C3D4-0000-4000-8000-00000000AB01}");
};

}  // namespace Tavrin::Platform::Com::Testing

#endif  // QUORVANE_PLATFORM_COM_TESTING_LOCAL_SERVER_TEST_OBJECT_H_
