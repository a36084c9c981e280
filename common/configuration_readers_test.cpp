#include <limits>
#include <string>

#include <boost/lexical_cast.hpp>
#include <gtest/gtest.h>

#include "common/configuration.h"

namespace {

using Tavrin::Configuration;
using Tavrin::ParameterType;
using Element = Configuration::Element;
namespace pt = boost::posix_time;

// The what() of the exception of type E that `f` throws; fails otherwise.
template <typename E, typename F>
std::string error_of(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "other exception: " << e.what();
    return {};
  }
  ADD_FAILURE() << "no exception";
  return {};
}

Element integer(const std::wstring& text) { return Element{text, ParameterType::Integer}; }
Element boolean(const std::wstring& text) { return Element{text, ParameterType::Boolean}; }

// The whole text must be a decimal 32-bit number; messages keep the text
// exactly (two blanks after the colon for a leading blank).
TEST(ParamIntTest, ConvertsWholeDecimalText) {
  EXPECT_EQ(42, Tavrin::param_int(integer(L"42")));
  EXPECT_EQ(-7, Tavrin::param_int(integer(L"-7")));
  EXPECT_EQ(7, Tavrin::param_int(integer(L"+7")));
  EXPECT_EQ(std::numeric_limits<int>::min(), Tavrin::param_int(integer(L"-2147483648")));
  using WrongType = Configuration::WrongTypeError;
  EXPECT_EQ("Can't cast value:  42 to integer", error_of<WrongType>([] { Tavrin::param_int(integer(L" 42")); }));
  EXPECT_EQ("Can't cast value: 42  to integer", error_of<WrongType>([] { Tavrin::param_int(integer(L"42 ")); }));
  EXPECT_EQ("Can't cast value: 4x2 to integer", error_of<WrongType>([] { Tavrin::param_int(integer(L"4x2")); }));
  EXPECT_EQ("Can't cast value: 2147483648 to integer",
            error_of<WrongType>([] { Tavrin::param_int(integer(L"2147483648")); }));
  EXPECT_EQ("Can't cast value: 0x10 to integer", error_of<WrongType>([] { Tavrin::param_int(integer(L"0x10")); }));
  EXPECT_EQ("Element: 42 has wrong type",
            error_of<WrongType>([] { Tavrin::param_int(Element{L"42", ParameterType::String}); }));
  EXPECT_EQ("Element is empty", error_of<Configuration::EmptyElementError>([] { Tavrin::param_int(integer(L"")); }));
  // The type is checked before the text.
  EXPECT_EQ("Element:  has wrong type", error_of<WrongType>([] { Tavrin::param_int(Element{L"", ParameterType::String}); }));
}

// Only 0 and 1 are booleans.
TEST(ParamBoolTest, AcceptsZeroAndOne) {
  EXPECT_TRUE(Tavrin::param_bool(boolean(L"1")));
  EXPECT_FALSE(Tavrin::param_bool(boolean(L"0")));
  using WrongType = Configuration::WrongTypeError;
  EXPECT_EQ("Can't cast value: true to boolean", error_of<WrongType>([] { Tavrin::param_bool(boolean(L"true")); }));
  EXPECT_EQ("Can't cast value: 2 to boolean", error_of<WrongType>([] { Tavrin::param_bool(boolean(L"2")); }));
  EXPECT_EQ("Element: 1 has wrong type", error_of<WrongType>([] { Tavrin::param_bool(integer(L"1")); }));
  EXPECT_EQ("Element is empty", error_of<Configuration::EmptyElementError>([] { Tavrin::param_bool(boolean(L"")); }));
}

// Strings are returned as they are, empty ones included, but only from
// String elements.
TEST(ParamStringTest, RequiresStringType) {
  EXPECT_EQ(L"", Tavrin::param_string(Element{L"", ParameterType::String}));
  EXPECT_EQ(L" a b ", Tavrin::param_string(Element{L" a b ", ParameterType::String}));
  EXPECT_EQ("Element: 5 has wrong type",
            error_of<Configuration::WrongTypeError>([] { Tavrin::param_string(integer(L"5")); }));
}

