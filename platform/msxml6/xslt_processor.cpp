#include "platform/msxml6/xslt_processor.h"

#include <optional>

#include "platform/msxml6/engine.h"

namespace mx {

namespace {

bool isDocument(xmlNodePtr n) { return n && (n->type == XML_DOCUMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE); }

}  // namespace

XslProcessor::XslProcessor(std::shared_ptr<CompiledSheet const> sheet) : sheet_(std::move(sheet)) {}

HRESULT XslProcessor::put_input(VARIANT input) {
    IUnknown* object = objectOf(input);
    if (!object || !engineNodeOf(object)) return E_INVALIDARG;
    input_ = ComPtr<IUnknown>::share(object);
    return S_OK;
}

HRESULT XslProcessor::put_output(VARIANT output) {
    if (output.vt == VT_EMPTY || output.vt == VT_NULL) {
        outputDocument_.reset();
        outputStream_.reset();
        target_ = Target::None;
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

HRESULT XslProcessor::transform(VARIANT_BOOL* done) {
    if (!done) return E_POINTER;
    *done = VARIANT_FALSE;
    ensureInit();
    xmlNodePtr node = input_ ? engineNodeOf(input_.get()) : nullptr;
    if (!node || target_ == Target::None) return E_FAIL;
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
    switch (target_) {
    case Target::Document:
        return replaceDocument(outputDocument_.get(), result.release());
    case Target::Stream: {
        // The output is committed before transform returns, so a file is
        // complete then and a refused commit fails the run; a failed run
        // keeps the old file. The processor lets go of the stream at once.
        HRESULT hr = sheet_->write(result.get(), outputStream_.get());
        if (SUCCEEDED(hr))
            hr = outputStream_->Commit(STGC_DEFAULT);
        else
            outputStream_->Revert();
        outputStream_.reset();
        target_ = Target::None;
        return hr;
    }
    case Target::None:
        break;
    }
    return E_FAIL;
}

// A failed run leaves a file target as it was: its stream is abandoned, not
// committed empty when it is finally released.
void XslProcessor::abandonStream() {
    if (target_ != Target::Stream) return;
    if (outputStream_) outputStream_->Revert();
    outputStream_.reset();
    target_ = Target::None;
}

}  // namespace mx
