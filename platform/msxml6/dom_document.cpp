// The DOM document: node factory, load/save, validation, settings.
#include "platform/msxml6/dom_document.h"

#include <libxml/uri.h>
#include <unistd.h>

#include <cstring>
#include <cwchar>

#include "platform/msxml6/dom_parse.h"
#include "platform/msxml6/com.h"
#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/write_check.h"

namespace mx {

namespace {

constexpr char kNoSuchFile[] = "The system cannot locate the object specified.";

// A document handed over from elsewhere (an XSLT result) may carry values in
// _private; in our documents _private means "this node has an object".
void clearPrivate(xmlDocPtr doc) {
    doc->_private = nullptr;
    for (xmlNodePtr top = doc->children; top; top = top->next)
        forEachInSubtree(top, [](xmlNodePtr n) { n->_private = nullptr; });
}

IXMLDOMParseError* errorFrom(ParseFailure const& failure) {
    return newParseError(failure.code, toWide(failure.reason.data(), failure.reason.size()), failure.line,
                         failure.column);
}

// The base against which relative references of a loaded file resolve. A
// file: URL with the path escaped: libxml2 cannot resolve against a plain
// path holding spaces or '%'.
std::string baseUrlOf(wchar_t const* pathOrUrl) {
    std::string text = utf8Of(pathOrUrl);
    if (text.compare(0, 5, "file:") == 0) return text;
    if (!text.empty() && text[0] != '/') {
        char* cwd = getcwd(nullptr, 0);
        if (cwd) {
            text = std::string(cwd) + "/" + text;
            free(cwd);
        }
    }
    xmlChar* escaped = xmlURIEscapeStr(xstr(text), BAD_CAST "/");
    if (!escaped) return text;
    std::string url = "file://" + std::string(chars(escaped));
    xmlFree(escaped);
    return url;
}

template <class T>
HRESULT refuse(T** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return E_INVALIDARG;
}

xmlNodePtr newElement(xmlDocPtr doc, std::string const& qname, std::string const& uri) {
    if (!isValidQName(qname.c_str()) || qname.starts_with("xmlns:")) return nullptr;  // xmlns only declares
    // A prefix without a namespace stays part of the name until a
    // declaration of it comes into scope (see insertChild).
    size_t colon = qname.find(':');
    bool split = colon != std::string::npos && !uri.empty();
    std::string prefix = split ? qname.substr(0, colon) : std::string();
    std::string local = split ? qname.substr(colon + 1) : qname;
    if (!uri.empty() && !isDeclarableNamespace(split ? prefix.c_str() : nullptr, uri.c_str())) return nullptr;
    xmlNodePtr n = xmlNewDocNode(doc, nullptr, xstr(local), nullptr);
    if (n && colon != std::string::npos && !split) markUnbound(doc);
    if (!n || uri.empty()) return n;
    markNamespaced(doc);
    // The declaration goes on the node itself so that a detached node is
    // self-contained; inserting it drops the declaration where redundant.
    xmlNsPtr ns = xmlNewNs(n, xstr(uri), split ? xstr(prefix) : nullptr);
    if (!ns && split) ns = xmlSearchNs(doc, n, xstr(prefix));  // "xml" is predeclared
    if (ns) xmlSetNs(n, ns);
    return n;
}

}  // namespace

DocumentObj::DocumentObj(DocContent* c) {
    kind = Kind::Document;
    content = c;
    node = reinterpret_cast<xmlNodePtr>(c->doc());
    c->owner = this;
}

DocumentObj::~DocumentObj() {
    if (content->owner == this) content->owner = nullptr;
    content->release();
    if (schemas_) schemas_->Release();
    if (parseError_) parseError_->Release();
}

DocumentObj* DocumentObj::create() {
    ensureInit();
    return new DocumentObj(DocContent::newEmpty());
}

DocumentObj* DocumentObj::forContent(DocContent* c) {
    if (c->owner) {
        c->owner->addRef();
        return c->owner;
    }
    c->addRef();
    return new DocumentObj(c);
}

HRESULT DocumentObj::query(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    void* p = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDOMNode || riid == IID_IXMLDOMDocument ||
        riid == IID_IXMLDOMDocument2 || riid == IID_IXMLDOMDocument3)
        p = static_cast<IXMLDOMDocument3*>(this);
    else if (riid == IID_IEngineNode)
        p = static_cast<IEngineNode*>(this);
    else if (riid == IID_DomNodeBase)
        p = static_cast<NodeBase*>(this);
    if (!p) return E_NOINTERFACE;
    addRef();
    *out = p;
    return S_OK;
}

