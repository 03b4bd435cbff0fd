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

}  // namespace

// ---- bridges for the other parts of the engine ---------------------------------------
namespace {

}  // namespace
