// Schema collections: what add accepts and refuses, and validation through a
// DOM document and through the engine bridge.
#include "fixture.h"
#include "platform/msxml6/engine.h"

using namespace xt;

namespace {

std::wstring schemaText(std::wstring const& rootContent, std::wstring const& targetNamespace = L"") {
    std::wstring target = targetNamespace.empty()
                              ? L""
                              : L" targetNamespace='" + targetNamespace + L"' xmlns='" + targetNamespace +
                                    L"' elementFormDefault='qualified'";
    return L"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'" + target +
           L">\n  <!-- a comment the compiler would prune -->\n  <xs:element name='r'><xs:complexType>" + rootContent +
           L"</xs:complexType></xs:element>\n</xs:schema>";
}

std::wstring const kSchemaA =
    schemaText(L"<xs:sequence><xs:element name='a' type='xs:int' maxOccurs='unbounded'/></xs:sequence>"
               L"<xs:attribute name='v' type='xs:boolean' use='required'/>");
std::wstring const kSchemaB = schemaText(L"<xs:sequence><xs:element name='b' type='xs:string'/></xs:sequence>");

ComRef<IXMLDOMSchemaCollection2> newCollection() {
    return create<IXMLDOMSchemaCollection2>(CLSID_XMLSchemaCache60, IID_IXMLDOMSchemaCollection2);
}

HRESULT addDocument(IXMLDOMSchemaCollection2* collection, std::wstring const& text, std::wstring const& ns = L"") {
    auto doc = parse(text);
    if (!doc) return E_FAIL;
    return collection->add(bstr(ns).get(), objectVariant(doc.get()));
}

ComRef<IXMLDOMSchemaCollection2> collectionOf(std::wstring const& text) {
    auto collection = newCollection();
    if (!collection || FAILED(addDocument(collection.get(), text))) {
        ADD_FAILURE() << "schema refused";
        return {};
    }
    return collection;
}

long lengthOf(IXMLDOMSchemaCollection2* collection) {
    long n = -1;
    collection->get_length(&n);
    return n;
}

struct Outcome {
    HRESULT hr;
    std::wstring reason;
};

// Validation as the module does it: attach the collection, validate, read the reason.
Outcome validateThroughDocument(IXMLDOMDocument3* doc, IXMLDOMSchemaCollection2* collection) {
    if (FAILED(doc->putref_schemas(objectVariant(collection)))) return {E_FAIL, L"<not attached>"};
    ComRef<IXMLDOMParseError> error;
    HRESULT hr = doc->validate(error.put());
    std::wstring reason;
    if (hr != S_OK && error) {
        BSTR text = nullptr;
        error->get_reason(&text);
        BstrPtr owned(text);
        reason.assign(text ? text : L"", SysStringLen(text));
    }
    return {hr, reason};
}

Outcome validateThroughBridge(IXMLDOMDocument3* doc, IUnknown* collection, long* line = nullptr) {
    Outcome out{E_FAIL, L""};
    long at = -1;
    out.hr = mx::validateWithCollection(collection, mx::engineDocOf(doc), out.reason, at);
    if (line) *line = at;
    return out;
}

}  // namespace

// ---- validation -----------------------------------------------------------------

