// Editing: appending and moving (also across documents), the DOM's refusals,
// namespaces of created nodes, attributes, XPath selection, the XML
// declaration as a processing instruction.
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
    return node.query<IXMLDOMElement>(IID_IXMLDOMElement);
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

TEST(Tree, DocumentTakesOneElementOnly) {
    auto doc = newDocument();
    auto first = create(doc.get(), L"first");
    auto second = create(doc.get(), L"second");
    EXPECT_TRUE(append(doc.get(), first.get()));
    ComPtr<IXMLDOMNode> out;
    EXPECT_TRUE(FAILED(doc->appendChild(second.get(), out.put())));
    EXPECT_EQ(L"first", nameOf(rootOf(doc.get()).get()));
    // Comments are fine at document level, after the root.
    ComPtr<IXMLDOMComment> comment;
    doc->createComment(Arg(L"note"), comment.put());
    EXPECT_TRUE(append(doc.get(), comment.get()));
    EXPECT_EQ(L"first #comment", childNames(doc.get()));
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

TEST(Tree, CreatedNodesTakeTheirNamespaceAlong) {
    auto doc = parse(L"<r xmlns='urn:d'/>");
    auto r = rootOf(doc.get());
    auto same = create(doc.get(), L"s", L"urn:d");
    auto none = create(doc.get(), L"n");
    auto other = create(doc.get(), L"o:x", L"urn:o");
    append(r.get(), same.get());
    append(r.get(), none.get());
    append(r.get(), other.get());
    // No redundant declaration; the no-namespace child says so, so that the
    // text reads back into the same tree.
    std::wstring text = xmlOf(r.get());
    EXPECT_EQ(L"<r xmlns=\"urn:d\"><s/><n xmlns=\"\"/><o:x xmlns:o=\"urn:o\"/></r>", text);
    auto again = parse(text);
    BSTR uri = nullptr;
    EXPECT_EQ(S_FALSE, select(rootOf(again.get()).get(), L"*[2]")->get_namespaceURI(&uri));
}

TEST(Tree, SetAttributeIsLiteralAndDeclaresNamespaces) {
    auto doc = parse(L"<r xmlns:p='urn:p'/>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"a"), textVariant(Arg(L"x&amp;y<"))));
    EXPECT_EQ(L"x&amp;y<", attribute(r.get(), L"a"));
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"p:b"), textVariant(Arg(L"1"))));
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"q:c"), textVariant(Arg(L"2"))));  // unbound prefix: literal name
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"xmlns:z"), textVariant(Arg(L"urn:z"))));
    EXPECT_EQ(S_OK, r->setAttribute(Arg(L"a"), textVariant(Arg(L"2nd"))));  // replaces
    EXPECT_EQ(L"<r xmlns:p=\"urn:p\" xmlns:z=\"urn:z\" a=\"2nd\" p:b=\"1\" q:c=\"2\"/>", xmlOf(r.get()));
    EXPECT_EQ(L"urn:z", attribute(r.get(), L"xmlns:z"));
    // The declaration is real: a node created in that namespace needs no
    // declaration of its own below r.
    append(r.get(), create(doc.get(), L"z:e", L"urn:z").get());
    EXPECT_NE(std::wstring::npos, xmlOf(r.get()).find(L"><z:e/></r>"));
    EXPECT_EQ(L"<none>", attribute(r.get(), L"b"));
    EXPECT_EQ(S_OK, r->removeAttribute(Arg(L"a")));
    EXPECT_EQ(L"<none>", attribute(r.get(), L"a"));
}

