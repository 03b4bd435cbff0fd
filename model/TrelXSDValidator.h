// A schema compiled once, checked against any number of documents.
#pragma once

#include <string>

#include "core/XmlRCObject.h"

class TrelDOMDocument;

class TrelXSDValidator : public XmlRCObject {
protected:
    TrelXSDValidator() = default;
    ~TrelXSDValidator() override = default;

public:
    TrelXSDValidator(TrelXSDValidator const&) = delete;
    TrelXSDValidator& operator=(TrelXSDValidator const&) = delete;

    // True when valid. An invalid document gives false with the reason in
    // `errors`; false with `errors` untouched when validation could not run.
    virtual bool validateDocument(TrelDOMDocument const* document, std::basic_string<wchar_t>& errors) const = 0;
};