TEST(SchemaValidation, ValidAndInvalidDocumentsWithTheValidatorsReason) {
    auto collection = collectionOf(kSchemaA);
    ASSERT_TRUE(collection);
    struct Case {
        wchar_t const* document;
        wchar_t const* reasonPart;  // null: valid
    } const cases[] = {
        {L"<r v='true'><a>1</a><a>2</a></r>", nullptr},
        {L"<r v='maybe'><a>1</a></r>", L"'maybe' is not a valid value of the atomic type 'xs:boolean'"},
        {L"<r><a>1</a></r>", L"The attribute 'v' is required but missing"},
        {L"<r v='1'><a>1</a><c/></r>", L"Element 'c': This element is not expected"},
        {L"<r v='1'><a>x</a></r>", L"'x' is not a valid value of the atomic type 'xs:int'"},
        {L"<other/>", L"No matching global declaration available for the validation root"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.document, c.document + wcslen(c.document)));
        auto doc = parse(c.document);
        ASSERT_TRUE(doc);
        for (Outcome const& o : {validateThroughDocument(doc.get(), collection.get()),
                                 validateThroughBridge(doc.get(), collection.get())}) {
            if (!c.reasonPart) {
                EXPECT_EQ(o.hr, S_OK);
                continue;
            }
            EXPECT_EQ(o.hr, S_FALSE);
            EXPECT_NE(o.reason.find(c.reasonPart), std::wstring::npos) << std::string(o.reason.begin(), o.reason.end());
            EXPECT_NE(o.reason.back(), L'\n');
        }
    }
}

TEST(SchemaValidation, ReasonComesWithTheLineOfTheFirstProblem) {
    auto collection = collectionOf(kSchemaA);
    auto doc = parse(L"<r v='true'>\n<a>1</a>\n<a>oops</a>\n<a>again</a></r>");
    ASSERT_TRUE(collection && doc);
    long line = 0;
    Outcome o = validateThroughBridge(doc.get(), collection.get(), &line);
    EXPECT_EQ(o.hr, S_FALSE);
    EXPECT_NE(o.reason.find(L"'oops'"), std::wstring::npos) << "the first problem, not the last";
    EXPECT_EQ(line, 3);
}

TEST(SchemaValidation, EachCollectionUsesItsOwnSchema) {
    auto a = collectionOf(kSchemaA);
    auto b = collectionOf(kSchemaB);
    auto doc = parse(L"<r v='false'><a>5</a></r>");
    ASSERT_TRUE(a && b && doc);
    EXPECT_EQ(validateThroughDocument(doc.get(), a.get()).hr, S_OK);
    EXPECT_EQ(validateThroughDocument(doc.get(), b.get()).hr, S_FALSE);
    EXPECT_EQ(validateThroughDocument(doc.get(), a.get()).hr, S_OK);
    // The bridge takes the collection attached to a document as well.
    EXPECT_EQ(validateThroughBridge(doc.get(), doc.get()).hr, S_OK);
    EXPECT_EQ(validateThroughBridge(doc.get(), b.get()).hr, S_FALSE);
    EXPECT_NE(mx::compiledSchemaOf(a.get()), mx::compiledSchemaOf(b.get()));
    EXPECT_EQ(mx::compiledSchemaOf(doc.get()), mx::compiledSchemaOf(a.get()));
}

TEST(SchemaValidation, RootNamespaceChoosesTheSchema) {
    auto collection = newCollection();
    ASSERT_TRUE(collection);
    ASSERT_EQ(addDocument(collection.get(),
                          schemaText(L"<xs:sequence><xs:element name='a' type='xs:int'/></xs:sequence>", L"urn:a"),
                          L"urn:a"),
              S_OK);
    ASSERT_EQ(addDocument(collection.get(), schemaText(L"<xs:sequence><xs:element name='b' type='xs:int'/></xs:sequence>",
                                                       L"urn:b")),
              S_OK)
        << "an empty namespace argument takes the schema's own";
    EXPECT_EQ(lengthOf(collection.get()), 2);

    auto inA = parse(L"<r xmlns='urn:a'><a>1</a></r>");
    auto inB = parse(L"<r xmlns='urn:b'><b>2</b></r>");
    auto wrongB = parse(L"<r xmlns='urn:b'><a>1</a></r>");
    ASSERT_TRUE(inA && inB && wrongB);
    EXPECT_EQ(validateThroughBridge(inA.get(), collection.get()).hr, S_OK);
    EXPECT_EQ(validateThroughBridge(inB.get(), collection.get()).hr, S_OK);
    EXPECT_EQ(validateThroughBridge(wrongB.get(), collection.get()).hr, S_FALSE);
}

