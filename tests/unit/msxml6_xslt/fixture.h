// Helpers of the XSLT and schema tests: style sheets and their processors.
#pragma once

#include "tests/unit/common/engine_objects.h"

namespace xt {

using namespace enginetest;

// The style sheet's processor, with `input` set; empty on failure.
inline ComPtr<IXSLProcessor> processorFor(std::wstring const& sheet, IXMLDOMDocument3* input) {
    ComPtr<IXSLProcessor> processor;
    auto sheetDoc = parse(sheet);
    auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
    if (!sheetDoc || !xslt || FAILED(xslt->putref_stylesheet(sheetDoc.get()))) return processor;
    if (FAILED(xslt->createProcessor(processor.put()))) return processor;
    if (input && FAILED(processor->put_input(objectVariant(input)))) processor.reset();
    return processor;
}

inline std::wstring sheet(std::wstring const& body, std::wstring const& extraNamespaces = L"") {
    return L"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' " + extraNamespaces +
           L">" + body + L"</xsl:stylesheet>";
}

}  // namespace xt