TEST(Tree, AttributeValueChangesThroughItsTextChild) {
    auto doc = parse(L"<r a='old'/>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMAttribute> a;
    ASSERT_EQ(S_OK, r->getAttributeNode(Arg(L"a"), a.put()));
    ComPtr<IXMLDOMNode> text;
    ASSERT_EQ(S_OK, a->get_firstChild(text.put()));
    ASSERT_TRUE(text.query<IXMLDOMText>(IID_IXMLDOMText));
    EXPECT_EQ(S_OK, text->put_nodeValue(textVariant(Arg(L"new&"))));
    EXPECT_EQ(L"new&", attribute(r.get(), L"a"));
    ComPtr<IXMLDOMNode> parent;
    EXPECT_EQ(S_FALSE, a->get_parentNode(parent.put()));  // attributes have no parent
}

TEST(Tree, InterfacesFollowTheNodeKind) {
    auto doc = parse(L"<r>t<!--c--><![CDATA[d]]><?p x?></r>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(L"#text #comment #cdata-section p", childNames(r.get()));
    auto text = select(r.get(), L"text()[1]");
    EXPECT_FALSE(text.query<IXMLDOMElement>(IID_IXMLDOMElement));
    EXPECT_TRUE(text.query<IXMLDOMText>(IID_IXMLDOMText));
    EXPECT_FALSE(text.query<IXMLDOMCDATASection>(IID_IXMLDOMCDATASection));
    auto comment = select(r.get(), L"comment()");
    EXPECT_FALSE(comment.query<IXMLDOMText>(IID_IXMLDOMText));
    EXPECT_TRUE(comment.query<IXMLDOMComment>(IID_IXMLDOMComment));
    EXPECT_FALSE(r.query<IXMLDOMAttribute>(IID_IXMLDOMAttribute));
    DOMNodeType type;
    select(r.get(), L"processing-instruction()")->get_nodeType(&type);
    EXPECT_EQ(NODE_PROCESSING_INSTRUCTION, type);
    // Text nodes take no children.
    ComPtr<IXMLDOMText> extra;
    doc->createTextNode(Arg(L"x"), extra.put());
    ComPtr<IXMLDOMNode> out;
    EXPECT_TRUE(FAILED(text->appendChild(extra.get(), out.put())));
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
    EXPECT_TRUE(id.query<IXMLDOMAttribute>(IID_IXMLDOMAttribute));
    ComPtr<IXMLDOMNode> none;
    EXPECT_EQ(S_FALSE, r->selectSingleNode(Arg(L"zzz"), none.put()));
    EXPECT_FALSE(none);
    EXPECT_TRUE(FAILED(r->selectSingleNode(Arg(L"p:a"), none.put())));  // no prefixes are bound
    EXPECT_TRUE(FAILED(r->selectSingleNode(Arg(L"a[["), none.put())));
    ComPtr<IXMLDOMNodeList> all;
    ASSERT_EQ(S_OK, r->selectNodes(Arg(L"//@id"), all.put()));
    long n = 0;
    all->get_length(&n);
    EXPECT_EQ(3, n);
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
    first.query<IXMLDOMProcessingInstruction>(IID_IXMLDOMProcessingInstruction)->get_data(&data);
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

TEST(Tree, ChildListIsLiveAndIndexed) {
    auto doc = parse(L"<r><a/>t<b/><c/></r>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMNodeList> list;
    r->get_childNodes(list.put());
    long n = 0;
    list->get_length(&n);
    EXPECT_EQ(4, n);
    std::wstring seen;
    for (long i = 0; i < n; ++i) {
        ComPtr<IXMLDOMNode> item;
        list->get_item(i, item.put());
        seen += nameOf(item.get()) + L";";
    }
    EXPECT_EQ(L"a;#text;b;c;", seen);
    ComPtr<IXMLDOMNode> item, removed;
    list->get_item(0, item.put());
    ASSERT_EQ(S_OK, r->removeChild(item.get(), removed.put()));
    list->get_length(&n);
    EXPECT_EQ(3, n);
    list->get_item(2, item.put());
    EXPECT_EQ(L"c", nameOf(item.get()));
    EXPECT_EQ(S_FALSE, list->get_item(3, item.put()));
}

}  // namespace
