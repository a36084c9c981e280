#include "platform/com/variant.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "platform/com/error_info.h"

namespace {

using Tavrin::Platform::Com::Bstr;
using Tavrin::Platform::Com::bstr_text;
using Tavrin::Platform::Com::Variant;

// The text the coercion to VT_BSTR gives, or the failure code as text.
std::wstring text_of(const Variant& v, USHORT flags = 0) {
  Variant out;
  const HRESULT hr = VariantChangeType(&out, &v, flags, VT_BSTR);
  if (FAILED(hr)) return L"error " + std::to_wstring(static_cast<std::uint32_t>(hr));
  EXPECT_EQ(out.vt, VT_BSTR);
  return bstr_text(out.bstrVal);
}

HRESULT to_i4(const Variant& v, LONG* value) {
  Variant out;
  const HRESULT hr = VariantChangeType(&out, &v, 0, VT_I4);
  if (SUCCEEDED(hr)) *value = out.lVal;
  return hr;
}

// A BSTR carries its length, so embedded NULs survive, and null is a
// value of its own.
TEST(Bstr, KeepsLengthAndNull) {
  const wchar_t text[] = {L'a', L'\0', L'b'};
  BSTR s = SysAllocStringLen(text, 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(bstr_text(s), std::wstring(text, 3));
  SysFreeString(s);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  Bstr empty(L"");
  EXPECT_FALSE(empty.is_null());
  Bstr copy = empty;
  EXPECT_FALSE(copy.is_null());
  EXPECT_TRUE(Bstr().is_null());
}

// Texts that scripts see when they echo numbers and other values.
TEST(VariantToText, FollowsTheAutomationRules) {
  EXPECT_EQ(text_of(Variant(1)), L"1");
  EXPECT_EQ(text_of(Variant(-42)), L"-42");
  EXPECT_EQ(text_of(Variant(ULONGLONG{18446744073709551615ull})), L"18446744073709551615");
  EXPECT_EQ(text_of(Variant(1.5)), L"1.5");
  EXPECT_EQ(text_of(Variant(0.1)), L"0.1");
  EXPECT_EQ(text_of(Variant(1e20)), L"1E+20");
  EXPECT_EQ(text_of(Variant(1.0 / 3)), L"0.333333333333333");
  EXPECT_EQ(text_of(Variant(true)), L"-1");
  EXPECT_EQ(text_of(Variant(false)), L"0");
  EXPECT_EQ(text_of(Variant(true), VARIANT_ALPHABOOL), L"True");
  EXPECT_EQ(text_of(Variant()), L"");
  EXPECT_EQ(text_of(Variant(L"a")), L"a");
}

TEST(VariantToText, NullAndObjectsWithoutValueFail) {
  EXPECT_EQ(text_of(Variant::null()), L"error " + std::to_wstring(static_cast<std::uint32_t>(DISP_E_TYPEMISMATCH)));
  Variant nothing(static_cast<IDispatch*>(nullptr));
  EXPECT_EQ(text_of(nothing), L"error " + std::to_wstring(static_cast<std::uint32_t>(DISP_E_TYPEMISMATCH)));
}

// Numbers convert with range checks and round half to even; texts are read
// as numbers.
TEST(VariantToInteger, ChecksRangeAndRounds) {
  LONG v = 0;
  EXPECT_EQ(to_i4(Variant(2.5), &v), S_OK);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(to_i4(Variant(3.5), &v), S_OK);
  EXPECT_EQ(v, 4);
  EXPECT_EQ(to_i4(Variant(L" -17 "), &v), S_OK);
  EXPECT_EQ(v, -17);
  EXPECT_EQ(to_i4(Variant(L"1e3"), &v), S_OK);
  EXPECT_EQ(v, 1000);
  EXPECT_EQ(to_i4(Variant(L"true"), &v), S_OK);
  EXPECT_EQ(v, -1);
  EXPECT_EQ(to_i4(Variant(), &v), S_OK);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(to_i4(Variant(L"2147483648"), &v), DISP_E_OVERFLOW);
  EXPECT_EQ(to_i4(Variant(ULONGLONG{1} << 40), &v), DISP_E_OVERFLOW);
  EXPECT_EQ(to_i4(Variant(std::nan("")), &v), DISP_E_OVERFLOW);
  EXPECT_EQ(to_i4(Variant(L"12abc"), &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(to_i4(Variant(L"0x10"), &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(to_i4(Variant(L""), &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(to_i4(Variant::null(), &v), DISP_E_TYPEMISMATCH);
}

// A failed conversion leaves the destination as it was, also in place.
TEST(VariantChangeType, FailureLeavesDestination) {
  Variant v(L"abc");
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(bstr_text(v.bstrVal), L"abc");
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_BYREF | VT_I4), DISP_E_BADVARTYPE);
}

// A by-reference variant converts as the value it points at, and copying
// it with VariantCopyInd gives an independent value.
TEST(VariantByRef, DereferencesOnConversionAndCopy) {
  BSTR target = SysAllocString(L"7");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &target;
  Variant out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 7);
  Variant copy;
  ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
  ASSERT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, target);
  EXPECT_EQ(bstr_text(copy.bstrVal), L"7");
  EXPECT_EQ(VariantClear(&ref), S_OK);  // clearing a reference frees nothing
  EXPECT_EQ(bstr_text(target), L"7");
  SysFreeString(target);
}

// Arrays copy deeply, know their bounds and refuse indexes outside them.
TEST(SafeArray, CopiesDeeplyWithinBounds) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 1, 2);
  ASSERT_NE(array, nullptr);
  Variant a(L"a"), b(2);
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(array, &i, &a), S_OK);
  i = 2;
  ASSERT_EQ(SafeArrayPutElement(array, &i, &b), S_OK);
  i = 3;
  EXPECT_EQ(SafeArrayPutElement(array, &i, &b), DISP_E_BADINDEX);
  i = 0;
  EXPECT_EQ(SafeArrayPutElement(array, &i, &b), DISP_E_BADINDEX);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 2);

  Variant holder;  // owns the array
  holder.vt = VT_ARRAY | VT_VARIANT;
  holder.parray = array;
  Variant copy = holder;
  ASSERT_NE(copy.parray, array);
  Variant element;
  i = 1;
  ASSERT_EQ(SafeArrayGetElement(copy.parray, &i, element.put()), S_OK);
  ASSERT_EQ(element.vt, VT_BSTR);
  EXPECT_NE(element.bstrVal, static_cast<VARIANT*>(array->pvData)[0].bstrVal);
  EXPECT_EQ(bstr_text(element.bstrVal), L"a");

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
}

}  // namespace
