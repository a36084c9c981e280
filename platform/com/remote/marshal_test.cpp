// The wire encoding of values and of by-reference arguments.
#include <gtest/gtest.h>

#include "platform/com/dispatch.h"
#include "platform/com/remote/marshal_call_internal.h"
#include "platform/com/remote/marshal_variant_internal.h"
#include "platform/com/remote/marshal_wire_internal.h"

namespace Tavrin::Platform::Com::Wire {
namespace {

Variant round_trip(const VARIANT& value) {
  Writer out;
  write_variant(out, value);
  Reader in(out.bytes());
  Variant back;
  read_variant(in, back);
  EXPECT_TRUE(in.at_end());
  return back;
}

// Strings keep null versus empty, embedded NULs and unpaired surrogates.
TEST(MarshalWireTest, TextsArriveUnchanged) {
  Writer out;
  out.text(std::nullopt);
  out.text(std::wstring_view(L""));
  const std::wstring odd = std::wstring(L"a\0b", 3) + static_cast<wchar_t>(0xD800);
  out.text(odd);
  Reader in(out.bytes());
  EXPECT_FALSE(in.text().has_value());
  EXPECT_EQ(in.text(), std::wstring());
  EXPECT_EQ(in.text(), odd);
  EXPECT_TRUE(in.at_end());
}

// A message cut short or claiming more items than it holds does not decode.
TEST(MarshalWireTest, TruncatedOrLyingMessagesThrow) {
  Writer out;
  out.text(std::wstring_view(L"hello"));
  const std::string cut = out.bytes().substr(0, out.bytes().size() - 1);
  Reader short_reader(cut);
  EXPECT_THROW(short_reader.text(), WireError);

  Writer lying;
  lying.u32(0x7FFFFFFF);
  Reader huge(lying.bytes());
  EXPECT_THROW(huge.count(1), WireError);
}

// Every kind of value comes back with its kind and contents.
TEST(MarshalVariantTest, ScalarsAndStringsRoundTrip) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I1;
  v.cVal = -5;
  EXPECT_EQ(round_trip(v).cVal, -5);
  v.vt = VT_UI4;
  v.ulVal = 0xFFFFFFFFu;
  EXPECT_EQ(round_trip(v).ulVal, 0xFFFFFFFFu);
  v.vt = VT_I8;
  v.llVal = -(1LL << 62);
  EXPECT_EQ(round_trip(v).llVal, -(1LL << 62));
  v.vt = VT_R4;
  v.fltVal = 1.25f;
  EXPECT_EQ(round_trip(v).fltVal, 1.25f);
  v.vt = VT_ERROR;
  v.scode = E_FAIL;
  EXPECT_EQ(round_trip(v).scode, E_FAIL);
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  const Variant null_text = round_trip(v);
  EXPECT_EQ(null_text.vt, VT_BSTR);
  EXPECT_EQ(null_text.bstrVal, nullptr);
  EXPECT_EQ(round_trip(Variant(L"wide \u20AC")).to_string(), L"wide \u20AC");
  EXPECT_EQ(round_trip(Variant()).vt, VT_EMPTY);
}

// Objects, unknown kinds and arrays nested too deep cannot travel.
TEST(MarshalVariantTest, UntravelableValuesAreRefused) {
  Variant array;
  array.vt = VT_ARRAY | VT_VARIANT;
  array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  for (int depth = 0; depth < kMaxArrayDepth; ++depth) {
    Variant outer;
    outer.vt = VT_ARRAY | VT_VARIANT;
    outer.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    const LONG index = 0;
    SafeArrayPutElement(outer.parray, &index, &static_cast<const VARIANT&>(array));
    array = std::move(outer);
  }
  Writer out;
  try {
    write_variant(out, array);
    ADD_FAILURE() << "nesting accepted";
  } catch (const MarshalError& e) {
    EXPECT_EQ(e.hr(), DISP_E_BADVARTYPE);
  }
  VARIANT strange;
  VariantInit(&strange);
  strange.vt = 0x48;
  EXPECT_THROW(write_variant(out, strange), MarshalError);

  Writer byref;
  byref.u16(VT_BYREF | VT_I4);
  byref.u64(1);
  Reader in(byref.bytes());
  Variant v;
  EXPECT_THROW(read_variant(in, v), WireError);
}

// By-reference arguments: the server works on cells and the client finds
// their final values where its arguments point, old strings replaced.
TEST(MarshalVariantTest, ByReferenceArgumentsComeBack) {
  BSTR text = alloc_bstr(L"before");
  Variant any(5);
  VARIANT args[3];
  for (VARIANT& a : args) VariantInit(&a);
  args[0].vt = VT_BYREF | VT_BSTR;
  args[0].pbstrVal = &text;
  args[1].vt = VT_I4;
  args[1].lVal = 9;
  args[2].vt = VT_BYREF | VT_VARIANT;
  args[2].pvarVal = &any;
  DISPPARAMS params{args, nullptr, 3, 0};
  const std::string request = encode_invoke(1, 0, DISPATCH_METHOD, &params, false, false, false);

  Reader in(request);
  ASSERT_EQ(in.u8(), static_cast<std::uint8_t>(RequestKind::kInvoke));
  in.i32();
  in.u32();
  in.u16();
  ArgumentCells cells;
  cells.read(in, in.count(2));
  ASSERT_EQ(cells.count(), 3u);
  VARIANT* server_args = cells.args();
  EXPECT_EQ(bstr_text(*server_args[0].pbstrVal), L"before");
  EXPECT_NE(*server_args[0].pbstrVal, text);
  EXPECT_EQ(server_args[1].lVal, 9);
  EXPECT_EQ(server_args[2].pvarVal->lVal, 5);
  SysFreeString(*server_args[0].pbstrVal);
  *server_args[0].pbstrVal = alloc_bstr(L"after");
  VariantClear(server_args[2].pvarVal);
  Variant(L"changed").detach(server_args[2].pvarVal);

  Writer reply;
  cells.write_back(reply);
  Reader back(reply.bytes());
  read_back(back, args, 3);
  EXPECT_EQ(bstr_text(text), L"after");
  EXPECT_EQ(any.to_string(), L"changed");
  EXPECT_EQ(args[1].lVal, 9);
  SysFreeString(text);
}

}  // namespace
}  // namespace Tavrin::Platform::Com::Wire
