// Typed reads of configuration parameters.
#include <cstdint>
#include <limits>
#include <typeinfo>

#include <boost/lexical_cast.hpp>

#include "common/configuration.h"
#include "platform/text.h"

namespace Tavrin {
namespace {

using Element = Configuration::Element;
using Platform::narrow_low8;
namespace pt = boost::posix_time;

Configuration::WrongTypeError wrong_type(const Element& element) {
  return Configuration::WrongTypeError("Element: " + narrow_low8(element.value) + " has wrong type");
}

void require_type(const Element& element, ParameterType type) {
  if (element.type != type) throw wrong_type(element);
}

void require_text(const Element& element) {
  if (element.value.empty()) throw Configuration::EmptyElementError("Element is empty");
}

// The whole text as a decimal signed integer with an optional sign and no
// blanks; throws boost::bad_lexical_cast otherwise.
template <typename Integer>
Integer to_integer(const std::wstring& text) {
  return boost::lexical_cast<Integer>(text);
}

std::string location(const std::wstring& section, const std::wstring& id) {
  return "In section: " + narrow_low8(section) + ", parameter: " + narrow_low8(id);
}

Configuration::EmptyElementError empty_in(const std::wstring& section, const std::wstring& id) {
  return Configuration::EmptyElementError(location(section, id) + " is empty");
}

Configuration::WrongTypeError wrong_in(const std::wstring& section, const std::wstring& id, const char* target) {
  return Configuration::WrongTypeError(location(section, id) + " has wrong type, or can't be cast to " + target);
}

// Microseconds of `count` units of `unit` microseconds. A product that a
// duration cannot hold (the top values are its special values) is a
// conversion failure, not a wrapped-around duration.
pt::time_duration scaled(std::int64_t count, std::int64_t unit) {
  std::int64_t micros = 0;
  if (__builtin_mul_overflow(count, unit, &micros) || micros == std::numeric_limits<std::int64_t>::min() ||
      micros >= std::numeric_limits<std::int64_t>::max() - 1) {
    throw boost::bad_lexical_cast(typeid(std::wstring), typeid(pt::time_duration));
  }
  return pt::microseconds(micros);
}

// Runs `read` and turns any failure into (default, false).
template <typename T, typename Read>
std::pair<T, bool> or_default(Read read, const T& default_value) {
  try {
    return {read(), true};
  } catch (...) {
    return {default_value, false};
  }
}

}  // namespace

std::wstring param_string(const Element& element) {
  require_type(element, ParameterType::String);
  return element.value;
}

std::wstring param_string(const Configuration& config, const std::wstring& section, const std::wstring& id) {
  return param_string(config.Parameter(section, id));
}

std::pair<std::wstring, bool> param_string(const Configuration& config, const std::wstring& section,
                                           const std::wstring& id, const std::wstring& default_value) {
  return or_default([&] { return param_string(config, section, id); }, default_value);
}

int param_int(const Element& element) {
  require_type(element, ParameterType::Integer);
  require_text(element);
  try {
    return to_integer<int>(element.value);
  } catch (const boost::bad_lexical_cast&) {
    throw Configuration::WrongTypeError("Can't cast value: " + narrow_low8(element.value) + " to integer");
  }
}

int param_int(const Configuration& config, const std::wstring& section, const std::wstring& id) {
  const Element& element = config.Parameter(section, id);
  try {
    return param_int(element);
  } catch (const Configuration::EmptyElementError&) {
    throw empty_in(section, id);
  } catch (const Configuration::WrongTypeError&) {
    throw wrong_in(section, id, "integer");
  }
}

std::pair<int, bool> param_int(const Configuration& config, const std::wstring& section, const std::wstring& id,
                               int default_value) {
  return or_default([&] { return param_int(config, section, id); }, default_value);
}

bool param_bool(const Element& element) {
  require_type(element, ParameterType::Boolean);
  require_text(element);
  int number = -1;
  try {
    number = to_integer<int>(element.value);
  } catch (const boost::bad_lexical_cast&) {
  }
  if (number != 0 && number != 1) {
    throw Configuration::WrongTypeError("Can't cast value: " + narrow_low8(element.value) + " to boolean");
  }
  return number == 1;
}

bool param_bool(const Configuration& config, const std::wstring& section, const std::wstring& id) {
  const Element& element = config.Parameter(section, id);
  try {
    return param_bool(element);
  } catch (const Configuration::EmptyElementError&) {
    throw empty_in(section, id);
  } catch (const Configuration::WrongTypeError&) {
    throw wrong_in(section, id, "boolean");
  }
}

std::pair<bool, bool> param_bool(const Configuration& config, const std::wstring& section, const std::wstring& id,
                                 bool default_value) {
  return or_default([&] { return param_bool(config, section, id); }, default_value);
}

pt::time_duration param_time(const Element& element) {
  require_text(element);
  switch (element.type) {
    case ParameterType::TimeMilliseconds:
      return scaled(to_integer<std::int64_t>(element.value), 1000);
    case ParameterType::TimeSeconds:
      return scaled(to_integer<std::int32_t>(element.value), 1000 * 1000);
    case ParameterType::TimeMinutes:
      return scaled(to_integer<std::int32_t>(element.value), 60 * 1000 * 1000);
    default:
      throw wrong_type(element);
  }
}

// Every failure but an empty text, a missing section or parameter included,
// is reported as a wrong type.
pt::time_duration param_time(const Configuration& config, const std::wstring& section, const std::wstring& id) {
  try {
    return param_time(config.Parameter(section, id));
  } catch (const Configuration::EmptyElementError&) {
    throw empty_in(section, id);
  } catch (const std::exception&) {
    throw wrong_in(section, id, "integer");
  }
}

std::pair<pt::time_duration, bool> param_time(const Configuration& config, const std::wstring& section,
                                              const std::wstring& id, const pt::time_duration& default_value) {
  return or_default([&] { return param_time(config, section, id); }, default_value);
}

}  // namespace Tavrin

