// Document wrappers: building trees, declarations and comments, plain
// nodes, saving and loading.
#include "msxml/MsxmlDOMNode.h"
#include "support.h"

namespace msxmltest {
namespace {

class DocumentTest : public BackendTest {};

TEST_F(DocumentTest, NamespacedElementsTakeTheNameFirstAndKeepTheirNamespaceWhenSaved) {
    auto doc = newDocument();
    XmlSmartPtr<TrelDOMElement> root(doc->createElementNS(L"q:model", L"urn:q"));
    ASSERT_TRUE(root);
    EXPECT_EQ(str(root->getTag()) + str(root->getNamespace()), L"q:modelurn:q");
    EXPECT_EQ(root->getParent(), nullptr) << "made detached";
    XmlSmartPtr<TrelDOMElement> swapped(doc->createElementNS(L"urn:q", L"q:model"));
    EXPECT_TRUE(!swapped || str(swapped->getTag()) != L"q:model");
    XmlSmartPtr<TrelDOMElement> part(doc->createElementNS(L"part", L"urn:p", L"text"));
    XmlSmartPtr<TrelDOMElement> plain(doc->createElementNS(L"plain", nullptr));
    ASSERT_TRUE(part && plain);
    EXPECT_EQ(str(plain->getNamespace()), L"(null)");
    ASSERT_TRUE(root->addChild(part) && root->addChild(plain) && doc->setRoot(root));
    // The namespaces survive a round trip through text.
    auto again = parse(flat(doc));
    ASSERT_TRUE(again) << flat(doc);
    auto back = rootOf(again);
    XmlSmartPtr<TrelDOMElement> first(back->getFirstChild());
    EXPECT_EQ(str(back->getNamespace()) + L"|" + str(first->getNamespace()) + L"|" + str(first->getText()) + L"|" +
                  str(at(back, L"*[2]")->getNamespace()),
              L"urn:q|urn:p|text|(null)")
        << flat(doc);
}

TEST_F(DocumentTest, SetRootTakesOnlyTheFirstRoot) {
    auto doc = newDocument();
    EXPECT_FALSE(doc->setRoot(nullptr));
    EXPECT_EQ(doc->getRoot(), nullptr);
    XmlSmartPtr<TrelDOMElement> first(doc->createElement(L"first"));
    XmlSmartPtr<TrelDOMElement> second(doc->createElement(L"second"));
    ASSERT_TRUE(doc->setRoot(first));
    EXPECT_FALSE(doc->setRoot(second));
    EXPECT_FALSE(doc->setRoot(nullptr));
    EXPECT_EQ(str(rootOf(doc)->getTag()), L"first");
    EXPECT_EQ(flat(doc).find(L"second"), std::wstring::npos);
}

TEST_F(DocumentTest, ParentIsTheEnclosingElementOnly) {
    auto doc = parse(L"<r a='1'><c><g/></c></r>");
    auto root = rootOf(doc);
    EXPECT_EQ(root->getParent(), nullptr) << "the document is no element";
    EXPECT_EQ(nodeAt(root, L"@a")->getParent(), nullptr);
    auto grandchild = at(root, L"c/g");
    XmlSmartPtr<TrelDOMElement> parent(grandchild->getParent());
    ASSERT_TRUE(parent);
    XmlSmartPtr<TrelDOMElement> top(parent->getParent());
    ASSERT_TRUE(top);
    EXPECT_EQ(str(parent->getTag()) + str(top->getTag()), L"cr");
    EXPECT_EQ(top->getParent(), nullptr);
    ASSERT_TRUE(root->addChild(grandchild));  // a move changes the parent
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(grandchild->getParent())->getTag()), L"r");
}