void DocumentObj::setContent(DocContent* c) {
    DocContent* old = content;
    if (old->owner == this) old->owner = nullptr;
    content = c;
    node = reinterpret_cast<xmlNodePtr>(c->doc());
    c->owner = this;
    old->release();  // node objects of the old tree keep it while they live
    bumpGeneration();
}

void DocumentObj::setParseError(IXMLDOMParseError* error) {
    if (parseError_) parseError_->Release();
    parseError_ = error;
}

HRESULT DocumentObj::createDetached(xmlNodePtr n, REFIID riid, void** out) {
    if (!out) {
        if (n) xmlFreeNode(n);
        return E_POINTER;
    }
    *out = nullptr;
    if (!n) return E_OUTOFMEMORY;
    IXMLDOMNode* object = wrapNode(n);
    if (!object) {
        xmlFreeNode(n);
        return E_FAIL;
    }
    return handOut(object, riid, out);  // its object is the only holder: freed with it
}

HRESULT DocumentObj::get_documentElement(IXMLDOMElement** root) {
    if (!root) return E_POINTER;
    *root = nullptr;
    xmlNodePtr element = xmlDocGetRootElement(content->doc());
    if (!element) return S_FALSE;
    return handOut(wrapNode(element), IID_IXMLDOMElement, reinterpret_cast<void**>(root));
}

HRESULT DocumentObj::createElement(BSTR tagName, IXMLDOMElement** element) {
    xmlNodePtr n = newElement(content->doc(), utf8Of(tagName), std::string());
    if (!n) return refuse(element);
    return createDetached(n, IID_IXMLDOMElement, reinterpret_cast<void**>(element));
}

// Character data is refused where it enters when XML could not write it back.
HRESULT DocumentObj::createTextNode(BSTR data, IXMLDOMText** text) {
    std::string utf8 = utf8Of(data);
    if (!isXmlText(utf8)) return refuse(text);
    xmlNodePtr n = xmlNewDocText(content->doc(), xstr(utf8));
    return createDetached(n, IID_IXMLDOMText, reinterpret_cast<void**>(text));
}

HRESULT DocumentObj::createComment(BSTR data, IXMLDOMComment** comment) {
    std::string utf8 = utf8Of(data);
    if (!isCommentText(utf8)) return refuse(comment);
    xmlNodePtr n = xmlNewDocComment(content->doc(), xstr(utf8));
    return createDetached(n, IID_IXMLDOMComment, reinterpret_cast<void**>(comment));
}

HRESULT DocumentObj::createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) {
    if (!pi) return E_POINTER;
    *pi = nullptr;
    std::string name = utf8Of(target);
    std::string text = utf8Of(data);
    if (name.empty() || !isValidNCName(name.c_str()) || !isPIData(text)) return E_INVALIDARG;
    // Target "xml" gives the declaration object: inserted into a document it
    // becomes that document's XML declaration (see insertChild).
    xmlNodePtr n = xmlNewDocPI(content->doc(), xstr(name), xstr(text));
    return createDetached(n, IID_IXMLDOMProcessingInstruction, reinterpret_cast<void**>(pi));
}

