// Reading configuration documents: the XML side of Configuration::Load.
// Internal to libQuorvaneCommon.
//
// The tree is the one a non-validating, white-space-dropping reader gives:
// text nodes holding only white space are not children; comments and
// processing instructions are nodes. Element and attribute names are
// compared exactly.
#ifndef QUORVANE_COMMON_CONFIGURATION_XML_INTERNAL_H_
#define QUORVANE_COMMON_CONFIGURATION_XML_INTERNAL_H_

#include <deque>
#include <string>
#include <unordered_map>

#include <pugixml.hpp>

#include "common/configuration.h"

namespace Tavrin::config_xml {

// The parameters of one section by id.
using Section = std::unordered_map<std::wstring, Configuration::Element>;

// The document is not a configuration file: no <config> element, a section
// without "id", a parameter without "id", "type" or "value", or a node in a
// section that is not a parameter. Deliberately not a std::exception: Load
// reports it with its own fixed message.
struct MalformedDocument {};

// The XML reader itself failed (an internal error). Not a std::exception
// either.
struct ReaderFailure {};

// Parses the file at `path` into `doc`. A missing, unreadable or unparsable
// file leaves `doc` empty and is reported by the later steps; only a failure
// of the reader throws ReaderFailure.
void load_document(const std::wstring& path, pugi::xml_document& doc);

// The <config> child of the document. Throws MalformedDocument.
pugi::xml_node config_element(const pugi::xml_document& doc);

// The "id" of every <section> child of `config`, in document order,
// duplicates included. Throws MalformedDocument.
std::deque<std::wstring> section_ids(pugi::xml_node config);

// The parameters of every <section> child of `config` whose id is `id`,
// merged in document order; the first parameter of an id wins. No matching
// section gives an empty map. Throws MalformedDocument, and
// std::runtime_error "Unknown parameter type: <type>" for a type name that is
// none of the six.
Section read_section(pugi::xml_node config, const std::wstring& id);

}  // namespace Tavrin::config_xml

#endif  // QUORVANE_COMMON_CONFIGURATION_XML_INTERNAL_H_
