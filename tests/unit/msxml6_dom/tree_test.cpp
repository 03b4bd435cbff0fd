// Editing: appending and moving (also across documents), the DOM's refusals,
// attributes, XPath selection, the XML declaration as a processing instruction.
#include "dom_fixture.h"

using namespace domtest;

namespace {

ComPtr<IXMLDOMNode> append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComPtr<IXMLDOMNode> out;
    parent->appendChild(child, out.put());
    return out;
}

ComPtr<IXMLDOMElement> create(IXMLDOMDocument3* doc, std::wstring const& name, std::wstring const& uri = L"") {
    ComPtr<IXMLDOMNode> node;
    Arg n(name), u(uri);
    EXPECT_EQ(S_OK, doc->createNode(intVariant(NODE_ELEMENT), n, uri.empty() ? nullptr : u.b, node.put()));
    return query<IXMLDOMElement>(node, IID_IXMLDOMElement);
}

std::wstring attribute(IXMLDOMElement* e, std::wstring const& name) {
    VARIANT v;
    if (e->getAttribute(Arg(name), &v) != S_OK) return L"<none>";
    std::wstring out = v.bstrVal;
    VariantClear(&v);
    return out;
}

TEST(Tree, AppendMovesANodeThatHasAParent) {
    auto doc = parse(L"<r><a><x/></a><b/></r>");
    auto r = rootOf(doc.get());
    auto x = select(r.get(), L"a/x");
    auto b = select(r.get(), L"b");
    auto out = append(b.get(), x.get());
    EXPECT_EQ(x.get(), out.get());  // the appended node itself comes back
    EXPECT_EQ(L"<r><a/><b><x/></b></r>", xmlOf(r.get()));
}

// Every name the parser accepts can be created, and nothing else.
TEST(Tree, CreatedNamesFollowTheParsersRules) {
    auto doc = parse(L"<r/>");
    for (std::wstring name : {L"t\U0001F600", L"\U00010400x", L"p:local", L"caf\u00E9"}) {
        ComPtr<IXMLDOMNode> node;
        Arg n(name);
        EXPECT_EQ(S_OK, doc->createNode(intVariant(NODE_ELEMENT), n, nullptr, node.put())) << name.size();
    }
    for (std::wstring name : {L"1x", L"a b", L":x", L"x:", L"a:b:c", L""}) {
        ComPtr<IXMLDOMNode> node;
        Arg n(name);
        EXPECT_NE(S_OK, doc->createNode(intVariant(NODE_ELEMENT), n, nullptr, node.put())) << name.size();
    }
}

TEST(Tree, ElementCannotGoIntoItselfOrItsDescendant) {
    auto doc = parse(L"<r><a><b><c/></b></a></r>");
    auto r = rootOf(doc.get());
    auto a = select(r.get(), L"a");
    auto c = select(r.get(), L"a/b/c");
    ComPtr<IXMLDOMNode> out;
    EXPECT_TRUE(FAILED(a->appendChild(a.get(), out.put())));
    EXPECT_TRUE(FAILED(c->appendChild(a.get(), out.put())));
    EXPECT_FALSE(out);
    EXPECT_EQ(L"<r><a><b><c/></b></a></r>", xmlOf(r.get()));
}

TEST(Tree, NodesMoveAcrossDocumentsAndOutliveTheirSource) {
    auto target = parse(L"<t xmlns:p='urn:p'/>");
    ComPtr<IXMLDOMNode> moved;
    {
        auto source = parse(L"<s xmlns:p='urn:p' xmlns:q='urn:q'><p:a q:z='1'>text<b/></p:a></s>");
        moved = select(rootOf(source.get()).get(), L"*");
        ASSERT_TRUE(moved);
        ASSERT_TRUE(append(rootOf(target.get()).get(), moved.get()));
    }  // the source document goes away here; the moved nodes must not depend on it
    EXPECT_EQ(L"<t xmlns:p=\"urn:p\"><p:a xmlns:q=\"urn:q\" q:z=\"1\">text<b/></p:a></t>",
              xmlOf(rootOf(target.get()).get()));
    ComPtr<IXMLDOMDocument> owner;
    moved->get_ownerDocument(owner.put());
    EXPECT_EQ(static_cast<IXMLDOMDocument*>(target.get()), owner.get());
    EXPECT_EQ(L"text", textOf(moved.get()));
}

