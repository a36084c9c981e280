// Windows command lines: splitting and quoting. The same on every
// platform, so apart from the POSIX start-up code.
#include "platform/process.h"
#include "platform/text.h"

namespace Tavrin::Platform::Process {
namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

}  // namespace

// Windows rules: blanks separate arguments outside double quotes; a double
// quote after an even number of backslashes (2n) gives n backslashes and
// opens or closes a quoted part; after an odd number (2n+1) it gives n
// backslashes and a literal double quote; other backslashes are literal.
std::vector<std::string> split_command_line(const std::wstring& command_line) {
  std::vector<std::string> result;
  std::wstring current;
  bool in_argument = false;
  bool quoted = false;
  std::size_t backslashes = 0;
  for (const wchar_t c : command_line) {
    if (c == L'\\') {
      ++backslashes;
      in_argument = true;
      continue;
    }
    if (c == L'"') {
      current.append(backslashes / 2, L'\\');
      if (backslashes % 2 == 0)
        quoted = !quoted;
      else
        current += L'"';
      backslashes = 0;
      in_argument = true;
      continue;
    }
    current.append(backslashes, L'\\');
    backslashes = 0;
    if (is_blank(c) && !quoted) {
      if (in_argument) result.push_back(to_utf8(current));
      current.clear();
      in_argument = false;
    } else {
      current += c;
      in_argument = true;
    }
  }
  current.append(backslashes, L'\\');
  if (in_argument) result.push_back(to_utf8(current));
  return result;
}

std::wstring quote_argument(const std::wstring& argument) {
  bool plain = !argument.empty();
  for (const wchar_t c : argument) plain = plain && c != L'"' && !is_blank(c);
  if (plain) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; others
    // stay as they are.
    if (c == L'"') {
      quoted.append(2 * backslashes + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted += c;
  }
  // The closing quote follows: backslashes before it are doubled.
  quoted.append(2 * backslashes, L'\\');
  quoted += L'"';
  return quoted;
}

}  // namespace Tavrin::Platform::Process