// Durations by unit; emptiness is checked before the type; a bad number is
// the lexical-cast error, and so is a count no duration can hold.
TEST(ParamTimeTest, ConvertsByUnit) {
  EXPECT_EQ(pt::milliseconds(1500), Tavrin::param_time(Element{L"1500", ParameterType::TimeMilliseconds}));
  EXPECT_EQ(pt::minutes(-2), Tavrin::param_time(Element{L"-2", ParameterType::TimeMinutes}));
  EXPECT_EQ(pt::seconds(3), Tavrin::param_time(Element{L"3", ParameterType::TimeSeconds}));
  EXPECT_EQ(pt::minutes(35791394),
            Tavrin::param_time(Element{L"35791394", ParameterType::TimeMinutes}));  // beyond 32-bit microseconds
  EXPECT_EQ(pt::milliseconds(5000000000LL),
            Tavrin::param_time(Element{L"5000000000", ParameterType::TimeMilliseconds}));
  EXPECT_EQ("Element is empty",
            error_of<Configuration::EmptyElementError>([] { Tavrin::param_time(Element{L"", ParameterType::String}); }));
  EXPECT_EQ("Element: 5 has wrong type",
            error_of<Configuration::WrongTypeError>([] { Tavrin::param_time(integer(L"5")); }));
  EXPECT_THROW(Tavrin::param_time(Element{L"1.5", ParameterType::TimeSeconds}), boost::bad_lexical_cast);
  EXPECT_THROW(Tavrin::param_time(Element{L"5000000000", ParameterType::TimeSeconds}), boost::bad_lexical_cast);
  EXPECT_THROW(Tavrin::param_time(Element{L"9223372036854775807", ParameterType::TimeMilliseconds}),
               boost::bad_lexical_cast);
}

class ParamFromStoreTest : public ::testing::Test {
 protected:
  ParamFromStoreTest() {
    Put(L"n", L"42", ParameterType::Integer);
    Put(L"bad", L"x", ParameterType::Integer);
    Put(L"empty_int", L"", ParameterType::Integer);
    Put(L"empty_bool", L"", ParameterType::Boolean);
    Put(L"empty_time", L"", ParameterType::TimeSeconds);
    Put(L"flag", L"1", ParameterType::Boolean);
    Put(L"text", L"hello", ParameterType::String);
    Put(L"ms", L"250", ParameterType::TimeMilliseconds);
    Put(L"bad_ms", L"abc", ParameterType::TimeMilliseconds);
  }
  void Put(const std::wstring& id, const std::wstring& value, ParameterType type) {
    config_.InsertParameter(L"common", id, Element{value, type});
  }
  Configuration config_;
};

// Values found through the store.
TEST_F(ParamFromStoreTest, ReadsStoredValues) {
  EXPECT_EQ(42, Tavrin::param_int(config_, L"common", L"n"));
  EXPECT_TRUE(Tavrin::param_bool(config_, L"common", L"flag"));
  EXPECT_EQ(L"hello", Tavrin::param_string(config_, L"common", L"text"));
  EXPECT_EQ(pt::milliseconds(250), Tavrin::param_time(config_, L"common", L"ms"));
}

// Conversion failures are restated with the section and parameter.
TEST_F(ParamFromStoreTest, RewritesConversionFailures) {
  using Empty = Configuration::EmptyElementError;
  using WrongType = Configuration::WrongTypeError;
  const Configuration& c = config_;
  EXPECT_EQ("In section: common, parameter: empty_int is empty",
            error_of<Empty>([&] { Tavrin::param_int(c, L"common", L"empty_int"); }));
  EXPECT_EQ("In section: common, parameter: bad has wrong type, or can't be cast to integer",
            error_of<WrongType>([&] { Tavrin::param_int(c, L"common", L"bad"); }));
  EXPECT_EQ("In section: common, parameter: text has wrong type, or can't be cast to integer",
            error_of<WrongType>([&] { Tavrin::param_int(c, L"common", L"text"); }));
  EXPECT_EQ("In section: common, parameter: empty_bool is empty",
            error_of<Empty>([&] { Tavrin::param_bool(c, L"common", L"empty_bool"); }));
  EXPECT_EQ("In section: common, parameter: n has wrong type, or can't be cast to boolean",
            error_of<WrongType>([&] { Tavrin::param_bool(c, L"common", L"n"); }));
  EXPECT_EQ("In section: common, parameter: empty_time is empty",
            error_of<Empty>([&] { Tavrin::param_time(c, L"common", L"empty_time"); }));
  EXPECT_EQ("In section: common, parameter: bad_ms has wrong type, or can't be cast to integer",
            error_of<WrongType>([&] { Tavrin::param_time(c, L"common", L"bad_ms"); }));
  EXPECT_EQ("Element: 42 has wrong type", error_of<WrongType>([&] { Tavrin::param_string(c, L"common", L"n"); }));
}

