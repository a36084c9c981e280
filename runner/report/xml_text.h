// Writing of the XML report: a buffered UTF-8 encoder that makes every text
// it is given safe for its place in the document, so that the report is
// well-formed XML whatever the test log holds.
//
// Everywhere: characters that XML 1.0 cannot carry (controls other than tab,
// LF and CR; U+FFFE, U+FFFF; surrogates and values beyond U+10FFFF) become
// U+FFFD. Text without such characters and without the characters that its
// place must escape comes out byte for byte as its UTF-8 encoding.
#ifndef QUORVANE_RUNNER_REPORT_XML_TEXT_H_
#define QUORVANE_RUNNER_REPORT_XML_TEXT_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace Tavrin::Report {

class XmlWriter {
 public:
  // Writes to `out`, which must outlive the writer, through a buffer of
  // 64 KiB. Never throws after construction: a failing stream is noted
  // (see ok()) and later output is dropped.
  explicit XmlWriter(std::ostream& out);
  // Flushes.
  ~XmlWriter();
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  // Fixed markup ("<suite ", "\" date=\"", "</suite>"), written unchanged.
  // Must be ASCII.
  void Markup(std::string_view markup) noexcept;
  // Element content: "&", "<" and ">" become "&amp;", "&lt;", "&gt;".
  void Text(std::wstring_view text) noexcept;
  // An attribute value between double quotes: as Text, and '"' becomes
  // "&quot;".
  void Attribute(std::wstring_view value) noexcept;
  // Element content under the CDATA rule: a text that holds "<" or ">" is
  // written as "<![CDATA[" text "]]>", each "]]>" inside it split as
  // "]]]]><![CDATA[>"; any other text is written as Text.
  void CdataText(std::wstring_view text) noexcept;

  // Hands the buffered bytes to the stream and flushes it.
  void Flush() noexcept;
  // False once a write to the stream has failed.
  bool ok() const noexcept { return !failed_; }

 private:
  enum class Place { kText, kAttribute, kCdata };
  template <Place place>
  void Encode(std::wstring_view text) noexcept;
  void WriteBuffer() noexcept;

  std::ostream& out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// `name` made usable as an XML attribute name: each character that may not
// stand at its place of an XML 1.0 name becomes "_", and so does ":" (a
// colon would make the name a namespace prefix that nothing declares); an
// empty name becomes "_" and "xmlns", which would declare a namespace,
// becomes "xmlns_". A name that needs none of this is returned unchanged.
std::wstring xml_name(std::wstring_view name);

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_XML_TEXT_H_
