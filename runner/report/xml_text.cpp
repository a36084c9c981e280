#include "runner/report/xml_text.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/text.h"

namespace Tavrin::Report {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// The most that one character can become: ">" closing a CDATA section.
constexpr std::size_t kMaxBytesPerChar = 13;

// What an ASCII character needs.
enum Ascii : unsigned char { kPlain, kInvalid, kAmp, kLess, kGreater, kQuote };

constexpr std::array<unsigned char, 128> make_ascii_table() {
  std::array<unsigned char, 128> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = kInvalid;
  table['\t'] = table['\n'] = table['\r'] = kPlain;
  table['&'] = kAmp;
  table['<'] = kLess;
  table['>'] = kGreater;
  table['"'] = kQuote;
  return table;
}
constexpr std::array<unsigned char, 128> kAsciiTable = make_ascii_table();

char* put(char* o, std::string_view bytes) {
  std::memcpy(o, bytes.data(), bytes.size());
  return o + bytes.size();
}

// UTF-8 of a code point; U+FFFD for those XML cannot carry.
inline char* put_utf8(char* o, char32_t c) {
  if (c == 0xFFFE || c == 0xFFFF) c = Platform::kReplacementChar;
  return Platform::encode_utf8(c, o);
}

bool is_name_start(char32_t c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool is_name_char(char32_t c) {
  return is_name_start(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

}  // namespace

XmlWriter::XmlWriter(std::ostream& out) : out_(out), buffer_(new char[kBufferSize]) {}

XmlWriter::~XmlWriter() { Flush(); }

void XmlWriter::Markup(std::string_view markup) noexcept {
  while (!markup.empty()) {
    if (used_ == kBufferSize) WriteBuffer();
    const std::size_t n = std::min(markup.size(), kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, markup.data(), n);
    used_ += n;
    markup.remove_prefix(n);
  }
}

void XmlWriter::Text(std::wstring_view text) noexcept { Encode<Place::kText>(text); }

void XmlWriter::Attribute(std::wstring_view value) noexcept { Encode<Place::kAttribute>(value); }

void XmlWriter::CdataText(std::wstring_view text) noexcept {
  if (text.find_first_of(L"<>") == std::wstring_view::npos) {
    Text(text);
    return;
  }
  Markup("<![CDATA[");
  Encode<Place::kCdata>(text);
  Markup("]]>");
}

template <XmlWriter::Place place>
void XmlWriter::Encode(std::wstring_view text) noexcept {
  const wchar_t* const begin = text.data();
  const wchar_t* s = begin;
  const wchar_t* const end = begin + text.size();
  while (s < end) {
    const std::size_t room = (kBufferSize - used_) / kMaxBytesPerChar;
    if (room == 0) {
      WriteBuffer();
      continue;
    }
    const wchar_t* const stop = s + std::min<std::size_t>(room, static_cast<std::size_t>(end - s));
    char* o = buffer_.get() + used_;
    for (; s < stop; ++s) {
      const auto c = static_cast<char32_t>(*s);
      if (c >= 0x80) {
        o = put_utf8(o, c);
        continue;
      }
      switch (kAsciiTable[c]) {
        case kPlain:
          *o++ = static_cast<char>(c);
          break;
        case kInvalid:
          o = put(o, "\xEF\xBF\xBD");
          break;
        case kAmp:
          o = place == Place::kCdata ? put(o, "&") : put(o, "&amp;");
          break;
        case kLess:
          o = place == Place::kCdata ? put(o, "<") : put(o, "&lt;");
          break;
        case kGreater:
          if (place != Place::kCdata)
            o = put(o, "&gt;");
          else if (s - begin >= 2 && s[-1] == L']' && s[-2] == L']')
            o = put(o, "]]><![CDATA[>");
          else
            *o++ = '>';
          break;
        case kQuote:
          o = place == Place::kAttribute ? put(o, "&quot;") : put(o, "\"");
          break;
      }
    }
    used_ = static_cast<std::size_t>(o - buffer_.get());
  }
}

void XmlWriter::WriteBuffer() noexcept {
  if (!failed_ && used_ > 0) {
    try {
      out_.write(buffer_.get(), static_cast<std::streamsize>(used_));
      failed_ = !out_;
    } catch (...) {
      failed_ = true;
    }
  }
  used_ = 0;
}

void XmlWriter::Flush() noexcept {
  WriteBuffer();
  if (failed_) return;
  try {
    failed_ = !out_.flush();
  } catch (...) {
    failed_ = true;
  }
}

std::wstring xml_name(std::wstring_view name) {
  if (name.empty()) return L"_";
  std::wstring out(name);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<char32_t>(out[i]);
    if (!(i == 0 ? is_name_start(c) : is_name_char(c))) out[i] = L'_';
  }
  if (out == L"xmlns") out += L'_';
  return out;
}

}  // namespace Tavrin::Report
