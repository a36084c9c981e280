#include "platform/script/text_stream.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "platform/com/com_object.h"
#include "platform/script/automation_error_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamDescription kGet[] = {{L"value", kRetval}};
constexpr ParamDescription kRead[] = {{L"Characters", kIn}, {L"text", kRetval}};
constexpr ParamDescription kWrite[] = {{L"Text", kIn}};
constexpr ParamDescription kWriteLine[] = {{L"Text", kIn | PARAMFLAG_FOPT}};
constexpr ParamDescription kBlank[] = {{L"Lines", kIn}};
constexpr ParamDescription kNone[] = {{nullptr, 0}};
constexpr std::span<const ParamDescription> kNoParams(kNone, 0);

constexpr MemberDescription kMembers[] = {
    {0x2710, INVOKE_PROPERTYGET, L"Line", kGet, false, L"Current line number",
     bind_member<&ITextStream::get_Line>()},
    {0x2712, INVOKE_PROPERTYGET, L"AtEndOfStream", kGet, false, L"Whether everything was read",
     bind_member<&ITextStream::get_AtEndOfStream>()},
    {0x2713, INVOKE_PROPERTYGET, L"AtEndOfLine", kGet, false, L"Whether the stream stands at a line end",
     bind_member<&ITextStream::get_AtEndOfLine>()},
    {0x2714, INVOKE_FUNC, L"Read", kRead, false, L"Read some characters", bind_member<&ITextStream::Read>()},
    {0x2715, INVOKE_FUNC, L"ReadLine", kGet, false, L"Read one line", bind_member<&ITextStream::ReadLine>()},
    {0x2716, INVOKE_FUNC, L"ReadAll", kGet, false, L"Read the rest", bind_member<&ITextStream::ReadAll>()},
    {0x2717, INVOKE_FUNC, L"Write", kWrite, false, L"Write text", bind_member<&ITextStream::Write>()},
    {0x2718, INVOKE_FUNC, L"WriteLine", kWriteLine, false, L"Write text and a line end",
     bind_member<&ITextStream::WriteLine>()},
    {0x2719, INVOKE_FUNC, L"WriteBlankLines", kBlank, false, L"Write empty lines",
     bind_member<&ITextStream::WriteBlankLines>()},
    {0x271B, INVOKE_FUNC, L"SkipLine", kNoParams, false, L"Skip one line", bind_member<&ITextStream::SkipLine>()},
    {0x271C, INVOKE_FUNC, L"Close", kNoParams, false, L"Close the file", bind_member<&ITextStream::Close>()},
};
constexpr InterfaceDescription kDescription = {L"ITextStream", ITextStream::kIid,
                                               TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};

class TextStream final : public ComObject<DispatchImpl<ITextStream>, ITextStream, IDispatch> {
 public:
  TextStream(std::wstring path, StreamMode mode) : ComObject(kDescription), path_(std::move(path)), mode_(mode) {}

  // Opens the file; errno on failure.
  int open() {
    const std::string native = to_utf8(path_);
    if (mode_ == StreamMode::kRead) {
      std::FILE* in = std::fopen(native.c_str(), "rb");
      if (!in) return errno;
      std::string bytes;
      char buffer[65536];
      std::size_t n = 0;
      while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
      const bool failed = std::ferror(in) != 0;
      std::fclose(in);
      if (failed) return EIO;
      if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
      text_ = from_utf8(bytes);
      return 0;
    }
    file_ = std::fopen(native.c_str(), mode_ == StreamMode::kAppend ? "ab" : "wb");
    return file_ ? 0 : errno;
  }

