#include "common/configuration_xml_internal.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/text.h"

namespace Tavrin::config_xml {
namespace {

using Platform::from_utf8;

bool is_section(pugi::xml_node node) {
  return node.type() == pugi::node_element && std::strcmp(node.name(), "section") == 0;
}

// The text content of an element: its text and CDATA descendants, joined.
void append_text(pugi::xml_node node, std::string& out) {
  for (pugi::xml_node child : node.children()) {
    switch (child.type()) {
      case pugi::node_pcdata:
      case pugi::node_cdata:
        out += child.value();
        break;
      case pugi::node_element:
        append_text(child, out);
        break;
      default:
        break;
    }
  }
}

std::wstring required_attribute(pugi::xml_node node, const char* name) {
  pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) throw MalformedDocument{};
  return from_utf8(attribute.value());
}

ParameterType parse_type(const std::wstring& name) {
  static const std::pair<const wchar_t*, ParameterType> kTypes[] = {
      {L"string", ParameterType::String},
      {L"integer", ParameterType::Integer},
      {L"boolean", ParameterType::Boolean},
      {L"time_milliseconds", ParameterType::TimeMilliseconds},
      {L"time_seconds", ParameterType::TimeSeconds},
      {L"time_minutes", ParameterType::TimeMinutes},
  };
  for (const auto& [text, type] : kTypes) {
    if (name == text) return type;
  }
  throw std::runtime_error("Unknown parameter type: " + Platform::narrow_low8(name));
}

// Adds one parameter node to `section` unless its id is taken. The parts are
// read in the order value, type, id.
void add_parameter(pugi::xml_node node, Section& section) {
  pugi::xml_node value = node.child("value");
  if (!value) throw MalformedDocument{};
  std::string text;
  append_text(value, text);
  Configuration::Element element{from_utf8(text), parse_type(required_attribute(node, "type"))};
  section.try_emplace(required_attribute(node, "id"), std::move(element));
}

}  // namespace

void load_document(const std::wstring& path, pugi::xml_document& doc) {
  constexpr unsigned kFlags = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;
  const pugi::xml_parse_result result = doc.load_file(Platform::to_utf8(path).c_str(), kFlags);
  switch (result.status) {
    case pugi::status_ok:
      return;
    case pugi::status_internal_error:
      throw ReaderFailure{};
    default:
      // Missing, unreadable (pugixml says "out of memory" for a folder) or
      // malformed. The reader keeps what it parsed before an error; a failed
      // load must leave nothing behind.
      doc.reset();
      return;
  }
}

pugi::xml_node config_element(const pugi::xml_document& doc) {
  pugi::xml_node config = doc.child("config");
  if (!config) throw MalformedDocument{};
  return config;
}

std::deque<std::wstring> section_ids(pugi::xml_node config) {
  std::deque<std::wstring> ids;
  for (pugi::xml_node child : config.children()) {
    if (is_section(child)) ids.push_back(required_attribute(child, "id"));
  }
  return ids;
}

Section read_section(pugi::xml_node config, const std::wstring& id) {
  Section section;
  for (pugi::xml_node child : config.children()) {
    if (!is_section(child) || required_attribute(child, "id") != id) continue;
    for (pugi::xml_node parameter : child.children()) add_parameter(parameter, section);
  }
  return section;
}

}  // namespace Tavrin::config_xml
