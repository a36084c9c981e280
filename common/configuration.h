// The typed configuration store of every Quorvane program.
//
// A Configuration holds sections of parameters, addressed by section id and
// parameter id (wide strings, compared exactly). Each parameter is an Element:
// its text and a ParameterType that says how the text is read. Sections come
// from an XML file (config.xml in the runner's directory):
//
//   <config>
//     <section id="common">
//       <parameter id="port" type="integer"><value>80</value></parameter>
//     </section>
//   </config>
//
// and callers add or override parameters at run time with InsertParameter.
// The free functions param_string, param_int, param_bool and param_time read a
// parameter as a typed value. Every failure is one of the exception classes
// nested in Configuration, all derived from std::runtime_error with a narrow
// message (wide ids and values are narrowed by their low 8 bits).
//
// Threads: Load, InsertParameter and Parameter may be called from several
// threads at once (a reader/writer lock guards the store). Construction,
// copying, assignment, Swap and destruction take no lock: the caller must not
// run them while another thread uses either object.
#ifndef QUORVANE_COMMON_CONFIGURATION_H_
#define QUORVANE_COMMON_CONFIGURATION_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "common/export.h"

namespace Tavrin {

// How the text of a parameter is read. The enumeration lives in namespace
// Tavrin and is also reachable as Configuration::ParameterType; its values
// are fixed (0 to 5) and so are the names that select them in the file.
enum class ParameterType : std::int32_t {
  String = 0,            // "string", read by param_string
  Integer = 1,           // "integer", read by param_int
  Boolean = 2,           // "boolean", read by param_bool (0 or 1)
  TimeMilliseconds = 3,  // "time_milliseconds", read by param_time
  TimeSeconds = 4,       // "time_seconds", read by param_time
  TimeMinutes = 5,       // "time_minutes", read by param_time
};

class QUORVANE_COMMON_EXPORT Configuration {
 public:
  using ParameterType = Tavrin::ParameterType;

  // One parameter: its text exactly as read or given, and its type.
  struct Element {
    std::wstring value;
    ParameterType type = ParameterType::String;
  };

  // Loading or an insertion failed.
  class QUORVANE_COMMON_EXPORT ConfigurationError : public std::runtime_error {
   public:
    explicit ConfigurationError(const std::string& message);
  };
  // Parameter() found no section of that id.
  class QUORVANE_COMMON_EXPORT SectionNotFoundError : public ConfigurationError {
   public:
    explicit SectionNotFoundError(const std::string& message);
  };
  // Parameter() found the section but no parameter of that id in it.
  class QUORVANE_COMMON_EXPORT ParameterNotFoundError : public ConfigurationError {
   public:
    explicit ParameterNotFoundError(const std::string& message);
  };
  // A typed read met another type, or a text that does not convert.
  class QUORVANE_COMMON_EXPORT WrongTypeError : public ConfigurationError {
   public:
    explicit WrongTypeError(const std::string& message);
  };
  // A typed read met an empty text.
  class QUORVANE_COMMON_EXPORT EmptyElementError : public ConfigurationError {
   public:
    explicit EmptyElementError(const std::string& message);
  };

  // An empty store.
  Configuration();
  // A deep copy of every section and parameter of `other`.
  Configuration(const Configuration& other);
  // Builds the deep copy first, then drops the old contents: if copying
  // throws, *this is unchanged.
  const Configuration& operator=(const Configuration& other);
  ~Configuration();

  // Exchanges the contents of the two stores. Never throws.
  void Swap(Configuration& other) noexcept;

  // Loads every section of the XML file at `path`. A section whose id the
  // store already holds is left as it is (a later load never replaces or
  // merges into an existing section); sections of the same id within the
  // file are merged, and the first parameter of a given id wins. The store is
  // never cleared: sections inserted before a failure stay.
  // Throws ConfigurationError:
  //   "Unable to parse XML file, file maybe corrupted or wrong format" for a
  //     missing or unparsable file, no <config> element, a parameter without
  //     its "id" or "type" attribute or "value" child, or anything other than
  //     an element (a comment, say) inside a section;
  //   "Unable to parse XML file. Unknown parameter type: <type>" for a type
  //     name other than the six (compared case-sensitively);
  //   "Unable to load XML file" if the XML reader itself fails.
  void Load(const std::wstring& path);
  // Loads the named sections only, in list order. A name that matches no
  // section of the file yields an empty section of that id. Same rules and
  // failures as Load(path).
  void Load(const std::wstring& path, const std::deque<std::wstring>& sections);

