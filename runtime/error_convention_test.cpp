#include "runtime/error_convention.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/com/testing/class_registration.h"
#include "runtime/velmora_script.h"

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Runtime::method_failure;

struct Outcome {
  HRESULT hr;
  bool described;
  std::wstring description;
  std::wstring source;
  GUID guid;
};

// What a method answers when its work throws `thrown`.
template <class Thrown>
Outcome fail_with(const Thrown& thrown, const wchar_t* message = nullptr) {
  SetErrorInfo(0, nullptr);
  Outcome outcome{};
  try {
    throw thrown;
  } catch (...) {
    outcome.hr = method_failure(message);
  }
  ComPtr<IErrorInfo> info;
  outcome.described = GetErrorInfo(0, info.put()) == S_OK;
  if (outcome.described) {
    Bstr text, source;
    info->GetDescription(text.put());
    info->GetSource(source.put());
    info->GetGUID(&outcome.guid);
    outcome.description = text.str();
    outcome.source = source.str();
  }
  return outcome;
}

// Component errors keep their code; only Windows-facility codes get the
// system's text.
TEST(ErrorConvention, ComponentErrors) {
  Outcome o = fail_with(_com_error(HRESULT_FROM_WIN32(2)));
  EXPECT_EQ(o.hr, HRESULT_FROM_WIN32(2));
  ASSERT_TRUE(o.described);
  EXPECT_EQ(o.description, L"No such file or directory");
  EXPECT_EQ(o.guid, IID_IVelmoraScript);
  EXPECT_EQ(o.source, guid_to_string(CLSID_VelmoraScript));

  o = fail_with(_com_error(HRESULT_FROM_WIN32(0xFFF0)));
  EXPECT_EQ(o.hr, HRESULT_FROM_WIN32(0xFFF0));
  EXPECT_EQ(o.description, L"Unknown error");

  o = fail_with(_com_error(DISP_E_TYPEMISMATCH));
  EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(o.described);
}

// Windows error codes thrown as numbers become HRESULTs with the system's
// text; a negative code is taken as it is.
TEST(ErrorConvention, ThrownErrorCodes) {
  Outcome o = fail_with(2UL);
  EXPECT_EQ(o.hr, HRESULT_FROM_WIN32(2));
  EXPECT_EQ(o.description, L"No such file or directory");
  o = fail_with(13);
  EXPECT_EQ(o.hr, HRESULT_FROM_WIN32(13));
  EXPECT_EQ(o.description, L"Permission denied");
  o = fail_with(static_cast<long>(E_ACCESSDENIED));
  EXPECT_EQ(o.hr, E_ACCESSDENIED);
  EXPECT_TRUE(o.described);
}

// A standard exception gives the method's own message and E_FAIL, or,
// where the method names none, "Unknown error" and E_UNEXPECTED, as
// anything else does.
TEST(ErrorConvention, StandardAndOtherExceptions) {
  Outcome o = fail_with(std::runtime_error("entropy"), L"Unable to generate UUID");
  EXPECT_EQ(o.hr, E_FAIL);
  EXPECT_EQ(o.description, L"Unable to generate UUID");
  o = fail_with(std::runtime_error("x"));
  EXPECT_EQ(o.hr, E_UNEXPECTED);
  EXPECT_EQ(o.description, L"Unknown error");
  o = fail_with(3.5, L"named");
  EXPECT_EQ(o.hr, E_UNEXPECTED);
  EXPECT_EQ(o.description, L"Unknown error");
}

// The description names the class by its program id once it is registered.
TEST(ErrorConvention, SourceIsTheProgramId) {
  Testing::register_progid(L"Velmora.Script.1", CLSID_VelmoraScript);
  EXPECT_EQ(fail_with(std::runtime_error("x")).source, L"Velmora.Script.1");
}

}  // namespace
