#include "platform/msxml6/xslt_processor.h"

#include <optional>

#include "platform/msxml6/engine.h"

namespace mx {

namespace {

bool isDocument(xmlNodePtr n) { return n && (n->type == XML_DOCUMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE); }

// Text handed out as a string is Unicode, so its declaration names UTF-16
// (the declared xsl:output encoding applies to bytes, which a string has not).
void declareUtf16(std::string& text) {
    if (text.rfind("<?xml ", 0) != 0) return;
    size_t end = text.find("?>");
    size_t at = text.find("encoding=");
    if (end == std::string::npos || at == std::string::npos || at > end) return;
    size_t open = at + 9;
    size_t close = text.find(text[open], open + 1);
    if (close == std::string::npos || close > end) return;
    text.replace(open + 1, close - open - 1, "UTF-16");
}

}  // namespace

XslProcessor::XslProcessor(std::shared_ptr<CompiledSheet const> sheet) : sheet_(std::move(sheet)) {}

HRESULT XslProcessor::put_input(VARIANT input) {
    IUnknown* object = objectOf(input);
    if (!object || !engineNodeOf(object)) return E_INVALIDARG;
    input_ = ComPtr<IUnknown>::share(object);
    return S_OK;
}

HRESULT XslProcessor::put_output(VARIANT output) {
    outputText_.reset();
    if (output.vt == VT_EMPTY || output.vt == VT_NULL) {
        outputDocument_.reset();
        outputStream_.reset();
        target_ = Target::String;
        return S_OK;
    }
    IUnknown* object = objectOf(output);
    if (isDocument(engineNodeOf(object))) {
        outputDocument_ = ComPtr<IUnknown>::share(object);
        outputStream_.reset();
        target_ = Target::Document;
        return S_OK;
    }
    auto stream = queryAs<IStream>(object, IID_IStream);
    if (!stream) return E_INVALIDARG;
    outputStream_ = std::move(stream);
    outputDocument_.reset();
    target_ = Target::Stream;
    return S_OK;
}

HRESULT XslProcessor::get_output(VARIANT* output) {
    if (!output) return E_POINTER;
    VariantInit(output);
    switch (target_) {
    case Target::String:
        if (outputText_) {
            output->vt = VT_BSTR;
            output->bstrVal = SysAllocStringLen(outputText_.get(), SysStringLen(outputText_.get()));
        }
        return S_OK;
    case Target::Document: {
        auto dispatch = queryAs<IDispatch>(outputDocument_.get(), IID_IDispatch);
        if (!dispatch) return E_FAIL;
        output->vt = VT_DISPATCH;
        output->pdispVal = dispatch.detach();
        return S_OK;
    }
    case Target::Stream:
        output->vt = VT_UNKNOWN;
        output->punkVal = ComPtr<IUnknown>::share(outputStream_.get()).detach();
        return S_OK;
    }
    return E_FAIL;
}

HRESULT XslProcessor::transform(VARIANT_BOOL* done) {
    if (!done) return E_POINTER;
    *done = VARIANT_FALSE;
    ensureInit();
    xmlNodePtr node = input_ ? engineNodeOf(input_.get()) : nullptr;
    if (!node) return E_FAIL;
    DocPtr result = run(node);
    if (!result) {
        abandonStream();
        return E_FAIL;
    }
    HRESULT hr = deliver(std::move(result));
    if (SUCCEEDED(hr)) *done = VARIANT_TRUE;
    return hr;
}

// The original tree is used unless the sheet strips white space from it: a
// copy of a large document costs about as much as the transformation, while
// the other changes libxslt makes to its input are undone exactly by the guard.
DocPtr XslProcessor::run(xmlNodePtr input) {
    TransformSource source(input, sheet_->stripsSpace());
    if (!source.doc()) return nullptr;
    std::optional<InputGuard> guard;
    if (!source.isCopy()) guard.emplace(source.doc());
    std::string errors;  // there is no error object to carry them in this interface
    return sheet_->apply(source.doc(), errors);
}

HRESULT XslProcessor::deliver(DocPtr result) {
    outputText_.reset();
    switch (target_) {
    case Target::Document:
        return replaceDocument(outputDocument_.get(), result.release());
    case Target::Stream: {
        // The output is committed before transform returns, so a file is
        // complete then and a refused commit fails the run; a failed run
        // keeps the old file. The processor lets go of the stream at once
        // (the next run collects a string again).
        HRESULT hr = sheet_->write(result.get(), outputStream_.get());
        if (SUCCEEDED(hr))
            hr = outputStream_->Commit(STGC_DEFAULT);
        else
            outputStream_->Revert();
        outputStream_.reset();
        target_ = Target::String;
        return hr;
    }
    case Target::String:
        return deliverString(result.get());
    }
    return E_FAIL;
}

// A failed run leaves a file target as it was: its stream is abandoned, not
// committed empty when it is finally released.
void XslProcessor::abandonStream() {
    if (target_ != Target::Stream) return;
    if (outputStream_) outputStream_->Revert();
    outputStream_.reset();
    target_ = Target::String;
}

HRESULT XslProcessor::deliverString(xmlDocPtr result) {
    std::string text;
    if (!sheet_->writeUtf8(result, text)) return E_FAIL;
    declareUtf16(text);
    outputText_.reset(bstrFromUtf8(text.data(), text.size()));
    return outputText_ ? S_OK : E_OUTOFMEMORY;
}

}  // namespace mx
