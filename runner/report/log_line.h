// The line format of the test log: one record per line, a kind prefix
// ("suite: ", "test: ", ...) and then attributes written name=[[[value]]].
//
// Lines are read as UTF-8 bytes: prefixes and attribute syntax are ASCII,
// and no byte of a multi-byte (or ill-formed) sequence is ASCII, so matching
// on the bytes gives what matching the decoded text gives. Only the values
// that a record reads are decoded into wide text.
#ifndef QUORVANE_RUNNER_REPORT_LOG_LINE_H_
#define QUORVANE_RUNNER_REPORT_LOG_LINE_H_

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace Tavrin::Report {

// The record kinds, in the order in which their prefixes are tried.
enum class Kind : int {
  kSuite, kTestfile, kTest, kPage, kElement, kAction, kScript, kScreenshot,
  kAssert, kResult, kParam, kInfo, kError, kVerbose, kMessage, kStats
};
inline constexpr int kKindCount = 16;

// The kind word: "suite", "testfile", "test", ...
std::wstring_view kind_word(Kind kind);

// The kind whose prefix (kind word, a colon and one space) stands at the
// very start of `line`, compared without regard to ASCII letter case. The
// prefixes are tried in kind order and the first match wins. Nothing for
// any other line (a leading blank or a byte-order mark included).
std::optional<Kind> match_prefix(std::string_view line);

// Length in bytes of the prefix of `kind`.
std::size_t prefix_length(Kind kind);

// One attribute as it stands in the line: views into the scanned bytes. The
// value is still UTF-8 with its escapes (see unescape_value).
struct RawAttribute {
  std::string_view name;
  std::string_view value;
};

// Finds the attributes of a record from left to right with exactly the
// matches of the ECMAScript regular expression
//   ([^= ]*)=\[{3}(((?!\]{3}).)*)\]{3}
// run on the decoded text and searched again after the closing brackets of
// each match: the name is the longest run without "=" and space before
// "=[[[", the value runs up to the first following "]]]" and holds no line
// terminator (LF, CR, U+2028, U+2029: what "." does not match). Text outside
// the matches is skipped. Linear in the length of the text, whatever it
// holds, and without recursion.
//
// The scanner works on the UTF-8 bytes: every character that the pattern
// looks at is ASCII, except U+2028 and U+2029, which it recognises by their
// encodings; no byte of a multi-byte or ill-formed sequence is ASCII, and an
// ill-formed sequence never swallows the encoding of U+2028 or U+2029, so
// the matches are those of the decoded text.
class AttributeScanner {
 public:
  // `text` must outlive the scanner.
  explicit AttributeScanner(std::string_view text) : text_(text) {}

  // Stores the next attribute in *attribute and returns true, or returns
  // false when the rest of the text holds none.
  bool Next(RawAttribute* attribute);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;  // where the search goes on
  // Values that start before this position cannot close: a scan met a line
  // terminator or the end of the text before any "]]]".
  std::size_t no_close_before_ = 0;
};

// The text of a raw value: decoded (see platform/text.h), then every "[\r]"
// replaced by CR and every "[\n]" by LF.
std::wstring unescape_value(std::string_view raw);

// The attributes that one kind of record reads: the first occurrence of each
// asked-for name (names compare with exact case), as unescape_value gives
// it; a name that the line lacks reads as an empty string.
class Attributes {
 public:
  static constexpr std::size_t kMaxNames = 4;

  // Scans `text` (bytes of the line after its prefix) for `names` (at most
  // kMaxNames, ASCII) and stops as soon as each has been found once.
  Attributes(std::string_view text, std::initializer_list<std::string_view> names);

  // Moves the value of `name` out; empty when the name was not asked for,
  // not found, or already taken.
  std::wstring take(std::string_view name);

 private:
  std::array<std::string_view, kMaxNames> names_{};
  std::array<std::wstring, kMaxNames> values_{};
  std::size_t count_ = 0;
};

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_LOG_LINE_H_
