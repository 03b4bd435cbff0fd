// IXMLDOMSchemaCollection2 over libxml2's XSD validator.
//
// One compiled schema per target namespace. A document is validated against
// the schema of its root element's namespace (falling back to the no-namespace
// schema, then to the first added, which then reports that it has no
// declaration for the root). Components of other namespaces are found through
// the schema's own xs:import; schemas are never combined behind the caller's
// back.
#pragma once

#include <libxml/xmlschemas.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/msxml6/xslt_common.h"

namespace mx {

struct XmlSchemaFree {
    void operator()(xmlSchema* s) const { xmlSchemaFree(s); }
};
using SchemaPtr = std::unique_ptr<xmlSchema, XmlSchemaFree>;

// Answered only by SchemaCollection: QueryInterface gives the object itself.
inline constexpr IID IID_SchemaCollectionSelf = {
    0x51c1a7e0, 0x3b1d, 0x4c52, {0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x05}};

class SchemaCollection final : public IXMLDOMSchemaCollection2, private RefCounted {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    // namespaceURI may be empty (the schema's targetNamespace is used) or
    // must equal the targetNamespace. A schema for a namespace already
    // present replaces it. Any failure leaves the collection as it was.
    HRESULT add(BSTR namespaceURI, VARIANT schema) override;

    // The collection behind `object`, borrowed (the caller keeps `object`).
    static SchemaCollection* from(IUnknown* object);

    xmlSchemaPtr schemaFor(xmlDocPtr doc) const;  // null when empty
    // S_OK valid; S_FALSE invalid with the validator's first message; a
    // failure when validation could not run.
    HRESULT validate(xmlDocPtr doc, std::wstring& reason, long& line) const;

private:
    struct Entry {
        std::string targetNamespace;
        DocPtr source;     // the private copy the schema was compiled from
        SchemaPtr schema;  // declared last: freed before its source
    };

    std::vector<Entry> entries_;
};

}  // namespace mx
