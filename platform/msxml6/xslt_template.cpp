// IXSLTemplate: holds one compiled style sheet and hands out processors
// that share it.
#include <memory>

#include "platform/msxml6/dom_document.h"
#include "platform/msxml6/engine.h"
#include "platform/msxml6/xslt_common.h"
#include "platform/msxml6/xslt_processor.h"
#include "platform/msxml6/xslt_sheet.h"

namespace mx {

namespace {

void setStylesheetError(IXMLDOMNode* stylesheet, ParseFailure const& why) {
    void* queried = nullptr;
    if (FAILED(stylesheet->QueryInterface(IID_IXMLDOMDocument3, &queried)) || !queried) return;
    auto* document = static_cast<IXMLDOMDocument3*>(queried);
    if (auto* own = dynamic_cast<DocumentObj*>(document))
        own->setParseError(newParseError(why.code, toWide(why.reason.data(), why.reason.size()), why.line, 0));
    document->Release();
}

class XslTemplate final : public ComObject<IXSLTemplate, IID_IXSLTemplate> {
public:
    // A failed compilation leaves the template without a sheet rather than
    // with an older one the caller no longer expects.
    HRESULT putref_stylesheet(IXMLDOMNode* stylesheet) override {
        ensureInit();
        sheet_.reset();
        xmlNodePtr node = stylesheet ? engineNodeOf(stylesheet) : nullptr;
        if (!node) return E_INVALIDARG;
        ParseFailure why;
        HRESULT hr = CompiledSheet::compile(node, sheet_, &why);
        // The reason goes where a load's would: the style sheet document's
        // parse error.
        if (FAILED(hr) && !why.reason.empty()) setStylesheetError(stylesheet, why);
        return hr;
    }

    HRESULT createProcessor(IXSLProcessor** processor) override {
        if (!processor) return E_POINTER;
        *processor = nullptr;
        if (!sheet_) return E_FAIL;
        *processor = new XslProcessor(sheet_);
        return S_OK;
    }

private:
    std::shared_ptr<CompiledSheet const> sheet_;
};

}  // namespace

HRESULT createXSLTemplate(REFIID riid, void** out) { return createAs<XslTemplate>(riid, out); }

}  // namespace mx