// ---- what add accepts -----------------------------------------------------------

TEST(SchemaAdd, RefusedSchemasLeaveTheCollectionAsItWas) {
    auto collection = collectionOf(kSchemaA);
    ASSERT_TRUE(collection);
    std::wstring const refused[] = {
        schemaText(L"<xs:attribute name='v' type='nope'/>"),                 // unresolved type
        L"<notaschema/>",                                                     // not a schema at all
        schemaText(L"<xs:sequence><xs:element ref='missing'/></xs:sequence>"),  // dangling reference
    };
    for (std::wstring const& text : refused) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_TRUE(FAILED(addDocument(collection.get(), text)));
    }
    EXPECT_TRUE(FAILED(addDocument(collection.get(), kSchemaB, L"urn:not-its-namespace")));
    VARIANT nothing;
    VariantInit(&nothing);
    EXPECT_TRUE(FAILED(collection->add(bstr(L"").get(), nothing)));

    EXPECT_EQ(lengthOf(collection.get()), 1);
    auto doc = parse(L"<r v='true'><a>1</a></r>");
    EXPECT_EQ(validateThroughDocument(doc.get(), collection.get()).hr, S_OK) << "still the first schema";
}

TEST(SchemaAdd, SameNamespaceReplacesTheEarlierSchema) {
    auto collection = collectionOf(kSchemaA);
    ASSERT_TRUE(collection);
    ASSERT_EQ(addDocument(collection.get(), kSchemaB), S_OK);
    EXPECT_EQ(lengthOf(collection.get()), 1);
    auto doc = parse(L"<r><b>x</b></r>");
    EXPECT_EQ(validateThroughDocument(doc.get(), collection.get()).hr, S_OK);
}

TEST(SchemaAdd, SchemaFromAFilePath) {
    TempDir dir;
    std::wstring text = kSchemaB;
    writeBytes(dir / "b.xsd", std::string(text.begin(), text.end()));
    auto collection = newCollection();
    ASSERT_TRUE(collection);
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString((dir / "b.xsd").wstring().c_str());
    EXPECT_EQ(collection->add(bstr(L"").get(), path), S_OK);
    VariantClear(&path);

    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString((dir / "missing.xsd").wstring().c_str());
    EXPECT_TRUE(FAILED(collection->add(bstr(L"").get(), path)));
    VariantClear(&path);

    EXPECT_EQ(lengthOf(collection.get()), 1);
    auto doc = parse(L"<r><b>x</b></r>");
    EXPECT_EQ(validateThroughDocument(doc.get(), collection.get()).hr, S_OK);
}

TEST(SchemaAdd, SchemaDocumentIsNotChangedByCompiling) {
    auto schema = parse(kSchemaA);
    auto collection = newCollection();
    ASSERT_TRUE(schema && collection);
    std::wstring before = xmlOf(schema.get());
    ASSERT_EQ(collection->add(bstr(L"").get(), objectVariant(schema.get())), S_OK);
    EXPECT_EQ(xmlOf(schema.get()), before);
    schema.reset();  // the compiled schema does not depend on the caller's document
    auto doc = parse(L"<r v='0'><a>1</a></r>");
    EXPECT_EQ(validateThroughDocument(doc.get(), collection.get()).hr, S_OK);
}

TEST(SchemaAdd, EmptyCollectionValidatesNothing) {
    auto collection = newCollection();
    auto doc = parse(L"<r/>");
    ASSERT_TRUE(collection && doc);
    EXPECT_EQ(lengthOf(collection.get()), 0);
    EXPECT_EQ(mx::compiledSchemaOf(collection.get()), nullptr);
    EXPECT_TRUE(FAILED(validateThroughBridge(doc.get(), collection.get()).hr));
    EXPECT_EQ(mx::compiledSchemaOf(doc.get()), nullptr) << "no collection attached";
}