  HRESULT get_Line(LONG* line) override {
    *line = line_;
    return S_OK;
  }
  HRESULT get_AtEndOfStream(VARIANT_BOOL* at_end) override {
    if (HRESULT hr = need(StreamMode::kRead, L"AtEndOfStream"); FAILED(hr)) return hr;
    *at_end = position_ >= text_.size() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_AtEndOfLine(VARIANT_BOOL* at_end) override {
    if (HRESULT hr = need(StreamMode::kRead, L"AtEndOfLine"); FAILED(hr)) return hr;
    *at_end = position_ >= text_.size() || text_[position_] == L'\n' ||
                      (text_[position_] == L'\r' && position_ + 1 < text_.size() && text_[position_ + 1] == L'\n')
                  ? VARIANT_TRUE
                  : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Read(LONG count, BSTR* text) override {
    return guard_method(ITextStream::kIid, [&]() -> HRESULT {
      if (HRESULT hr = need(StreamMode::kRead, L"Read"); FAILED(hr)) return hr;
      if (count < 0) return fail(kInvalidArgument, ITextStream::kIid, L"Read: a negative number of characters");
      if (position_ >= text_.size() && count > 0) return past_end(L"Read");
      const std::wstring part = text_.substr(position_, static_cast<std::size_t>(count));
      for (wchar_t c : part)
        if (c == L'\n') ++line_;
      position_ += part.size();
      return give_bstr(part, text);
    });
  }
  HRESULT ReadLine(BSTR* text) override {
    return guard_method(ITextStream::kIid, [&]() -> HRESULT {
      if (HRESULT hr = need(StreamMode::kRead, L"ReadLine"); FAILED(hr)) return hr;
      if (position_ >= text_.size()) return past_end(L"ReadLine");
      return give_bstr(next_line(), text);
    });
  }
  HRESULT ReadAll(BSTR* text) override {
    return guard_method(ITextStream::kIid, [&]() -> HRESULT {
      if (HRESULT hr = need(StreamMode::kRead, L"ReadAll"); FAILED(hr)) return hr;
      const std::wstring rest = text_.substr(std::min(position_, text_.size()));
      for (wchar_t c : rest)
        if (c == L'\n') ++line_;
      position_ = text_.size();
      return give_bstr(rest, text);
    });
  }
  HRESULT Write(BSTR text) override { return put(L"Write", bstr_text(text)); }
  HRESULT WriteLine(BSTR text) override { return put(L"WriteLine", bstr_text(text) + L"\n"); }
  HRESULT WriteBlankLines(LONG lines) override {
    if (lines < 0) return fail(kInvalidArgument, ITextStream::kIid, L"WriteBlankLines: a negative number of lines");
    return put(L"WriteBlankLines", std::wstring(static_cast<std::size_t>(lines), L'\n'));
  }
  HRESULT SkipLine() override {
    return guard_method(ITextStream::kIid, [&]() -> HRESULT {
      if (HRESULT hr = need(StreamMode::kRead, L"SkipLine"); FAILED(hr)) return hr;
      if (position_ >= text_.size()) return past_end(L"SkipLine");
      next_line();
      return S_OK;
    });
  }
  HRESULT Close() override {
    closed_ = true;
    if (file_) {
      const bool failed = std::fclose(file_) != 0;
      file_ = nullptr;
      if (failed) return fail_file(errno, ITextStream::kIid, L"Close", path_);
    }
    text_.clear();
    return S_OK;
  }

 private:
  ~TextStream() override {
    if (file_) std::fclose(file_);
  }

  HRESULT need(StreamMode mode, const wchar_t* what) {
    if (closed_) return fail(kBadFileMode, ITextStream::kIid, std::wstring(what) + L": the file is closed: " + path_);
    const bool reading = mode_ == StreamMode::kRead;
    if ((mode == StreamMode::kRead) != reading)
      return fail(kBadFileMode, ITextStream::kIid,
                  std::wstring(what) + L": the file is open for " + (reading ? L"reading" : L"writing") + L": " +
                      path_);
    return S_OK;
  }
  HRESULT past_end(const wchar_t* what) {
    return fail(kPastEndOfFile, ITextStream::kIid, std::wstring(what) + L": input past end of file: " + path_);
  }
  HRESULT put(const wchar_t* what, const std::wstring& text) {
    if (HRESULT hr = need(StreamMode::kWrite, what); FAILED(hr)) return hr;
    try {
      const std::string bytes = to_utf8(text);
      if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0)
        return fail_file(errno, ITextStream::kIid, what, path_);
      for (wchar_t c : text)
        if (c == L'\n') ++line_;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  std::wstring next_line() {
    std::size_t end = text_.find(L'\n', position_);
    const std::size_t next = end == std::wstring::npos ? text_.size() : end + 1;
    if (end == std::wstring::npos) end = text_.size();
    if (end > position_ && text_[end - 1] == L'\r') --end;
    std::wstring line = text_.substr(position_, end - position_);
    position_ = next;
    ++line_;
    return line;
  }

  std::wstring path_;
  StreamMode mode_;
  std::FILE* file_ = nullptr;  // writing and appending
  std::wstring text_;          // reading: the whole file
  std::size_t position_ = 0;
  LONG line_ = 1;
  bool closed_ = false;
};

}  // namespace

HRESULT open_text_stream(const std::wstring& path, StreamMode mode, ITextStream** stream) {
  *stream = nullptr;
  try {
    ComPtr<TextStream> opened = ComPtr<TextStream>::attach(new TextStream(path, mode));
    if (const int error = opened->open(); error != 0) return fail_file(error, ITextStream::kIid, L"Cannot open", path);
    *stream = opened.detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Tavrin::Platform::Script