// A missing parameter passes through param_int, param_bool and param_string
// but is a wrong type for param_time.
TEST_F(ParamFromStoreTest, MissingParameterByReader) {
  const Configuration& c = config_;
  EXPECT_EQ("Unable to find parameter: missing, in section: common",
            error_of<Configuration::ParameterNotFoundError>([&] { Tavrin::param_int(c, L"common", L"missing"); }));
  EXPECT_THROW(Tavrin::param_bool(c, L"common", L"missing"), Configuration::ParameterNotFoundError);
  EXPECT_THROW(Tavrin::param_string(c, L"common", L"missing"), Configuration::ParameterNotFoundError);
  EXPECT_THROW(Tavrin::param_int(c, L"nowhere", L"n"), Configuration::SectionNotFoundError);
  EXPECT_EQ("In section: common, parameter: missing has wrong type, or can't be cast to integer",
            error_of<Configuration::WrongTypeError>([&] { Tavrin::param_time(c, L"common", L"missing"); }));
  EXPECT_EQ("In section: nowhere, parameter: x has wrong type, or can't be cast to integer",
            error_of<Configuration::WrongTypeError>([&] { Tavrin::param_time(c, L"nowhere", L"x"); }));
}

// The forms with a default never throw and say whether the value was found.
TEST_F(ParamFromStoreTest, DefaultFormsNeverThrow) {
  EXPECT_EQ(std::make_pair(7, false), Tavrin::param_int(config_, L"common", L"missing", 7));
  EXPECT_EQ(std::make_pair(7, false), Tavrin::param_int(config_, L"common", L"bad", 7));
  EXPECT_EQ(std::make_pair(42, true), Tavrin::param_int(config_, L"common", L"n", 7));
  EXPECT_EQ(std::make_pair(true, false), Tavrin::param_bool(config_, L"common", L"n", true));
  EXPECT_EQ(std::make_pair(true, true), Tavrin::param_bool(config_, L"common", L"flag", false));
  EXPECT_EQ(std::make_pair(std::wstring(L"d"), false), Tavrin::param_string(config_, L"common", L"n", L"d"));
  EXPECT_EQ(std::make_pair(std::wstring(L"hello"), true), Tavrin::param_string(config_, L"common", L"text", L"d"));
  EXPECT_EQ(std::make_pair(pt::time_duration(pt::seconds(9)), false),
            Tavrin::param_time(config_, L"nowhere", L"x", pt::seconds(9)));
  EXPECT_EQ(std::make_pair(pt::time_duration(pt::milliseconds(250)), true), Tavrin::param_time(config_, L"common", L"ms", pt::seconds(9)));
}

// Wide ids and values are narrowed by their low 8 bits in messages.
TEST(ConfigurationMessagesTest, NarrowLowEightBits) {
  Configuration config;
  EXPECT_EQ("Unable to find section: A\xE9", error_of<Configuration::SectionNotFoundError>([&] {
              config.Parameter(L"\u0141\u00E9", L"x");
            }));
  EXPECT_EQ("Element: A has wrong type",
            error_of<Configuration::WrongTypeError>([] { Tavrin::param_int(Element{L"\u0141", ParameterType::String}); }));
}

}  // namespace
