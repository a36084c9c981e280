// TextStream: a text file opened by the file-system object for reading,
// writing or appending. Text is UTF-8 on disk (a byte-order mark is skipped
// when reading); lines end with a line feed, and a carriage return before
// it is dropped when reading. A stream for writing passes each Write to the
// file at once, so that another process appending to the same file (a
// nested run writing the same log) sees the records in order.
#ifndef QUORVANE_PLATFORM_SCRIPT_TEXT_STREAM_H_
#define QUORVANE_PLATFORM_SCRIPT_TEXT_STREAM_H_

#include <string>

#include "platform/com/com.h"

struct ITextStream : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{53BAD8C1-E718-11CF-893D-00A0C9054228}");

  // 1-based number of the line the stream stands on.
  virtual HRESULT get_Line(LONG* line) = 0;
  virtual HRESULT get_AtEndOfStream(VARIANT_BOOL* at_end) = 0;
  virtual HRESULT get_AtEndOfLine(VARIANT_BOOL* at_end) = 0;
  // Up to `count` characters.
  virtual HRESULT Read(LONG count, BSTR* text) = 0;
  // The rest of the line, without its end; past the end fails.
  virtual HRESULT ReadLine(BSTR* text) = 0;
  virtual HRESULT ReadAll(BSTR* text) = 0;
  virtual HRESULT Write(BSTR text) = 0;
  // `text` (optional) and a line end.
  virtual HRESULT WriteLine(BSTR text) = 0;
  virtual HRESULT WriteBlankLines(LONG lines) = 0;
  virtual HRESULT SkipLine() = 0;
  virtual HRESULT Close() = 0;

 protected:
  ~ITextStream() = default;
};

namespace Tavrin::Platform::Script {

enum class StreamMode { kRead = 1, kWrite = 2, kAppend = 8 };

// Opens `path` (UTF-8 on disk) in `mode`; writing truncates, appending
// keeps what is there; both create the file. Returns the failure (with
// error info naming the file) or S_OK with *stream set.
HRESULT open_text_stream(const std::wstring& path, StreamMode mode, ITextStream** stream);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_TEXT_STREAM_H_
