// Child cursors: a walk gives exactly the element children present when it
// was opened, whatever the tree does meanwhile, and leaves no object behind.
#include <libxml/tree.h>

#include <thread>
#include <vector>

#include "tests/unit/common/engine_objects.h"

using namespace enginetest;

namespace {

ComPtr<IXMLDOMChildCursor> cursorOf(IXMLDOMNode* element) {
    ComPtr<IXMLDOMChildCursor> cursor;
    EXPECT_EQ(S_OK, readerOf(element)->openElementChildren(cursor.put()));
    return cursor;
}

// The next child's id attribute; "(end)" at the end, "(failed)" on failure.
// The reader handed out must be the child's own.
std::wstring nextId(IXMLDOMChildCursor* cursor) {
    IXMLDOMElement* child = nullptr;
    IXMLDOMNodeReader* reader = nullptr;
    HRESULT const hr = cursor->next(&child, &reader);
    if (hr == S_FALSE) return child || reader ? L"(inconsistent)" : L"(end)";
    if (hr != S_OK) return L"(failed)";
    ComPtr<IXMLDOMElement> held;
    held.attach(child);  // the cursor's reference
    EXPECT_EQ(reader, readerOf(child).get());
    return attribute(child, L"id");
}

std::wstring rest(IXMLDOMChildCursor* cursor) {
    std::wstring out;
    for (std::wstring id; (id = nextId(cursor)) != L"(end)" && id != L"(failed)";) out += id;
    return out;
}

// True when some node under the element `node` still has an object.
bool anyObject(xmlNodePtr node) {
    for (xmlNodePtr c = node->children; c; c = c->next)
        if (c->_private || (c->type == XML_ELEMENT_NODE && anyObject(c))) return true;
    for (xmlAttrPtr a = node->properties; a; a = a->next)
        if (a->_private) return true;
    return false;
}

ComPtr<IXMLDOMNode> removeFrom(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComPtr<IXMLDOMNode> removed;
    EXPECT_EQ(S_OK, parent->removeChild(child, removed.put()));
    return removed;
}

char const* const kTree =
    "<top><r>t<a id='1'><x id='x'/><y id='y'/></a><!--c--><b id='2'/>u<c id='3'/><d id='4'/></r>"
    "<other/></top>";

}  // namespace

TEST(ChildCursor, GivesTheChildrenOfTheStartWhateverChanges) {
    auto doc = parse(mx::toWide(kTree));
    xmlNodePtr node = nullptr;
    {
        auto top = rootOf(doc.get());
        auto r = element(top.get(), L"r");
        auto other = element(top.get(), L"other");
        ASSERT_TRUE(r && other);
        node = mx::engineNodeOf(r.get());
        auto plain = cursorOf(r.get());
        EXPECT_EQ(rest(plain.get()), L"1234");
        EXPECT_EQ(nextId(plain.get()), L"(end)") << "the end stays the end";

        // Moved, removed, inserted and appended children, while two cursors
        // (this element's and a child's) are open.
        auto outer = cursorOf(r.get());
        EXPECT_EQ(nextId(outer.get()), L"1");
        auto a = element(r.get(), L"a");
        auto inner = cursorOf(a.get());
        EXPECT_EQ(nextId(inner.get()), L"x");
        append(other.get(), element(r.get(), L"b").get());
        removeFrom(r.get(), element(r.get(), L"c").get());
        append(other.get(), element(a.get(), L"y").get());
        ComPtr<IXMLDOMElement> fresh;
        ASSERT_EQ(S_OK, doc->createElement(Arg(L"e"), fresh.put()));
        setAttribute(fresh.get(), L"id", L"5");
        append(r.get(), fresh.get());
        append(r.get(), element(other.get(), L"b").get());  // back, at the end
        EXPECT_EQ(rest(outer.get()), L"234");
        EXPECT_EQ(rest(inner.get()), L"y");
        EXPECT_EQ(rest(cursorOf(r.get()).get()), L"1452") << "a new cursor sees the tree as it is now";

        // Given up half-way, before and after the tree changed.
        outer = cursorOf(r.get());
        EXPECT_EQ(nextId(outer.get()), L"1");
        inner = cursorOf(r.get());
        EXPECT_EQ(nextId(inner.get()), L"1");
        append(r.get(), element(r.get(), L"e").get());
    }
    EXPECT_FALSE(anyObject(node)) << "no object stays";
}

// The tree a cursor reads stays whole while the cursor is open, even when its
// document loads something else or removes the element itself.
TEST(ChildCursor, OutlivesItsDocumentsContent) {
    auto doc = parse(mx::toWide(kTree));
    auto r = element(rootOf(doc.get()).get(), L"r");
    auto cursor = cursorOf(r.get());
    EXPECT_EQ(nextId(cursor.get()), L"1");
    removeFrom(rootOf(doc.get()).get(), r.get());
    r = {};
    ASSERT_TRUE(loadXML(doc.get(), L"<new><a id='9'/></new>"));
    EXPECT_EQ(rest(cursor.get()), L"234");

    auto fresh = cursorOf(rootOf(doc.get()).get());
    ASSERT_TRUE(loadXML(doc.get(), L"<newer/>"));
    EXPECT_EQ(rest(fresh.get()), L"9");
}

// A cursor opened by a thread that then ends goes on in the next thread
// (documents are used by one thread at a time, not by one thread forever).
TEST(ChildCursor, GoesOnAfterTheThreadThatOpenedItEnds) {
    auto doc = parse(mx::toWide(kTree));
    auto r = element(rootOf(doc.get()).get(), L"r");
    ComPtr<IXMLDOMChildCursor> cursor;
    std::wstring first;
    std::thread([&] {
        cursor = cursorOf(r.get());
        first = nextId(cursor.get());
    }).join();
    EXPECT_EQ(first + rest(cursor.get()), L"1234");
    append(rootOf(doc.get()).get(), element(r.get(), L"b").get());  // nothing left to hold
}