TEST(Tree, SetAttributeIsLiteralAndDeclaresNamespaces) {
    auto doc = parse(L"<r xmlns:p='urn:p'/>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"a"), textVariant(Arg(L"x&amp;y<"))));
    EXPECT_EQ(L"x&amp;y<", attribute(r.get(), L"a"));
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"p:b"), textVariant(Arg(L"1"))));
    EXPECT_EQ(E_INVALIDARG, r->setAttribute(Arg(L"q:c"), textVariant(Arg(L"2"))));  // q is not declared
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"xmlns:z"), textVariant(Arg(L"urn:z"))));
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"a"), textVariant(Arg(L"2nd"))));  // replaces
    EXPECT_EQ(L"<r xmlns:p=\"urn:p\" xmlns:z=\"urn:z\" a=\"2nd\" p:b=\"1\"/>", xmlOf(r.get()));
    EXPECT_EQ(L"urn:z", attribute(r.get(), L"xmlns:z"));
    // The declaration is real: a node created in that namespace needs no
    // declaration of its own below r.
    append(r.get(), create(doc.get(), L"z:e", L"urn:z").get());
    EXPECT_NE(std::wstring::npos, xmlOf(r.get()).find(L"><z:e/></r>"));
    EXPECT_EQ(L"<none>", attribute(r.get(), L"b"));
    EXPECT_EQ(S_OK, r->removeAttribute(Arg(L"a")));
    EXPECT_EQ(L"<none>", attribute(r.get(), L"a"));
}

TEST(Tree, SelectSingleNodeGivesFirstMatchInDocumentOrder) {
    auto doc = parse(L"<r><a id='1'><c/></a><b/><a id='2'/><c id='3'/></r>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(L"1", attribute(element(r.get(), L"a").get(), L"id"));
    EXPECT_EQ(L"2", attribute(element(r.get(), L"a[2]").get(), L"id"));
    EXPECT_EQ(L"a", nameOf(select(r.get(), L"c | a").get()));   // union in document order
    EXPECT_EQ(L"c", nameOf(select(r.get(), L"//c").get()));      // the nested one comes first
    EXPECT_EQ(L"<none>", attribute(element(r.get(), L"//c").get(), L"id"));
    EXPECT_EQ(L"b", nameOf(select(select(r.get(), L"a[2]").get(), L"preceding-sibling::*[1]").get()));
    auto id = select(r.get(), L"a/@id");
    ASSERT_TRUE(id);
    EXPECT_TRUE(query<IXMLDOMAttribute>(id, IID_IXMLDOMAttribute));
    ComPtr<IXMLDOMNode> none;
    EXPECT_EQ(S_FALSE, r->selectSingleNode(Arg(L"zzz"), none.put()));
    EXPECT_FALSE(none);
    EXPECT_TRUE(FAILED(r->selectSingleNode(Arg(L"p:a"), none.put())));  // no prefixes are bound
    EXPECT_TRUE(FAILED(r->selectSingleNode(Arg(L"a[["), none.put())));
}

TEST(Tree, XmlDeclarationBecomesTheDocumentsDeclaration) {
    auto doc = newDocument();
    ComPtr<IXMLDOMProcessingInstruction> pi;
    ASSERT_EQ(S_OK, doc->createProcessingInstruction(Arg(L"xml"), Arg(L"version='1.0' encoding='UTF-16'"), pi.put()));
    auto out = append(doc.get(), pi.get());
    ASSERT_TRUE(out);
    auto r = create(doc.get(), L"r");
    append(doc.get(), r.get());
    EXPECT_EQ(L"xml r", childNames(doc.get()));
    ComPtr<IXMLDOMNode> first;
    doc->get_firstChild(first.put());
    BSTR data = nullptr;
    query<IXMLDOMProcessingInstruction>(first, IID_IXMLDOMProcessingInstruction)->get_data(&data);
    EXPECT_EQ(L"version='1.0' encoding='UTF-16'", take(data));
    std::wstring text = xmlOf(doc.get());
    EXPECT_EQ(0u, text.find(L"<?xml version=\"1.0\"?>"));
    EXPECT_EQ(text.rfind(L"<?xml"), text.find(L"<?xml"));  // exactly one
    // The same again replaces the declaration instead of adding a second one.
    ComPtr<IXMLDOMProcessingInstruction> again;
    doc->createProcessingInstruction(Arg(L"xml"), Arg(L"version='1.0' encoding='UTF-8'"), again.put());
    EXPECT_TRUE(append(doc.get(), again.get()));
    EXPECT_EQ(L"xml r", childNames(doc.get()));
    // Only documents have declarations.
    ComPtr<IXMLDOMProcessingInstruction> misplaced;
    doc->createProcessingInstruction(Arg(L"xml"), Arg(L"version='1.0'"), misplaced.put());
    ComPtr<IXMLDOMNode> refused;
    EXPECT_TRUE(FAILED(r->appendChild(misplaced.get(), refused.put())));
}

}  // namespace
