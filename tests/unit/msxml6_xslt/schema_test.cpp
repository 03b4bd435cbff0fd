// Schema collections: validation through a DOM document and through the
// engine bridge.
#include "fixture.h"

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

ComPtr<IXMLDOMSchemaCollection2> newCollection() {
    return create<IXMLDOMSchemaCollection2>(CLSID_XMLSchemaCache60, IID_IXMLDOMSchemaCollection2);
}

HRESULT addDocument(IXMLDOMSchemaCollection2* collection, std::wstring const& text, std::wstring const& ns = L"") {
    auto doc = parse(text);
    if (!doc) return E_FAIL;
    return collection->add(Arg(ns), objectVariant(doc.get()));
}

ComPtr<IXMLDOMSchemaCollection2> collectionOf(std::wstring const& text) {
    auto collection = newCollection();
    if (!collection || FAILED(addDocument(collection.get(), text))) {
        ADD_FAILURE() << "schema refused";
        return {};
    }
    return collection;
}

struct Outcome {
    HRESULT hr;
    std::wstring reason;
};

// Validation as the module does it: attach the collection, validate, read the reason.
Outcome validateThroughDocument(IXMLDOMDocument3* doc, IXMLDOMSchemaCollection2* collection) {
    if (FAILED(doc->putref_schemas(objectVariant(collection)))) return {E_FAIL, L"<not attached>"};
    ComPtr<IXMLDOMParseError> error;
    HRESULT hr = doc->validate(error.put());
    std::wstring reason;
    if (hr != S_OK && error) {
        BSTR text = nullptr;
        error->get_reason(&text);
        reason = take(text);
    }
    return {hr, reason};
}

Outcome validateThroughBridge(IXMLDOMDocument3* doc, IUnknown* collection) {
    Outcome out{E_FAIL, L""};
    long line = -1;
    out.hr = mx::validateWithCollection(collection, mx::engineDocOf(doc), out.reason, line);
    return out;
}

}  // namespace

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