// The declaration comes out first and decides the encoding of a flat save.
TEST_F(DocumentTest, DeclarationAndCommentsGoWhereTheyAreAdded) {
    auto doc = newDocument();
    ASSERT_TRUE(doc->addXMLDeclaration(XmlEncoding::UTF16));
    XmlSmartPtr<TrelDOMElement> root(doc->createElement(L"r"));
    ASSERT_TRUE(doc->setRoot(root) && doc->addComment(L"after"));
    std::wstring const text = flat(doc);
    EXPECT_EQ(text.rfind(L"<?xml version=\"1.0\"", 0), 0u) << text;
    ASSERT_NE(text.find(L"<!--after-->"), std::wstring::npos) << text;
    EXPECT_LT(text.find(L"<r/>"), text.find(L"<!--after-->")) << text;

    ASSERT_TRUE(doc->save(file("decl.xml").c_str(), XmlEncoding::UTF8, false));
    EXPECT_NE(readFile(dir() / "decl.xml").find(std::string("e\0n\0c\0o\0d\0i\0n\0g\0", 16)), std::string::npos)
        << "UTF-16 output";
    XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(file("decl.xml").c_str()));
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(str(rootOf(reloaded)->getTag()), L"r");
    // Without a declaration the argument does not decide either: UTF-8.
    auto plain = parse(L"<r>\u00e9</r>");
    ASSERT_TRUE(plain->save(file("flat.xml").c_str(), XmlEncoding::UTF16, false));
    EXPECT_NE(readFile(dir() / "flat.xml").find("<r>\xc3\xa9</r>"), std::string::npos);
}

// What tends to break on the way out and back in: namespaces (default and
// prefixed), escaping, non-ASCII and non-BMP text, empty elements, comments,
// leading and trailing blanks in text.
TEST_F(DocumentTest, FilesRoundTripInBothEncodingsIndentedOrNot) {
    auto original = parse(
        L"<model xmlns='urn:m' xmlns:q='urn:q' version='2'>"
        L"<header name='caf\u00e9 &amp; &lt;bar&gt;' q:id='\U0001F600'><description>  spaced text  </description>"
        L"<note>a &amp; b &lt; c &gt; d \"quoted\" 'single'</note></header><!-- a comment -->"
        L"<q:meta><q:item k=''/><q:item k='tab\tnl'/></q:meta>"
        L"<part id='1'><label>\u65e5\u672c\u8a9e</label><empty/></part></model>");
    ASSERT_TRUE(original);
    std::wstring const expected = describe(rootOf(original));
    for (XmlEncoding const* encoding : {&XmlEncoding::UTF8, &XmlEncoding::UTF16})
        for (bool indent : {false, true}) {
            SCOPED_TRACE(std::wstring(encoding->toString()) + (indent ? L" indented" : L" flat"));
            std::wstring const path = file(indent ? "indented.xml" : "flat.xml");
            ASSERT_TRUE(original->save(path.c_str(), *encoding, indent));
            XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(path.c_str()));
            ASSERT_TRUE(reloaded);
            EXPECT_EQ(describe(rootOf(reloaded)), expected);
        }
}

// Plain node wrappers (text, comments) read as elements and attributes do.
TEST_F(DocumentTest, TextHasAValueCommentsHaveNone) {
    auto doc = parse(L"<r><e>t\u00e9xt</e><!--c--></r>");
    auto root = rootOf(doc);
    auto text = nodeAt(root, L"e/text()");
    auto comment = nodeAt(root, L"comment()");
    auto const* plainText = dynamic_cast<MsxmlDOMNode const*>(static_cast<TrelDOMNode*>(text));
    auto const* plainComment = dynamic_cast<MsxmlDOMNode const*>(static_cast<TrelDOMNode*>(comment));
    ASSERT_TRUE(plainText && plainComment);
    EXPECT_EQ(str(plainText->getValue()), L"t\u00e9xt");
    EXPECT_EQ(plainText->getValue(), at(root, L"e")->getText()) << "one interned copy";
    EXPECT_TRUE(plainText->valueEquals(L"t\u00e9xt"));
    EXPECT_FALSE(plainText->valueEquals(L"text"));
    EXPECT_EQ(str(plainComment->getValue()), L"(null)");

    ASSERT_TRUE(at(root, L"e")->addComment(L"note"));
    auto added = nodeAt(root, L"e/comment()");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->getType(), 8);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMNode>(doc->selectNode(L"/"))) << "the document is no node of its own tree";
    EXPECT_FALSE(nodeAt(root, L".."));
}

}  // namespace
}  // namespace msxmltest