HRESULT DocumentObj::createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) {
    if (!node) return E_POINTER;
    *node = nullptr;
    if (type.vt != VT_I4) return E_INVALIDARG;
    xmlDocPtr doc = content->doc();
    std::string qname = utf8Of(name);
    std::string uri = utf8Of(namespaceURI);
    xmlNodePtr n = type.lVal == NODE_ELEMENT ? newElement(doc, qname, uri) : nullptr;
    if (!n) return E_INVALIDARG;
    return createDetached(n, IID_IXMLDOMNode, reinterpret_cast<void**>(node));
}

HRESULT DocumentObj::finishLoad(xmlDocPtr doc, ParseFailure const& failure, VARIANT_BOOL* ok) {
    if (ok) *ok = doc ? VARIANT_TRUE : VARIANT_FALSE;
    if (!doc) {
        setContent(DocContent::newEmpty());  // a failed load leaves the document empty
        setParseError(errorFrom(failure));
        return S_FALSE;
    }
    setContent(DocContent::adopt(doc));
    setParseError(nullptr);
    return S_OK;
}

bool DocumentObj::checkValidity(xmlDocPtr doc, ParseFailure& failure) {
    if (schemas_) {
        std::wstring reason;
        long line = 0;
        HRESULT hr = validateWithCollection(schemas_, doc, reason, line);
        if (hr == S_OK) return true;
        failure.code = FAILED(hr) ? hr : E_FAIL;
        failure.reason =
            reason.empty() ? "The document could not be validated against its schemas." : toUtf8(reason.c_str());
        failure.line = line;
        return false;
    }
    ExternalAccess access(settings_.resolveExternals);
    return validateAgainstDtd(doc, failure);
}

xmlDocPtr DocumentObj::checkedOnLoad(xmlDocPtr doc, ParseFailure& failure) {
    if (!doc || !settings_.validateOnParse) return doc;
    if (!schemas_ && !doc->intSubset && !doc->extSubset) return doc;  // nothing to validate against
    if (checkValidity(doc, failure)) return doc;
    xmlFreeDoc(doc);
    return nullptr;
}

HRESULT DocumentObj::loadStream(IStream* stream, std::string const& url, VARIANT_BOOL* ok) {
    ParseFailure failure;
    xmlDocPtr doc = parseStream(stream, url, settings_, failure);
    return finishLoad(checkedOnLoad(doc, failure), failure, ok);
}

HRESULT DocumentObj::load(VARIANT source, VARIANT_BOOL* ok) {
    if (ok) *ok = VARIANT_FALSE;
    if (source.vt == VT_BSTR) {
        HRESULT hr = S_OK;
        auto stream = ComPtr<IStream>::adopt(openFile(source.bstrVal, STGM_READ, &hr));
        if (!stream) {
            ParseFailure failure;
            failure.code = hr;
            failure.reason = hr == STG_E_FILENOTFOUND ? kNoSuchFile : "The file could not be opened.";
            return finishLoad(nullptr, failure, ok);
        }
        return loadStream(stream.get(), baseUrlOf(source.bstrVal), ok);
    }
    IUnknown* object = objectOf(source);
    if (!object) return E_INVALIDARG;
    auto stream = queryAs<IStream>(object, IID_IStream);
    return stream ? loadStream(stream.get(), std::string(), ok) : E_INVALIDARG;
}

HRESULT DocumentObj::loadXML(BSTR text, VARIANT_BOOL* ok) {
    if (ok) *ok = VARIANT_FALSE;
    wchar_t const* start = text ? text : L"";
    size_t length = text ? SysStringLen(text) : 0;
    if (length && *start == 0xFEFF) ++start, --length;  // a byte-order mark is no content
    ParseFailure failure;
    xmlDocPtr doc = parseText(parserInputUtf8(start, length), settings_, failure);
    return finishLoad(checkedOnLoad(doc, failure), failure, ok);
}

HRESULT DocumentObj::get_parseError(IXMLDOMParseError** error) {
    if (!error) return E_POINTER;
    if (parseError_) {
        parseError_->AddRef();
        *error = parseError_;
    } else {
        *error = newParseError(0, std::wstring(), 0, 0);
    }
    return S_OK;
}

