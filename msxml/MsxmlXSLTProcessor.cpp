#include "msxml/MsxmlXSLTProcessor.h"

#include "msxml/MsxmlDOMDocument.h"
#include "msxml/MsxmlFactory.h"
#include "msxml/MsxmlFailure.h"
#include "model/XmlFailure.h"

namespace {

// Points the processor at a document or at a file created (or replaced) at path.
bool setOutput(IXSLProcessor* processor, IXMLDOMDocument3* document, wchar_t const* path) {
    Variant output;
    if (document) {
        output.setDispatch(document);
    } else {
        ComPtr<IStream> stream;
        if (!path || FAILED(createOutputFile(path, stream.put())) || !stream) return false;
        output.setUnknown(stream.get());
    }
    return SUCCEEDED(processor->put_output(output.get()));
}

}  // namespace

MsxmlXSLTProcessor* MsxmlXSLTProcessor::createInstance(IXMLDOMDocument3* stylesheet, wchar_t const* path) {
    if (!stylesheet) return nullptr;
    ComPtr<IXSLTemplate> compiled(MsxmlFactory::getInstance()->createXSLTemplate());
    if (!compiled) return nullptr;
    if (FAILED(compiled->putref_stylesheet(stylesheet))) {
        recordStylesheetFailure(stylesheet, path);
        return nullptr;
    }
    ComPtr<IXSLProcessor> processor;
    if (FAILED(compiled->createProcessor(processor.put())) || !processor) return nullptr;
    return new MsxmlXSLTProcessor(std::move(processor));
}

// The processor's output stream (if any) is dropped again right after the
// transformation so that the file is complete when this returns.
bool MsxmlXSLTProcessor::doTransform(TrelDOMDocument const* input, IXMLDOMDocument3* outputDocument,
                                     wchar_t const* outputPath) const {
    IXMLDOMDocument3* source = MsxmlDOMDocument::engineOf(input);
    if (!source) return false;
    Variant in;
    in.setDispatch(source);
    if (FAILED(processor_->put_input(in.get()))) return false;
    if (!setOutput(processor_.get(), outputDocument, outputPath)) return false;
    VARIANT_BOOL done = VARIANT_FALSE;
    bool const ok = SUCCEEDED(processor_->transform(&done)) && done == VARIANT_TRUE;
    Variant none;
    processor_->put_output(none.get());
    return ok;
}

bool MsxmlXSLTProcessor::transform(TrelDOMDocument const* input, wchar_t const* outputPath) const {
    XmlLastFailure::clear();
    if (!outputPath) return false;
    if (doTransform(input, nullptr, outputPath)) return true;
    recordTransformFailure(outputPath);
    return false;
}

TrelDOMDocument* MsxmlXSLTProcessor::transform(TrelDOMDocument const* input) const {
    XmlLastFailure::clear();
    ComPtr<IXMLDOMDocument3> result(MsxmlFactory::getInstance()->createDocument());
    if (!result) return nullptr;
    if (doTransform(input, result.get(), nullptr)) return new MsxmlDOMDocument(result.get());
    recordTransformFailure(nullptr);
    return nullptr;
}
