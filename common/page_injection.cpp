#include "common/page_injection.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace Tavrin {

namespace {

struct Tag {
  std::string_view text;  // lower case
  bool after;             // insert after the tag rather than before it
};

// In the order of preference.
constexpr Tag kTags[] = {
    {"</head>", false}, {"<head>", true},   {"<html>", true},     {"<body>", true},
    {"</body>", false}, {"</html>", false}, {"</script>", true},
};
constexpr int kTagCount = sizeof kTags / sizeof kTags[0];

// Tags are ASCII, so only A-Z are folded. Lowering by the process locale
// instead would, in a Turkish locale, turn 'I' into a dotless i and miss
// "<HTML>".
constexpr unsigned char ascii_lower(unsigned char c) {
  return static_cast<unsigned char>(c - 'A') < 26u ? static_cast<unsigned char>(c + 32) : c;
}

// Whether tag starts at p (where *p is '<'), with available bytes from p on.
bool tag_at(const char* p, std::size_t available, std::string_view tag) {
  if (available < tag.size()) return false;
  for (std::size_t i = 1; i < tag.size(); ++i) {
    if (ascii_lower(static_cast<unsigned char>(p[i])) != static_cast<unsigned char>(tag[i])) {
      return false;
    }
  }
  return true;
}

// Whether the bytes after a '<' can begin one of the tags at all: most
// '<' of a page start other elements and are dismissed here.
bool may_start_tag(const char* p, std::size_t available) {
  if (available < 6) return false;  // "<head>" and friends are the shortest
  const unsigned char c1 = ascii_lower(static_cast<unsigned char>(p[1]));
  if (c1 == 'h' || c1 == 'b') return true;
  if (c1 != '/') return false;
  const unsigned char c2 = ascii_lower(static_cast<unsigned char>(p[2]));
  return c2 == 'h' || c2 == 'b' || c2 == 's';
}

// Bit 7 of each byte of the result is set exactly where word has the byte
// that pattern repeats; every other bit is clear.
constexpr std::uint64_t matching_bytes(std::uint64_t word, std::uint64_t pattern) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t x = word ^ pattern;
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Calls visit(p) for every '<' in [begin, end), from the last to the first,
// until visit returns false. Eight bytes at a time where words are little
// endian; a byte at a time elsewhere.
template <typename Visit>
void for_each_bracket_backwards(const char* begin, const char* end, Visit visit) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kBrackets = 0x0101010101010101ull * static_cast<unsigned char>('<');
    while (end - begin >= 8) {
      end -= 8;
      std::uint64_t word;
      std::memcpy(&word, end, sizeof word);
      for (std::uint64_t hits = matching_bytes(word, kBrackets); hits != 0;) {
        const int bit = 63 - std::countl_zero(hits);  // the highest address first
        if (!visit(end + bit / 8)) return;
        hits &= ~(std::uint64_t{1} << bit);
      }
    }
  }
  while (end > begin) {
    if (*--end == '<' && !visit(end)) return;
  }
}

}  // namespace

std::size_t find_insertion_point(std::string_view page) {
  const char* const begin = page.data();
  const char* const end = begin + page.size();
  // Walking backwards, the first match of a tag is its last occurrence;
  // only tags preferred to the best found so far still matter.
  int best = kTagCount;
  std::size_t best_at = std::string_view::npos;
  for_each_bracket_backwards(begin, end, [&](const char* p) {
    const std::size_t available = static_cast<std::size_t>(end - p);
    if (!may_start_tag(p, available)) return true;
    for (int k = 0; k < best; ++k) {
      if (tag_at(p, available, kTags[k].text)) {
        best = k;
        best_at = static_cast<std::size_t>(p - begin);
        break;
      }
    }
    return best > 0;
  });
  if (best == kTagCount) return std::string_view::npos;
  return kTags[best].after ? best_at + kTags[best].text.size() : best_at;
}

std::string script_elements(const std::vector<File>& files) {
  static constexpr std::string_view kBefore = "<script src=\"/quorvane/special/file/";
  static constexpr std::string_view kAfter = "\" type=\"text/javascript\"></script>";
  std::string text;
  for (const File& file : files) {
    if (!file.Inject()) continue;
    text.append(kBefore).append(file.Name()).append(kAfter);
  }
  return text;
}

}  // namespace Tavrin
