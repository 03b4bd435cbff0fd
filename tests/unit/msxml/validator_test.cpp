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
std::wstring schemaFor(wchar_t const* type) {
    return std::wstring(
               L"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='r'>"
               L"<xs:complexType><xs:sequence><xs:element name='n' type='xs:") +
           type + L"'/></xs:sequence></xs:complexType></xs:element></xs:schema>";
}

class ValidatorTest : public BackendTest {
protected:
    XmlSmartPtr<TrelXSDValidator> validatorFor(wchar_t const* type) {
        XmlSmartPtr<TrelDOMDocument> schema(factory()->createDocument());
        return schema->loadXML(schemaFor(type).c_str()) ? factory()->createXSDValidator(schema) : nullptr;
    }
};

IXMLDOMDocument3* engineOf(TrelDOMDocument const* document) {
    return dynamic_cast<MsxmlDOMDocument const*>(document)->getWrapped();
}

TEST_F(ValidatorTest, ValidDocumentsPassAndInvalidOnesGiveTheReason) {
    XmlSmartPtr<TrelXSDValidator> ints = validatorFor(L"int");
    ASSERT_TRUE(ints);
    auto good = parse(L"<r><n>5</n></r>");
    auto bad = parse(L"<r><n>five</n></r>");
    std::wstring errors = L"untouched";
    EXPECT_TRUE(ints->validateDocument(good, errors));
    EXPECT_FALSE(ints->validateDocument(nullptr, errors)) << "cannot run: the text is left alone";
    EXPECT_EQ(errors, L"untouched");
    EXPECT_FALSE(ints->validateDocument(bad, errors));
    EXPECT_NE(errors, L"untouched");
    EXPECT_FALSE(errors.empty());
    // The file form compiles the same schema.
    std::wstring const text = schemaFor(L"int");
    writeFile(dir() / "ints.xsd", std::string(text.begin(), text.end()));
    XmlSmartPtr<TrelXSDValidator> fromFile(factory()->createXSDValidator(file("ints.xsd").c_str()));
    ASSERT_TRUE(fromFile);
    EXPECT_FALSE(fromFile->validateDocument(bad, errors));
    EXPECT_TRUE(fromFile->validateDocument(good, errors));
}

// The fixture checks that no loading document was left alive.
TEST_F(ValidatorTest, SchemasThatDoNotCompileGiveNoValidator) {
    EXPECT_FALSE(validatorFor(L"nosuchtype"));
    EXPECT_EQ(factory()->createXSDValidator(parse(L"<r><n/></r>")), nullptr);
    EXPECT_EQ(factory()->createXSDValidator(static_cast<TrelDOMDocument const*>(nullptr)), nullptr);
    writeFile(dir() / "broken.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>");
    EXPECT_EQ(factory()->createXSDValidator(file("broken.xsd").c_str()), nullptr);
    EXPECT_EQ(factory()->createXSDValidator(file("missing.xsd").c_str()), nullptr);
}

// The document's own schema collection, as the engine reports it.
IDispatch* ownSchemas(TrelDOMDocument const* document) {
    Variant schemas;
    if (FAILED(engineOf(document)->get_schemas(schemas.put())) || schemas.get().vt != VT_DISPATCH) return nullptr;
    return schemas.get().pdispVal;  // the document keeps its own reference
}

TEST_F(ValidatorTest, EachValidatorUsesItsSchemaOnlyAndTheDocumentKeepsItsOwn) {
    auto document = parse(L"<r><n>5</n></r>");
    auto booleans = parse(schemaFor(L"boolean"));
    ASSERT_TRUE(document && booleans);
    // The document carries a schema of its own that rejects it.
    ComPtr<IXMLDOMSchemaCollection2> own(MsxmlFactory::getInstance()->createSchema());
    ASSERT_TRUE(own);
    BStr noNamespace(L"");
    Variant source, attach;
    source.setDispatch(engineOf(booleans));
    ASSERT_TRUE(SUCCEEDED(own->add(noNamespace.get(), source.get())));
    attach.setDispatch(own.get());
    ASSERT_TRUE(SUCCEEDED(engineOf(document)->putref_schemas(attach.get())));

    XmlSmartPtr<TrelXSDValidator> ints = validatorFor(L"int");
    XmlSmartPtr<TrelXSDValidator> strict = factory()->createXSDValidator(booleans);
    ASSERT_TRUE(ints && strict);
    std::wstring errors;
    EXPECT_TRUE(ints->validateDocument(document, errors)) << "the document's own schema took part";
    EXPECT_EQ(ownSchemas(document), own.get());
    EXPECT_FALSE(strict->validateDocument(document, errors));
    EXPECT_EQ(ownSchemas(document), own.get());
    EXPECT_TRUE(ints->validateDocument(document, errors)) << "the previous validator's schema stayed";
    ComPtr<IXMLDOMParseError> error;
    EXPECT_NE(engineOf(document)->validate(error.put()), S_OK) << "the document still validates against its own";
}

}  // namespace
}  // namespace msxmltest
