// Lifetimes: node objects keep their tree alive, detached nodes are freed
// with their last reference, nodes freed inside libxml2 leave dead objects
// rather than dangling ones. Leaks and use-after-free show under the
// sanitizer build.
#include <libxml/parser.h>

#include "dom_fixture.h"

using namespace domtest;

namespace {

TEST(Lifetime, NodesOutliveTheirDocumentObject) {
    ComPtr<IXMLDOMElement> root;
    ComPtr<IXMLDOMNode> text;
    {
        auto doc = parse(L"<r a='1'><c>x</c></r>");
        root = rootOf(doc.get());
        text = select(root.get(), L"c/text()");
    }
    EXPECT_EQ(L"r", nameOf(root.get()));
    EXPECT_EQ(L"x", textOf(text.get()));
    EXPECT_EQ(L"<r a=\"1\"><c>x</c></r>", xmlOf(root.get()));
    ComPtr<IXMLDOMDocument> owner;
    ASSERT_EQ(S_OK, root->get_ownerDocument(owner.put()));
    ComPtr<IXMLDOMNode> parent;
    text->get_parentNode(parent.put());
    EXPECT_EQ(L"c", nameOf(parent.get()));
}

TEST(Lifetime, OldNodesSurviveALoadIntoTheSameDocument) {
    auto doc = parse(L"<old><a/></old>");
    auto old = rootOf(doc.get());
    ASSERT_TRUE(loadXML(doc.get(), L"<new/>"));
    EXPECT_EQ(L"old", nameOf(old.get()));
    EXPECT_EQ(L"a", childNames(old.get()));
    EXPECT_EQ(L"new", nameOf(rootOf(doc.get()).get()));
}

TEST(Lifetime, SameNodeGivesTheSameObject) {
    auto doc = parse(L"<r><a/></r>");
    auto r = rootOf(doc.get());
    auto a1 = select(r.get(), L"a");
    ComPtr<IXMLDOMNode> a2;
    r->get_firstChild(a2.put());
    EXPECT_EQ(a1.get(), a2.get());
}

TEST(Lifetime, DetachedNodesAreFreedOrKeptByTheirHolders) {
    auto doc = newDocument();
    ComPtr<IXMLDOMText> orphanText;
    {
        ComPtr<IXMLDOMElement> e;
        doc->createElement(Arg(L"e"), e.put());
        ComPtr<IXMLDOMComment> c;
        doc->createComment(Arg(L"never inserted"), c.put());
        doc->createTextNode(Arg(L"kept"), orphanText.put());
        ComPtr<IXMLDOMNode> out;
        ASSERT_EQ(S_OK, e->appendChild(orphanText.get(), out.put()));
    }  // e is released while its child is still held: the subtree stays
    ComPtr<IXMLDOMNode> parent;
    ASSERT_EQ(S_OK, orphanText->get_parentNode(parent.put()));
    EXPECT_EQ(L"e", nameOf(parent.get()));
    auto r = parse(L"<r/>");
    ComPtr<IXMLDOMNode> moved;
    ASSERT_EQ(S_OK, rootOf(r.get())->appendChild(parent.get(), moved.put()));
    EXPECT_EQ(L"<r><e>kept</e></r>", xmlOf(rootOf(r.get()).get()));
}

TEST(Lifetime, RemovedNodesStayUsableWhileHeld) {
    auto doc = parse(L"<r><a><b>t</b></a></r>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMNode> a = select(r.get(), L"a"), removed;
    ASSERT_EQ(S_OK, r->removeChild(a.get(), removed.put()));
    ComPtr<IXMLDOMNode> parent;
    EXPECT_EQ(S_FALSE, a->get_parentNode(parent.put()));
    EXPECT_EQ(L"<a><b>t</b></a>", xmlOf(a.get()));
    EXPECT_EQ(L"<r/>", xmlOf(r.get()));
    ComPtr<IXMLDOMNode> out;
    EXPECT_TRUE(FAILED(r->removeChild(a.get(), out.put())));  // no longer a child
}

// An attribute value rewritten as a whole frees its old text nodes inside
// libxml2; an object still held for one of them must not dangle.
TEST(Lifetime, NodesFreedByLibxmlLeaveDeadObjects) {
    auto doc = parse(L"<r a='x'/>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMAttribute> a;
    r->getAttributeNode(Arg(L"a"), a.put());
    ComPtr<IXMLDOMNode> first, second, out;
    a->get_firstChild(first.put());
    doc->createTextNode(Arg(L"y"), reinterpret_cast<IXMLDOMText**>(second.put()));
    ASSERT_EQ(S_OK, a->appendChild(second.get(), out.put()));
    EXPECT_EQ(L"xy", textOf(a.get()));
    ASSERT_EQ(S_OK, r->setAttribute(Arg(L"a"), textVariant(Arg(L"z"))));
    EXPECT_EQ(L"z", textOf(a.get()));
    BSTR name = nullptr;
    EXPECT_EQ(E_FAIL, first->get_nodeName(&name));
    EXPECT_EQ(E_FAIL, second->get_nodeName(&name));
}

TEST(Lifetime, ManyShortLivedNodeObjects) {
    std::wstring text = L"<r>";
    for (int i = 0; i < 2000; ++i) text += L"<i>" + std::to_wstring(i) + L"</i>";
    text += L"</r>";
    auto doc = parse(text);
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMNodeList> list;
    r->get_childNodes(list.put());
    long n = 0;
    list->get_length(&n);
    ASSERT_EQ(2000, n);
    long sum = 0;
    for (long i = 0; i < n; ++i) {
        ComPtr<IXMLDOMNode> item;
        list->get_item(i, item.put());
        sum += std::stol(textOf(item.get()));
    }
    EXPECT_EQ(1999L * 2000 / 2, sum);
}

}  // namespace

// ---- bridges for the other parts of the engine ---------------------------------------
namespace {

TEST(Bridges, ReplaceDocumentLeavesOldNodesUsable) {
    auto doc = parse(L"<old><a/></old>");
    auto old = rootOf(doc.get());
    xmlDocPtr fresh = xmlReadMemory("<new><b/></new>", 15, nullptr, nullptr, 0);
    ASSERT_NE(nullptr, fresh);
    ASSERT_EQ(S_OK, mx::replaceDocument(doc.get(), fresh));
    EXPECT_EQ(fresh, mx::engineDocOf(doc.get()));
    EXPECT_EQ(L"new", nameOf(rootOf(doc.get()).get()));
    EXPECT_EQ(L"<old><a/></old>", xmlOf(old.get()));
    xmlNodePtr oldNode = mx::engineNodeOf(old.get());
    ASSERT_NE(nullptr, oldNode);
    EXPECT_NE(fresh, oldNode->doc);
    // Something that is not a document takes nothing, but the document handed
    // over is still freed (ownership passes either way).
    EXPECT_EQ(E_INVALIDARG, mx::replaceDocument(old.get(), xmlNewDoc(BAD_CAST "1.0")));
}

TEST(Bridges, EveryDomObjectAnswersTheEngineInterface) {
    auto doc = parse(L"<r xmlns:p='urn:p' a='1'>t<!--c--></r>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(reinterpret_cast<xmlNodePtr>(mx::engineDocOf(doc.get())), mx::engineNodeOf(doc.get()));
    for (auto const& path : {L"@a", L"text()", L"comment()"}) {
        auto node = select(r.get(), path);
        ASSERT_TRUE(node);
        xmlNodePtr n = mx::engineNodeOf(node.get());
        ASSERT_NE(nullptr, n);
        EXPECT_EQ(mx::engineDocOf(doc.get()), n->doc);
    }
    EXPECT_EQ(nullptr, mx::engineNodeOf(nullptr));
}

TEST(Validate, NeedsSomethingToValidateAgainst) {
    auto doc = parse(L"<r/>");
    ComPtr<IXMLDOMParseError> error;
    EXPECT_EQ(S_FALSE, doc->validate(error.put()));
    long code = 0;
    error->get_errorCode(&code);
    EXPECT_NE(0, code);
    BSTR reason = nullptr;
    error->get_reason(&reason);
    EXPECT_FALSE(take(reason).empty());
    VARIANT schemas;
    EXPECT_EQ(S_FALSE, doc->get_schemas(&schemas));
    EXPECT_EQ(VT_NULL, schemas.vt);
    // A DTD is used when there is one.
    auto withDtd = parse(L"<!DOCTYPE r [<!ELEMENT r EMPTY>]><r/>");
    EXPECT_EQ(S_OK, withDtd->validate(error.put()));
    auto invalid = parse(L"<!DOCTYPE r [<!ELEMENT r EMPTY>]><r><x/></r>");
    EXPECT_EQ(S_FALSE, invalid->validate(error.put()));
}

TEST(Validate, AttachedSchemasDecideAndAreGivenBack) {
    ComPtr<IXMLDOMSchemaCollection2> schemas;
    if (FAILED(mx::createSchemaCache(IID_IXMLDOMSchemaCollection2, reinterpret_cast<void**>(schemas.put()))))
        GTEST_SKIP() << "no schema collections in this build";
    auto xsd = parse(
        L"<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='r'><xs:complexType>"
        L"<xs:attribute name='v' type='xs:boolean' use='required'/></xs:complexType></xs:element></xs:schema>");
    ASSERT_EQ(S_OK, schemas->add(Arg(L""), objectVariant(xsd.get(), VT_DISPATCH)));
    auto doc = parse(L"<r v='maybe'/>");
    ASSERT_EQ(S_OK, doc->putref_schemas(objectVariant(schemas.get(), VT_DISPATCH)));
    VARIANT attached;
    ASSERT_EQ(S_OK, doc->get_schemas(&attached));
    EXPECT_EQ(VT_DISPATCH, attached.vt);
    VariantClear(&attached);
    ComPtr<IXMLDOMParseError> error;
    EXPECT_EQ(S_FALSE, doc->validate(error.put()));
    BSTR reason = nullptr;
    error->get_reason(&reason);
    EXPECT_NE(std::wstring::npos, take(reason).find(L"'maybe' is not a valid value"));
    // validateOnParse with schemas: an invalid document does not load.
    doc->put_validateOnParse(VARIANT_TRUE);
    EXPECT_FALSE(loadXML(doc.get(), L"<r/>"));
    EXPECT_TRUE(loadXML(doc.get(), L"<r v='true'/>"));
    VARIANT none;
    VariantInit(&none);
    none.vt = VT_NULL;
    EXPECT_EQ(S_OK, doc->putref_schemas(none));
    EXPECT_EQ(S_FALSE, doc->get_schemas(&attached));
}

}  // namespace
