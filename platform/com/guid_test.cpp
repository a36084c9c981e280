#include "platform/com/guid.h"

#include <gtest/gtest.h>

namespace {

using Tavrin::Platform::Com::guid_to_string;
using Tavrin::Platform::Com::make_guid;
using Tavrin::Platform::Com::parse_guid;

constexpr GUID kRuntime = make_guid("{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}");

// The text form reads the first three groups as numbers and the rest as
// bytes, and comes back upper case whatever case it was read in.
TEST(GuidText, RoundTripsInUpperCase) {
  EXPECT_EQ(kRuntime.Data1, 0x8535EA83u);
  EXPECT_EQ(kRuntime.Data2, 0x1BF0);
  EXPECT_EQ(kRuntime.Data3, 0x4C02);
  EXPECT_EQ(kRuntime.Data4[0], 0x8C);
  EXPECT_EQ(kRuntime.Data4[7], 0x34);
  EXPECT_EQ(guid_to_string(kRuntime), L"{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}");
  const auto lower = parse_guid(L"{8535ea83-1bf0-4c02-8c7b-e0a62ea7d334}");
  ASSERT_TRUE(lower);
  EXPECT_EQ(*lower, kRuntime);
}

// Anything but the exact braced 8-4-4-4-12 shape is refused.
TEST(GuidText, RefusesMalformedTexts) {
  for (const wchar_t* text : {L"", L"8535EA83-1BF0-4C02-8C7B-E0A62EA7D334", L"{8535EA83-1BF0-4C02-8C7B-E0A62EA7D33}",
                              L"{8535EA83-1BF0-4C02-8C7BE-0A62EA7D334}", L"{8535EA8G-1BF0-4C02-8C7B-E0A62EA7D334}",
                              L"{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}x"})
    EXPECT_FALSE(parse_guid(text)) << text;
  CLSID clsid = kRuntime;
  EXPECT_EQ(CLSIDFromString(L"{nope}", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  EXPECT_EQ(CLSIDFromString(L"{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}", &clsid), S_OK);
  EXPECT_EQ(clsid, kRuntime);
}

TEST(GuidText, StringFromGuid2NeedsRoomForTheTerminator) {
  wchar_t buffer[39];
  EXPECT_EQ(StringFromGUID2(kRuntime, buffer, 38), 0);
  EXPECT_EQ(StringFromGUID2(kRuntime, buffer, 39), 39);
  EXPECT_STREQ(buffer, L"{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}");
}

}  // namespace