HRESULT DocumentObj::save(VARIANT destination) {
    if (destination.vt == VT_BSTR) {
        if (!destination.bstrVal || !*destination.bstrVal) return E_INVALIDARG;
        HRESULT hr = S_OK;
        auto stream = ComPtr<IStream>::adopt(openFile(destination.bstrVal, STGM_CREATE | STGM_WRITE, &hr));
        if (!stream) return hr;
        hr = saveDocument(content, stream.get());
        // The file is saved only once the commit says so; a failed save is
        // abandoned and never replaces the old file.
        if (SUCCEEDED(hr))
            hr = stream->Commit(STGC_DEFAULT);
        else
            stream->Revert();
        return hr;
    }
    auto stream = queryAs<IStream>(objectOf(destination), IID_IStream);
    return stream ? saveDocument(content, stream.get()) : E_INVALIDARG;
}

HRESULT DocumentObj::put_async(VARIANT_BOOL) { return S_OK; }  // loads are synchronous all the same

HRESULT DocumentObj::put_validateOnParse(VARIANT_BOOL validate) {
    settings_.validateOnParse = validate != VARIANT_FALSE;
    return S_OK;
}

HRESULT DocumentObj::put_resolveExternals(VARIANT_BOOL resolve) {
    settings_.resolveExternals = resolve != VARIANT_FALSE;
    return S_OK;
}

HRESULT DocumentObj::put_preserveWhiteSpace(VARIANT_BOOL preserve) {
    settings_.preserveWhiteSpace = preserve != VARIANT_FALSE;
    return S_OK;
}

HRESULT DocumentObj::get_schemas(VARIANT* schemas) {
    if (!schemas) return E_POINTER;
    VariantInit(schemas);
    if (!schemas_) {
        schemas->vt = VT_NULL;
        return S_FALSE;
    }
    schemas_->AddRef();
    schemas->vt = VT_DISPATCH;
    schemas->pdispVal = schemas_;
    return S_OK;
}

// No object (VT_NULL, VT_EMPTY or a null pointer) detaches the collection.
HRESULT DocumentObj::putref_schemas(VARIANT schemas) {
    IUnknown* object = objectOf(schemas);
    if (!object && schemas.vt != VT_NULL && schemas.vt != VT_EMPTY && schemas.vt != VT_DISPATCH &&
        schemas.vt != VT_UNKNOWN)
        return E_INVALIDARG;
    IDispatch* collection = queryAs<IDispatch>(object, IID_IDispatch).detach();
    if (object && !collection) return E_INVALIDARG;
    if (schemas_) schemas_->Release();
    schemas_ = collection;
    return S_OK;
}

HRESULT DocumentObj::validate(IXMLDOMParseError** error) {
    if (error) *error = nullptr;
    xmlDocPtr doc = content->doc();
    ParseFailure failure;
    bool valid = false;
    if (!xmlDocGetRootElement(doc)) {
        failure.code = E_FAIL;
        failure.reason = "The document has no document element.";
    } else if (schemas_ || doc->intSubset || doc->extSubset) {
        valid = checkValidity(doc, failure);
    } else {
        failure.code = E_FAIL;
        failure.reason = "The document has no schema or DTD to validate against.";
    }
    // The document keeps the reason as its parse error; the caller gets a copy.
    setParseError(valid ? nullptr : errorFrom(failure));
    if (error) get_parseError(error);
    return valid ? S_OK : S_FALSE;
}

HRESULT createDOMDocument(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return handOutNew(DocumentObj::create(), riid, out);
}

HRESULT replaceDocument(IUnknown* domDocument, xmlDocPtr doc) {
    if (!doc) return E_INVALIDARG;
    NodeBase* base = nodeBaseOf(domDocument);
    if (!base || base->kind != Kind::Document) {
        if (base) base->release();
        xmlFreeDoc(doc);  // ownership passed to us either way
        return E_INVALIDARG;
    }
    clearPrivate(doc);
    static_cast<DocumentObj*>(base)->setContent(DocContent::adopt(doc));
    base->release();
    return S_OK;
}

}  // namespace mx
