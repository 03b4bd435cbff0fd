#include "msxml/MsxmlXSDValidator.h"

#include "msxml/MsxmlDOMDocument.h"
#include "msxml/MsxmlFactory.h"
#include "platform/host/ux_string.h"

namespace {

// Puts a document's own schemas back whatever happens in between.
class SchemaRestorer {
public:
    explicit SchemaRestorer(IXMLDOMDocument3* document) : document_(document) {
        saved_ = SUCCEEDED(document_->get_schemas(schemas_.put()));
    }
    ~SchemaRestorer() {
        if (saved_) document_->putref_schemas(schemas_.get());
    }
    SchemaRestorer(SchemaRestorer const&) = delete;
    SchemaRestorer& operator=(SchemaRestorer const&) = delete;
    bool saved() const { return saved_; }

private:
    IXMLDOMDocument3* document_;
    Variant schemas_;
    bool saved_;
};

// The engine's reason for rejecting the document (may be empty).
std::wstring reasonOf(IXMLDOMParseError* error) {
    BStr reason;
    if (!error || FAILED(error->get_reason(reason.put())) || !reason.get()) return std::wstring();
    WideTextConverter converted(reason.get());
    return std::wstring(converted.conv_str(), converted.length());
}

}  // namespace

MsxmlXSDValidator* MsxmlXSDValidator::createInstance(IXMLDOMDocument3* schema) {
    if (!schema) return nullptr;
    ComPtr<IXMLDOMSchemaCollection2> schemas(MsxmlFactory::getInstance()->createSchema());
    if (!schemas) return nullptr;
    BStr noNamespace(L"");
    Variant source;
    source.setDispatch(schema);
    if (FAILED(schemas->add(noNamespace.get(), source.get()))) return nullptr;
    return new MsxmlXSDValidator(std::move(schemas));
}

bool MsxmlXSDValidator::validateDocument(TrelDOMDocument const* document, std::basic_string<wchar_t>& errors) const {
    IXMLDOMDocument3* target = MsxmlDOMDocument::engineOf(document);
    if (!target) return false;
    SchemaRestorer restore(target);
    Variant mine;
    mine.setDispatch(schemas_.get());
    if (!restore.saved() || FAILED(target->putref_schemas(mine.get()))) return false;
    ComPtr<IXMLDOMParseError> error;
    HRESULT const hr = target->validate(error.put());
    if (hr == S_OK) return true;
    if (!error) target->get_parseError(error.put());
    errors = reasonOf(error.get());
    return false;
}
