// An XSD validator over an engine schema cache holding one schema.
#pragma once

#include <utility>

#include "model/TrelXSDValidator.h"
#include "msxml/MsxmlCom.h"
#include "platform/msxml6/msxml6.h"

class MsxmlXSDValidator : public TrelXSDValidator {
public:
    // Compiles `schema` under the empty namespace; null when the engine
    // rejects it.
    static MsxmlXSDValidator* createInstance(IXMLDOMDocument3* schema);

    // The document keeps the schemas it had before the call.
    bool validateDocument(TrelDOMDocument const* document, std::basic_string<wchar_t>& errors) const override;

private:
    explicit MsxmlXSDValidator(ComPtr<IXMLDOMSchemaCollection2> schemas) : schemas_(std::move(schemas)) {}

    ComPtr<IXMLDOMSchemaCollection2> schemas_;
};
