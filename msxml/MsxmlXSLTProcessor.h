// An XSLT processor over one compiled engine style sheet.
#pragma once

#include <utility>

#include "model/TrelXSLTProcessor.h"
#include "msxml/MsxmlCom.h"
#include "platform/msxml6/msxml6.h"

class MsxmlXSLTProcessor : public TrelXSLTProcessor {
public:
    // Compiles `stylesheet` (the document itself is not changed); null when
    // the engine rejects it.
    static MsxmlXSLTProcessor* createInstance(IXMLDOMDocument3* stylesheet, wchar_t const* path = nullptr);

    // Inputs must be documents of the engine-backed model; anything else fails.
    bool transform(TrelDOMDocument const* input, wchar_t const* outputPath) const override;
    TrelDOMDocument* transform(TrelDOMDocument const* input) const override;

private:
    explicit MsxmlXSLTProcessor(ComPtr<IXSLProcessor> processor) : processor_(std::move(processor)) {}
    // Into `outputDocument` when given, else into a file at `outputPath`.
    bool doTransform(TrelDOMDocument const* input, IXMLDOMDocument3* outputDocument, wchar_t const* outputPath) const;

    ComPtr<IXSLProcessor> processor_;
};
