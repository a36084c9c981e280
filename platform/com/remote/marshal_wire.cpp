#include "platform/com/remote/marshal_wire_internal.h"

#include <bit>
#include <cstring>

namespace Tavrin::Platform::Com::Wire {
namespace {

template <class T>
void put_le(std::string& out, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

template <class T>
T get_le(std::string_view in) {
  T v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    v |= static_cast<T>(static_cast<T>(static_cast<unsigned char>(in[i])) << (8 * i));
  return v;
}

}  // namespace

void Writer::u8(std::uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
void Writer::u16(std::uint16_t v) { put_le(bytes_, v); }
void Writer::u32(std::uint32_t v) { put_le(bytes_, v); }
void Writer::u64(std::uint64_t v) { put_le(bytes_, v); }
void Writer::f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }

void Writer::guid(const GUID& v) {
  u32(v.Data1);
  u16(v.Data2);
  u16(v.Data3);
  for (const std::uint8_t b : v.Data4) u8(b);
}

void Writer::text(std::optional<std::wstring_view> v) {
  u8(v ? 1 : 0);
  if (!v) return;
  u32(static_cast<std::uint32_t>(v->size()));
  for (const wchar_t c : *v) u32(static_cast<std::uint32_t>(c));
}

std::string_view Reader::take(std::size_t size) {
  if (bytes_.size() - position_ < size) throw WireError("message cut short");
  const std::string_view part = bytes_.substr(position_, size);
  position_ += size;
  return part;
}

std::uint8_t Reader::u8() { return static_cast<std::uint8_t>(take(1)[0]); }
std::uint16_t Reader::u16() { return get_le<std::uint16_t>(take(2)); }
std::uint32_t Reader::u32() { return get_le<std::uint32_t>(take(4)); }
std::uint64_t Reader::u64() { return get_le<std::uint64_t>(take(8)); }
double Reader::f64() { return std::bit_cast<double>(u64()); }

GUID Reader::guid() {
  GUID v{};
  v.Data1 = u32();
  v.Data2 = u16();
  v.Data3 = u16();
  for (std::uint8_t& b : v.Data4) b = u8();
  return v;
}

std::optional<std::wstring> Reader::text() {
  const std::uint8_t present = u8();
  if (present > 1) throw WireError("bad string marker");
  if (!present) return std::nullopt;
  const std::uint32_t size = count(4);
  std::wstring v;
  v.reserve(size);
  for (std::uint32_t i = 0; i < size; ++i) v.push_back(static_cast<wchar_t>(u32()));
  return v;
}

std::uint32_t Reader::count(std::size_t item_bytes) {
  const std::uint32_t n = u32();
  if (item_bytes > 0 && n > (bytes_.size() - position_) / item_bytes) throw WireError("count too large");
  return n;
}

}  // namespace Tavrin::Platform::Com::Wire
