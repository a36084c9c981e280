#include "runner/report/testing/well_formed.h"

#include <libxml/parser.h>

namespace Tavrin::Report {

std::string xml_error(std::string_view report) {
  constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  if (report.substr(0, kDeclaration.size()) != kDeclaration) return "no XML declaration";
  std::string document(kDeclaration);
  document += "<report>";
  document += report.substr(kDeclaration.size());
  document += "</report>";

  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) return "no parser";
  xmlDocPtr doc = xmlCtxtReadMemory(context, document.data(), static_cast<int>(document.size()), nullptr,
                                    nullptr, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR |
                                                 XML_PARSE_NOWARNING);
  std::string error;
  if (doc == nullptr || !context->wellFormed || !context->nsWellFormed) {
    const xmlError* last = xmlCtxtGetLastError(context);
    error = last != nullptr && last->message != nullptr ? last->message : "not well-formed";
    if (error.empty()) error = "not well-formed";
  }
  xmlFreeDoc(doc);
  xmlFreeParserCtxt(context);
  return error;
}

}  // namespace Tavrin::Report
