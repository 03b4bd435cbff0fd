// The DOM document object (FreeThreadedDOMDocument60).
#pragma once

#include <string>

#include "platform/msxml6/dom_node.h"

namespace mx {

struct ParseFailure;

struct LoadSettings {
    bool validateOnParse = false;
    bool resolveExternals = false;
    bool preserveWhiteSpace = false;
};

class DocumentObj final : public NodeImpl<DocumentObj, IXMLDOMDocument3> {
public:
    // A new, empty document (one reference for the caller).
    static DocumentObj* create();
    // The document object showing `content` (new reference); made on demand
    // when the previous one is gone.
    static DocumentObj* forContent(DocContent* content);

    HRESULT query(REFIID riid, void** out);
    // Shows `content` from now on (takes over its reference).
    void setContent(DocContent* content);
    void setParseError(IXMLDOMParseError* error);  // takes over the reference

    // IXMLDOMDocument
    HRESULT get_documentElement(IXMLDOMElement** root) override;
    HRESULT createElement(BSTR tagName, IXMLDOMElement** element) override;
    HRESULT createTextNode(BSTR data, IXMLDOMText** text) override;
    HRESULT createComment(BSTR data, IXMLDOMComment** comment) override;
    HRESULT createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) override;
    HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) override;
    HRESULT get_parseError(IXMLDOMParseError** error) override;
    HRESULT put_async(VARIANT_BOOL async) override;
    HRESULT load(VARIANT source, VARIANT_BOOL* ok) override;
    HRESULT loadXML(BSTR xml, VARIANT_BOOL* ok) override;
    HRESULT save(VARIANT destination) override;
    HRESULT put_validateOnParse(VARIANT_BOOL validate) override;
    HRESULT put_resolveExternals(VARIANT_BOOL resolve) override;
    HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) override;
    // IXMLDOMDocument2
    HRESULT get_schemas(VARIANT* schemas) override;
    HRESULT putref_schemas(VARIANT schemas) override;
    HRESULT validate(IXMLDOMParseError** error) override;

    ~DocumentObj();

private:
    explicit DocumentObj(DocContent* content);
    HRESULT finishLoad(xmlDocPtr doc, ParseFailure const& failure, VARIANT_BOOL* ok);
    // Against the attached schemas, else the DTD; false with the first message.
    bool checkValidity(xmlDocPtr doc, ParseFailure& failure);
    // validateOnParse: the parsed document, or null (freed) when invalid.
    xmlDocPtr checkedOnLoad(xmlDocPtr doc, ParseFailure& failure);
    HRESULT loadStream(IStream* stream, std::string const& url, VARIANT_BOOL* ok);
    HRESULT createDetached(xmlNodePtr node, REFIID riid, void** out);

    LoadSettings settings_;
    IDispatch* schemas_ = nullptr;             // counted
    IXMLDOMParseError* parseError_ = nullptr;  // counted; null: no error so far
};

}  // namespace mx
