// Optional parameters, typed interface results, dates, enumerators and the
// texts of dispatch failures.
#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "platform/com/com_object.h"
#include "platform/com/enum_variant.h"

namespace Tavrin::Platform::Com {
namespace {

struct IOptionalTest : IDispatch {
  static constexpr IID kIid = make_guid("{9A1E2B3C-4D5E-4F60-8172-93A4B5C6D7E8}");
  virtual HRESULT Open(BSTR path, LONG mode, VARIANT_BOOL create, VARIANT extra, BSTR* said) = 0;
  virtual HRESULT Child(IOptionalTest** child) = 0;

 protected:
  ~IOptionalTest() = default;
};

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOpt = PARAMFLAG_FIN | PARAMFLAG_FOPT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamDescription kOpen[] = {
    {L"path", kIn}, {L"mode", kOpt, 1}, {L"create", kOpt}, {L"extra", kOpt}, {L"said", kRetval}};
constexpr ParamDescription kChild[] = {{L"child", kRetval}};
constexpr MemberDescription kMembers[] = {
    {1, INVOKE_FUNC, L"Open", kOpen, false, nullptr, bind_member<&IOptionalTest::Open>()},
    {2, INVOKE_FUNC, L"Child", kChild, false, nullptr, bind_member<&IOptionalTest::Child>()},
};
constexpr InterfaceDescription kDescription = {L"IOptionalTest", IOptionalTest::kIid, TYPEFLAG_FDUAL, kMembers};

class OptionalTest final : public ComObject<DispatchImpl<IOptionalTest>, IOptionalTest, IDispatch> {
 public:
  OptionalTest() : ComObject(kDescription) {}
  HRESULT Open(BSTR path, LONG mode, VARIANT_BOOL create, VARIANT extra, BSTR* said) override {
    const bool missing = extra.vt == VT_ERROR && extra.scode == DISP_E_PARAMNOTFOUND;
    *said = alloc_bstr(bstr_text(path) + L" " + std::to_wstring(mode) + L" " + (create ? L"create" : L"keep") +
                       L" " + (missing ? L"-" : Variant(extra).to_string()));
    return S_OK;
  }
  HRESULT Child(IOptionalTest** child) override {
    *child = new OptionalTest();
    return S_OK;
  }

 private:
  ~OptionalTest() override = default;
};

class DispatchAdditions : public ::testing::Test {
 protected:
  ComPtr<IOptionalTest> object_ = ComPtr<IOptionalTest>::attach(new OptionalTest());
  std::wstring open(const std::vector<Variant>& args) {
    return invoke_method(object_.get(), L"Open", args).to_string();
  }
};

// Optional parameters left out from the end take their defaults.
TEST_F(DispatchAdditions, OptionalParametersTakeDefaults) {
  EXPECT_EQ(open({Variant(L"f")}), L"f 1 keep -");
  EXPECT_EQ(open({Variant(L"f"), Variant(8)}), L"f 8 keep -");
  EXPECT_EQ(open({Variant(L"f"), Variant(2), Variant(true), Variant(L"x")}), L"f 2 create x");
}

// A caller may leave one out in the middle with VT_ERROR / PARAMNOTFOUND.
TEST_F(DispatchAdditions, MissingArgumentInTheMiddle) {
  Variant missing;
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(open({Variant(L"f"), missing, Variant(true)}), L"f 1 create -");
}

// Too few or too many arguments still fail.
TEST_F(DispatchAdditions, ArgumentCountBounds) {
  try {
    open({});
    FAIL();
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(e.ErrorMessage(), L"Invalid number of parameters.");
  }
  EXPECT_THROW(open({Variant(L"a"), Variant(1), Variant(true), Variant(1), Variant(2)}), _com_error);
}

// The type description tells which parameters are optional.
TEST_F(DispatchAdditions, TypeInfoCountsOptionalParameters) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(object_->GetTypeInfo(0, 0, info.put()), S_OK);
  FUNCDESC* desc = nullptr;
  ASSERT_EQ(info->GetFuncDesc(0, &desc), S_OK);
  EXPECT_EQ(desc->cParamsOpt, 3);
  EXPECT_TRUE(desc->lprgelemdescParam[1].wParamFlags & PARAMFLAG_FOPT);
  info->ReleaseFuncDesc(desc);
}

// A typed interface result travels as VT_DISPATCH.
TEST_F(DispatchAdditions, TypedInterfaceResult) {
  Variant child = invoke_method(object_.get(), L"Child", {});
  ASSERT_EQ(child.vt, VT_DISPATCH);
  EXPECT_EQ(invoke_method(child.pdispVal, L"Open", {Variant(L"c")}).to_string(), L"c 1 keep -");
}

// Dates convert as day numbers and read as ISO text.
TEST(VariantDate, CoercionsAndText) {
  Variant date;
  date.vt = VT_DATE;
  date.date = 44197.5;  // 2021-01-01 12:00
  EXPECT_EQ(date.to_string(), L"2021-01-01 12:00:00");
  Variant day;
  ASSERT_EQ(VariantChangeType(&day, &date, 0, VT_I4), S_OK);
  EXPECT_EQ(day.lVal, 44198);  // half to even
  Variant back;
  ASSERT_EQ(VariantChangeType(&back, &day, 0, VT_DATE), S_OK);
  EXPECT_EQ(back.to_string(), L"2021-01-02 00:00:00");
  Variant copy(date);
  EXPECT_EQ(copy.vt, VT_DATE);
  date.date = 1e12;
  Variant text;
  EXPECT_EQ(VariantChangeType(&text, &date, 0, VT_BSTR), DISP_E_OVERFLOW);
}

// Arrays of other element kinds: elements in and out as their kind, deep
// copies, and conversion to an array of VARIANTs.
TEST(TypedArrays, StringsAndNumbers) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 1, 2);
  ASSERT_NE(strings, nullptr);
  VARTYPE vt = VT_EMPTY;
  ASSERT_EQ(SafeArrayGetVartype(strings, &vt), S_OK);
  EXPECT_EQ(vt, VT_BSTR);
  Bstr first(L"one"), second(L"two");
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(strings, &index, first.get()), S_OK);
  index = 2;
  ASSERT_EQ(SafeArrayPutElement(strings, &index, second.get()), S_OK);
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(strings, &index, &got), S_OK);
  EXPECT_STREQ(got, L"two");
  SysFreeString(got);
  index = 3;
  EXPECT_EQ(SafeArrayGetElement(strings, &index, &got), DISP_E_BADINDEX);

  Variant array;
  array.vt = VT_ARRAY | VT_BSTR;
  array.parray = strings;
  Variant copy(array);
  ASSERT_EQ(copy.vt, VT_ARRAY | VT_BSTR);
  EXPECT_NE(copy.parray, strings);
  Variant variants;
  ASSERT_EQ(VariantChangeType(&variants, &array, 0, VT_ARRAY | VT_VARIANT), S_OK);
  index = 1;
  Variant element;
  ASSERT_EQ(SafeArrayGetElement(variants.parray, &index, &element), S_OK);
  EXPECT_EQ(element.to_string(), L"one");
  Variant numbers;
  EXPECT_EQ(VariantChangeType(&numbers, &array, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);  // "one" is no number

  SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 0, 1);
  LONG value = 42;
  index = 0;
  ASSERT_EQ(SafeArrayPutElement(longs, &index, &value), S_OK);
  LONG read = 0;
  ASSERT_EQ(SafeArrayGetElement(longs, &index, &read), S_OK);
  EXPECT_EQ(read, 42);
  EXPECT_EQ(SafeArrayDestroy(longs), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
}

