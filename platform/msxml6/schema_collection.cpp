#include "platform/msxml6/schema_collection.h"

#include <libxml/schemasInternals.h>

#include "platform/msxml6/engine.h"

namespace mx {

namespace {

// A private copy: libxml2 prunes comments and blank text from the document
// it compiles, which must not happen to the caller's DOM.
HRESULT loadSchemaDocument(VARIANT const& source, DocPtr& out) {
    xmlNodePtr node = engineNodeOf(objectOf(source));
    if (!node) return E_INVALIDARG;
    out = copyAsDocument(node);
    return out ? S_OK : E_INVALIDARG;
}

HRESULT compileSchema(xmlDocPtr doc, SchemaPtr& out) {
    std::unique_ptr<xmlSchemaParserCtxt, decltype(&xmlSchemaFreeParserCtxt)> context(xmlSchemaNewDocParserCtxt(doc),
                                                                                     xmlSchemaFreeParserCtxt);
    if (!context) return E_OUTOFMEMORY;
    ErrorSink sink;
    xmlSchemaSetParserStructuredErrors(context.get(), ErrorSink::onStructured, &sink);
    out.reset(xmlSchemaParse(context.get()));
    return out ? S_OK : E_FAIL;
}

std::string rootNamespace(xmlDocPtr doc) {
    xmlNodePtr root = xmlDocGetRootElement(doc);
    return root && root->ns && root->ns->href ? reinterpret_cast<char const*>(root->ns->href) : "";
}

}  // namespace

HRESULT SchemaCollection::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDOMSchemaCollection ||
        riid == IID_IXMLDOMSchemaCollection2 || riid == IID_SchemaCollectionSelf) {
        *out = static_cast<IXMLDOMSchemaCollection2*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT SchemaCollection::add(BSTR namespaceURI, VARIANT schema) {
    ensureInit();
    Entry entry;
    HRESULT hr = loadSchemaDocument(schema, entry.source);
    if (FAILED(hr)) return hr;
    hr = compileSchema(entry.source.get(), entry.schema);
    if (FAILED(hr)) return hr;
    if (entry.schema->targetNamespace)
        entry.targetNamespace = reinterpret_cast<char const*>(entry.schema->targetNamespace);
    std::string requested = toUtf8(namespaceURI, SysStringLen(namespaceURI));
    if (!requested.empty() && requested != entry.targetNamespace) return E_INVALIDARG;
    for (Entry& e : entries_) {
        if (e.targetNamespace != entry.targetNamespace) continue;
        e = std::move(entry);
        return S_OK;
    }
    entries_.push_back(std::move(entry));
    return S_OK;
}

SchemaCollection* SchemaCollection::from(IUnknown* object) {
    void* self = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_SchemaCollectionSelf, &self)) || !self) return nullptr;
    auto* collection = static_cast<SchemaCollection*>(static_cast<IXMLDOMSchemaCollection2*>(self));
    collection->Release();  // borrowed: the caller's reference keeps it alive
    return collection;
}

xmlSchemaPtr SchemaCollection::schemaFor(xmlDocPtr doc) const {
    if (entries_.empty()) return nullptr;
    std::string wanted = doc ? rootNamespace(doc) : "";
    for (std::string const& ns : {wanted, std::string()})
        for (Entry const& e : entries_)
            if (e.targetNamespace == ns) return e.schema.get();
    return entries_.front().schema.get();
}

HRESULT SchemaCollection::validate(xmlDocPtr doc, std::wstring& reason, long& line) const {
    xmlSchemaPtr schema = doc ? schemaFor(doc) : nullptr;
    if (!schema) return E_FAIL;
    std::unique_ptr<xmlSchemaValidCtxt, decltype(&xmlSchemaFreeValidCtxt)> context(xmlSchemaNewValidCtxt(schema),
                                                                                   xmlSchemaFreeValidCtxt);
    if (!context) return E_OUTOFMEMORY;
    ErrorSink sink;
    xmlSchemaSetValidStructuredErrors(context.get(), ErrorSink::onStructured, &sink);
    int rc = xmlSchemaValidateDoc(context.get(), doc);
    if (rc == 0) return S_OK;
    if (rc < 0) return E_FAIL;
    reason = toWide(sink.first().empty() ? "The document is not valid against the schema." : sink.first().c_str());
    line = sink.firstLine();
    return S_FALSE;
}

HRESULT createSchemaCache(REFIID riid, void** out) { return createAs<SchemaCollection>(riid, out); }

// A DOM document is accepted too: its attached collection is used.
static SchemaCollection* collectionOf(IUnknown* object) {
    if (SchemaCollection* c = SchemaCollection::from(object)) return c;
    auto document = queryAs<IXMLDOMDocument2>(object, IID_IXMLDOMDocument2);
    if (!document) return nullptr;
    VARIANT attached;
    VariantInit(&attached);
    if (FAILED(document->get_schemas(&attached))) return nullptr;
    SchemaCollection* c = SchemaCollection::from(objectOf(attached));
    VariantClear(&attached);  // the document still holds the collection
    return c;
}

xmlSchemaPtr compiledSchemaOf(IUnknown* object) {
    SchemaCollection const* c = collectionOf(object);
    return c ? c->schemaFor(nullptr) : nullptr;
}

HRESULT validateWithCollection(IUnknown* collection, xmlDocPtr doc, std::wstring& reason, long& line) {
    SchemaCollection const* c = collectionOf(collection);
    if (!c) return E_INVALIDARG;
    return c->validate(doc, reason, line);
}

}  // namespace mx
