// A dispatch object for the bridge tests: properties, methods with fixed,
// optional and variable argument lists, failures with a chosen code, child
// objects, arrays and calls back into script functions.
#ifndef QUORVANE_PLATFORM_SCRIPT_TESTING_BRIDGE_TEST_OBJECT_H_
#define QUORVANE_PLATFORM_SCRIPT_TESTING_BRIDGE_TEST_OBJECT_H_

#include <atomic>

#include "platform/com/com.h"

struct IBridgeTest : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{6B0E3F10-2A4C-4D5E-8F61-7A8B9C0D1E2F}");

  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  // How many calls the object has answered.
  virtual HRESULT get_Calls(LONG* calls) = 0;
  virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
  // `b` is optional (7 when left out).
  virtual HRESULT AddOptional(LONG a, LONG b, LONG* sum) = 0;
  // Its arguments' texts joined with ",".
  virtual HRESULT Join(SAFEARRAY* args, BSTR* text) = 0;
  virtual HRESULT Echo(VARIANT value, VARIANT* same) = 0;
  // Fails with `code` and `description` as error info.
  virtual HRESULT Fail(BSTR description, LONG code) = 0;
  // A new object of this class named `name`.
  virtual HRESULT MakeChild(BSTR name, IBridgeTest** child) = 0;
  // The array [1, "two", 3.5].
  virtual HRESULT Numbers(VARIANT* array) = 0;
  // Calls `function` (its DISPID_VALUE) with `argument`.
  virtual HRESULT CallBack(IDispatch* function, VARIANT argument, VARIANT* result) = 0;
  // Reads property `name` of a script object.
  virtual HRESULT ReadProperty(IDispatch* object, BSTR name, VARIANT* value) = 0;
  // The number of characters (wchar_t) of `text`.
  virtual HRESULT Length(BSTR text, LONG* length) = 0;
  // A typed array of strings: ["x", "y"].
  virtual HRESULT Strings(VARIANT* array) = 0;
  // A collection of the elements "a", "b", "c" for Enumerator.
  virtual HRESULT get__NewEnum(IUnknown** walk) = 0;

 protected:
  ~IBridgeTest() = default;
};

namespace Tavrin::Platform::Script::Testing {

// Objects of the test class alive now (a leak shows as a count that grows).
extern std::atomic<int> bridge_test_objects;

// A new test object named `name`.
Com::ComPtr<IBridgeTest> make_bridge_test_object(const std::wstring& name);

}  // namespace Tavrin::Platform::Script::Testing

#endif  // QUORVANE_PLATFORM_SCRIPT_TESTING_BRIDGE_TEST_OBJECT_H_