// An enumerator hands out its items in order, skips, resets and clones.
TEST(EnumVariant, NextSkipResetClone) {
  std::vector<Variant> items;
  for (int i = 1; i <= 3; ++i) items.emplace_back(i);
  auto walk = ComPtr<IEnumVARIANT>::attach(create_enum_variant(std::move(items)));
  VARIANT got[2];
  ULONG fetched = 0;
  ASSERT_EQ(walk->Next(2, got, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(got[0].lVal, 1);
  EXPECT_EQ(got[1].lVal, 2);
  ComPtr<IEnumVARIANT> copy;
  ASSERT_EQ(walk->Clone(copy.put()), S_OK);
  EXPECT_EQ(walk->Next(2, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(got[0].lVal, 3);
  EXPECT_EQ(copy->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0].lVal, 3);
  walk->Reset();
  EXPECT_EQ(walk->Skip(5), S_FALSE);
  walk->Reset();
  EXPECT_EQ(walk->Skip(1), S_OK);
  EXPECT_EQ(walk->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0].lVal, 2);
}

// Failures of the dispatch layer have their texts.
TEST(ResultMessages, DispatchFailures) {
  EXPECT_EQ(_com_error(DISP_E_TYPEMISMATCH).ErrorMessage(), L"Type mismatch.");
  EXPECT_EQ(_com_error(DISP_E_MEMBERNOTFOUND).ErrorMessage(), L"Member not found.");
  EXPECT_EQ(_com_error(DISP_E_UNKNOWNNAME).ErrorMessage(), L"Unknown name.");
  EXPECT_EQ(result_message(E_FAIL), L"");
}

// A built-in class answers its version-independent program id too.
TEST(BuiltinClasses, BothProgramIds) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  constexpr CLSID kClass = make_guid("{9A1E2B3C-4D5E-4F60-8172-93A4B5C6D7E9}");
  register_builtin_class(kClass, L"Quorvane.TestBuiltin.3",
                         [](REFIID iid, void** object) {
                           auto made = ComPtr<IOptionalTest>::attach(new OptionalTest());
                           return made->QueryInterface(iid, object);
                         },
                         L"Quorvane.TestBuiltin");
  CLSID a{}, b{};
  EXPECT_EQ(CLSIDFromProgID(L"Quorvane.TestBuiltin", &a), S_OK);
  EXPECT_EQ(CLSIDFromProgID(L"quorvane.testbuiltin.3", &b), S_OK);
  EXPECT_EQ(a, kClass);
  EXPECT_EQ(b, kClass);
  LPOLESTR progid = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(kClass, &progid), S_OK);
  EXPECT_STREQ(progid, L"Quorvane.TestBuiltin.3");
  CoTaskMemFree(progid);
  CoUninitialize();
}

}  // namespace
}  // namespace Tavrin::Platform::Com
