// The byte encoding of the messages between a client stub and a local
// server: little-endian integers of fixed width, IEEE doubles, GUIDs as
// their 16 bytes, and wide strings as a presence byte, a 32-bit count and
// 32-bit code units (so any BSTR content, embedded NULs and unpaired
// surrogates included, arrives unchanged, and a null BSTR stays null).
//
// A Reader never reads past its buffer: a message cut short or a count
// larger than what is left throws WireError, which the transport treats as
// a broken connection.
#ifndef QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_WIRE_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_WIRE_INTERNAL_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/com/guid.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com::Wire {

// A message that does not decode.
class QUORVANE_PLATFORM_EXPORT WireError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends values to a message.
class QUORVANE_PLATFORM_EXPORT Writer {
 public:
  void u8(std::uint8_t v);
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void u64(std::uint64_t v);
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
  void f64(double v);
  void guid(const GUID& v);
  // A string that may be absent (a null BSTR).
  void text(std::optional<std::wstring_view> v);

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Takes values from a message, in the order they were written.
class QUORVANE_PLATFORM_EXPORT Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::uint8_t u8();
  std::uint16_t u16();
  std::uint32_t u32();
  std::uint64_t u64();
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
  double f64();
  GUID guid();
  std::optional<std::wstring> text();
  // A count of items that each take at least `item_bytes` of what is left;
  // a larger count cannot be honest and throws.
  std::uint32_t count(std::size_t item_bytes);

  bool at_end() const { return position_ == bytes_.size(); }

 private:
  std::string_view take(std::size_t size);

  std::string_view bytes_;
  std::size_t position_ = 0;
};

}  // namespace Tavrin::Platform::Com::Wire

#endif  // QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_WIRE_INTERNAL_H_
