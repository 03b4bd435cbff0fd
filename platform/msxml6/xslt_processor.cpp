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

// An output of the wrong kind leaves the previous one in place.
HRESULT XslProcessor::put_output(VARIANT output) {
    bool const none = output.vt == VT_EMPTY || output.vt == VT_NULL;
    IUnknown* object = none ? nullptr : objectOf(output);
    bool const document = isDocument(engineNodeOf(object));
    auto stream = none || document ? ComPtr<IStream>() : queryAs<IStream>(object, IID_IStream);
    if (!none && !document && !stream) return E_INVALIDARG;
    outputDocument_ = document ? ComPtr<IUnknown>::share(object) : ComPtr<IUnknown>();
    outputStream_ = std::move(stream);
    return S_OK;
}

HRESULT XslProcessor::transform(VARIANT_BOOL* done) {
    if (!done) return E_POINTER;
    *done = VARIANT_FALSE;
    ensureInit();
    xmlNodePtr node = input_ ? engineNodeOf(input_.get()) : nullptr;
    if (!node || (!outputDocument_ && !outputStream_)) return E_FAIL;
    DocPtr result = run(node);
    if (!result) {
        abandonStream();
        return E_FAIL;
    }
    HRESULT hr = deliver(std::move(result));
    if (SUCCEEDED(hr)) *done = VARIANT_TRUE;
    return hr;
}

// A whole document is used as it is unless the sheet strips white space
// from it: a copy of a large document costs about as much as the
// transformation, while the other changes libxslt makes to its input are
// undone exactly by the guard. A subtree runs as a document of its own.
DocPtr XslProcessor::run(xmlNodePtr input) {
    bool const original = isDocument(input) && !sheet_->stripsSpace();
    DocPtr copy = original ? nullptr : copyAsDocument(input);
    xmlDocPtr doc = original ? reinterpret_cast<xmlDocPtr>(input) : copy.get();
    if (!doc) return nullptr;
    std::optional<InputGuard> guard;
    if (original) guard.emplace(doc);
    std::string errors;  // there is no error object to carry them in this interface
    return sheet_->apply(doc, errors);
}

HRESULT XslProcessor::deliver(DocPtr result) {
    if (outputDocument_) return replaceDocument(outputDocument_.get(), result.release());
    // The output is committed before transform returns, so a file is
    // complete then and a refused commit fails the run; a failed run keeps
    // the old file. The processor lets go of the stream at once.
    HRESULT hr = sheet_->write(result.get(), outputStream_.get());
    if (SUCCEEDED(hr))
        hr = outputStream_->Commit(STGC_DEFAULT);
    else
        outputStream_->Revert();
    outputStream_.reset();
    return hr;
}

// A failed run leaves a file target as it was: its stream is abandoned, not
// committed empty when it is finally released.
void XslProcessor::abandonStream() {
    if (outputStream_) outputStream_->Revert();
    outputStream_.reset();
}

}  // namespace mx
