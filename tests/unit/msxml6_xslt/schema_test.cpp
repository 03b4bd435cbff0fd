// Schema collections: the validator's own reason through a document, and
// each collection with its own compiled schema. (That a document's own
// collection comes back after a validator ran is the object model's test.)
#include "tests/unit/common/engine_objects.h"

using namespace enginetest;

namespace {

ComPtr<IXMLDOMSchemaCollection2> collectionOf(std::wstring const& rootContent) {
    auto schema = parse(
        L"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>\n  <!-- a comment the compiler would "
        L"prune -->\n  <xs:element name='r'><xs:complexType>" +
        rootContent + L"</xs:complexType></xs:element>\n</xs:schema>");
    auto collection = create<IXMLDOMSchemaCollection2>(CLSID_XMLSchemaCache60, IID_IXMLDOMSchemaCollection2);
    EXPECT_TRUE(schema && SUCCEEDED(collection->add(Arg(L""), objectVariant(schema.get())))) << "schema refused";
    return collection;
}

// Validation as the module does it: attach the collection, validate, read
// the reason ("" when valid).
std::wstring reasonOf(IXMLDOMDocument3* doc, IXMLDOMSchemaCollection2* collection) {
    ComPtr<IXMLDOMParseError> error;
    if (FAILED(doc->putref_schemas(objectVariant(collection)))) return L"<not attached>";
    HRESULT const hr = doc->validate(error.put());
    BSTR text = nullptr;
    if (hr == S_OK) return L"";
    if (hr != S_FALSE || !error || FAILED(error->get_reason(&text))) return L"<no reason>";
    return take(text);
}

}  // namespace

TEST(SchemaValidation, ReasonsAreTheValidatorsAndEachCollectionUsesItsOwnSchema) {
    auto a = collectionOf(
        L"<xs:sequence><xs:element name='a' type='xs:int' maxOccurs='unbounded'/></xs:sequence>"
        L"<xs:attribute name='v' type='xs:boolean' use='required'/>");
    auto b = collectionOf(L"<xs:sequence><xs:element name='b' type='xs:string'/></xs:sequence>");
    std::pair<wchar_t const*, wchar_t const*> const cases[] = {
        {L"<r v='true'><a>1</a><a>2</a></r>", L""},
        {L"<r v='maybe'><a>1</a></r>", L"'maybe' is not a valid value of the atomic type 'xs:boolean'"},
        {L"<r><a>1</a></r>", L"The attribute 'v' is required but missing"},
        {L"<r v='1'><a>1</a><c/></r>", L"Element 'c': This element is not expected"},
        {L"<r v='1'><a>x</a></r>", L"'x' is not a valid value of the atomic type 'xs:int'"},
        {L"<other/>", L"No matching global declaration available for the validation root"},
    };
    for (auto [text, reasonPart] : cases) {
        auto doc = parse(text);
        ASSERT_TRUE(doc);
        std::wstring const reason = reasonOf(doc.get(), a.get());
        EXPECT_NE(reason.find(reasonPart), std::wstring::npos) << mx::toUtf8(reason.c_str());
        EXPECT_TRUE(*reasonPart ? reason.back() != L'\n' : reason.empty()) << mx::toUtf8(text);
    }
    auto doc = parse(L"<r v='false'><a>5</a></r>");
    EXPECT_NE(reasonOf(doc.get(), b.get()), L"");
    EXPECT_EQ(reasonOf(doc.get(), a.get()), L"");
    EXPECT_NE(mx::compiledSchemaOf(a.get()), mx::compiledSchemaOf(b.get()));
    EXPECT_EQ(mx::compiledSchemaOf(doc.get()), mx::compiledSchemaOf(a.get()));
}
