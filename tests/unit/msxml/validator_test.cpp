// Schema validators over the engine: verdicts, schemas that do not compile,
// and the document's own schemas put back after each validation.
#include "model/TrelXSDValidator.h"
#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMDocument.h"
#include "msxml/MsxmlFactory.h"
#include "support.h"

namespace msxmltest {
namespace {

// A schema whose root r holds one child n of the given built-in type.
std::wstring schemaFor(std::wstring const& type) {
    return L"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='r'><xs:complexType>"
           L"<xs:sequence><xs:element name='n' type='xs:" +
           type + L"'/></xs:sequence></xs:complexType></xs:element></xs:schema>";
}

class ValidatorTest : public BackendTest {
protected:
    XmlSmartPtr<TrelXSDValidator> validatorFor(wchar_t const* type) {
        XmlSmartPtr<TrelDOMDocument> schema(factory()->createDocument());
        return schema->loadXML(schemaFor(type).c_str()) ? factory()->createXSDValidator(schema) : nullptr;
    }
};

// Compiled from a document or a file; a validation that cannot run leaves
// the error text alone. The fixture checks that no loading document lives on.
TEST_F(ValidatorTest, VerdictsAndSchemasThatDoNotCompile) {
    std::wstring const text = schemaFor(L"int");
    writeFile(dir() / "ints.xsd", std::string(text.begin(), text.end()));
    auto good = parse(L"<r><n>5</n></r>"), bad = parse(L"<r><n>five</n></r>");
    for (XmlSmartPtr<TrelXSDValidator> ints :
         {validatorFor(L"int"),
          XmlSmartPtr<TrelXSDValidator>(factory()->createXSDValidator(file("ints.xsd").c_str()))}) {
        ASSERT_TRUE(ints);
        std::wstring errors = L"untouched";
        EXPECT_TRUE(ints->validateDocument(good, errors));
        EXPECT_FALSE(ints->validateDocument(nullptr, errors));
        EXPECT_EQ(errors, L"untouched");
        EXPECT_FALSE(ints->validateDocument(bad, errors));
        EXPECT_TRUE(errors != L"untouched" && !errors.empty());
    }
    writeFile(dir() / "broken.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>");
    EXPECT_FALSE(validatorFor(L"nosuchtype") || factory()->createXSDValidator(parse(L"<r><n/></r>")) ||
                 factory()->createXSDValidator(static_cast<TrelDOMDocument const*>(nullptr)) ||
                 factory()->createXSDValidator(file("broken.xsd").c_str()) ||
                 factory()->createXSDValidator(file("missing.xsd").c_str()));
}

// The document's own schema collection, as the engine reports it.
IDispatch* ownSchemas(TrelDOMDocument const* document) {
    Variant schemas;
    if (FAILED(MsxmlDOMDocument::engineOf(document)->get_schemas(schemas.put())) || schemas.get().vt != VT_DISPATCH)
        return nullptr;
    return schemas.get().pdispVal;  // the document keeps its own reference
}

TEST_F(ValidatorTest, EachValidatorUsesItsSchemaOnlyAndTheDocumentKeepsItsOwn) {
    auto document = parse(L"<r><n>5</n></r>");
    auto booleans = parse(schemaFor(L"boolean"));
    IXMLDOMDocument3* engine = MsxmlDOMDocument::engineOf(document);
    // The document carries a schema of its own that rejects it.
    ComPtr<IXMLDOMSchemaCollection2> own(MsxmlFactory::getInstance()->createSchema());
    ASSERT_TRUE(own);
    BStr noNamespace(L"");
    Variant source, attach;
    source.setDispatch(MsxmlDOMDocument::engineOf(booleans));
    attach.setDispatch(own.get());
    ASSERT_TRUE(SUCCEEDED(own->add(noNamespace.get(), source.get())) &&
                SUCCEEDED(engine->putref_schemas(attach.get())));
    XmlSmartPtr<TrelXSDValidator> ints = validatorFor(L"int");
    XmlSmartPtr<TrelXSDValidator> strict = factory()->createXSDValidator(booleans);
    ASSERT_TRUE(ints && strict);
    std::wstring errors;
    for (bool verdict : {true, false, true}) {  // the previous validator's schema stays out
        EXPECT_EQ((verdict ? ints : strict)->validateDocument(document, errors), verdict);
        EXPECT_EQ(ownSchemas(document), own.get());
    }
    ComPtr<IXMLDOMParseError> error;
    EXPECT_NE(engine->validate(error.put()), S_OK) << "the document still validates against its own";
}

}  // namespace
}  // namespace msxmltest