  // The stored Element. The reference stays valid until that parameter is
  // replaced by InsertParameter, or the store is assigned to or destroyed.
  // Throws SectionNotFoundError "Unable to find section: <section>" or
  // ParameterNotFoundError "Unable to find parameter: <id>, in section: <section>".
  const Element& Parameter(const std::wstring& section, const std::wstring& id) const;

  // Adds a copy of `element` under (section, id), creating the section if
  // needed and replacing a parameter of the same id.
  // Throws ConfigurationError "Can't insert new section." or
  // "Can't insert new paramter." if the store cannot take the entry.
  void InsertParameter(const std::wstring& section, const std::wstring& id, const Element& element);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;  // never null
};

// Both call a.Swap(b).
QUORVANE_COMMON_EXPORT void swap(Configuration& a, Configuration& b) noexcept;

// ---- Typed readers -------------------------------------------------------
//
// Each reader comes in three forms:
//  - from one Element: converts it (failures below);
//  - from a store, section id and parameter id: Parameter() then the
//    conversion, with the message rewriting given at each reader;
//  - with a default as well: returns (value, true), or (default, false) if
//    anything at all fails. Never throws.

// Type must be String, else WrongTypeError "Element: <value> has wrong type".
// An empty text is a valid empty string. The store form passes every
// exception unchanged.
QUORVANE_COMMON_EXPORT std::wstring param_string(const Configuration::Element& element);
QUORVANE_COMMON_EXPORT std::wstring param_string(const Configuration& config, const std::wstring& section,
                                                 const std::wstring& id);
QUORVANE_COMMON_EXPORT std::pair<std::wstring, bool> param_string(const Configuration& config,
                                                                  const std::wstring& section,
                                                                  const std::wstring& id,
                                                                  const std::wstring& default_value);

// Type must be Integer, else WrongTypeError "Element: <value> has wrong type";
// an empty text gives EmptyElementError "Element is empty"; the whole text
// must be a decimal 32-bit signed integer with an optional sign and no blanks,
// else WrongTypeError "Can't cast value: <value> to integer".
// The store form rewrites EmptyElementError as "In section: <S>, parameter:
// <P> is empty" and WrongTypeError as "In section: <S>, parameter: <P> has
// wrong type, or can't be cast to integer"; SectionNotFoundError and
// ParameterNotFoundError pass unchanged.
QUORVANE_COMMON_EXPORT int param_int(const Configuration::Element& element);
QUORVANE_COMMON_EXPORT int param_int(const Configuration& config, const std::wstring& section,
                                     const std::wstring& id);
QUORVANE_COMMON_EXPORT std::pair<int, bool> param_int(const Configuration& config, const std::wstring& section,
                                                      const std::wstring& id, int default_value);

// Type must be Boolean; the text is read as param_int reads it and only 0
// (false) and 1 (true) are accepted, else WrongTypeError "Can't cast value:
// <value> to boolean". Rewriting as param_int, ending in "boolean".
QUORVANE_COMMON_EXPORT bool param_bool(const Configuration::Element& element);
QUORVANE_COMMON_EXPORT bool param_bool(const Configuration& config, const std::wstring& section,
                                       const std::wstring& id);
QUORVANE_COMMON_EXPORT std::pair<bool, bool> param_bool(const Configuration& config, const std::wstring& section,
                                                        const std::wstring& id, bool default_value);

// An empty text gives EmptyElementError first, whatever the type. Then
// TimeMilliseconds reads a 64-bit count of milliseconds, TimeSeconds and
// TimeMinutes a 32-bit count of seconds or minutes; any other type gives
// WrongTypeError "Element: <value> has wrong type". A text that does not
// convert throws boost::bad_lexical_cast from the Element form.
// The store form rewrites EmptyElementError as "In section: <S>, parameter:
// <P> is empty" and every other exception (missing section or parameter
// included) as WrongTypeError "In section: <S>, parameter: <P> has wrong
// type, or can't be cast to integer".
QUORVANE_COMMON_EXPORT boost::posix_time::time_duration param_time(const Configuration::Element& element);
QUORVANE_COMMON_EXPORT boost::posix_time::time_duration param_time(const Configuration& config,
                                                                   const std::wstring& section,
                                                                   const std::wstring& id);
QUORVANE_COMMON_EXPORT std::pair<boost::posix_time::time_duration, bool> param_time(
    const Configuration& config, const std::wstring& section, const std::wstring& id,
    const boost::posix_time::time_duration& default_value);

}  // namespace Tavrin

namespace std {
// Lets std::swap(a, b) exchange the implementations instead of copying.
template <>
inline void swap<Tavrin::Configuration>(Tavrin::Configuration& a, Tavrin::Configuration& b) {
  a.Swap(b);
}
}  // namespace std

#endif  // QUORVANE_COMMON_CONFIGURATION_H_
