// Deep trees in the engine: moves that stay linear (and keep namespaces
// right), deep copies and output, and the one depth limit shared by reading
// and writing. Deep cases run in a child process, so that a regression that
// exhausts the stack fails its test instead of ending the run.
#include <cstdlib>

#include "tests/unit/common/engine_objects.h"

using namespace enginetest;

namespace {

constexpr int kLevels = 200000;

template <class Body>
void inChild(Body body) {
    EXPECT_EXIT(std::_Exit(body() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

std::wstring chain(int levels, std::wstring const& tag, std::wstring const& rootAttributes = L"") {
    std::wstring out;
    for (int i = 0; i < levels; ++i) out += L"<" + tag + (i == 0 ? rootAttributes : L"") + L">";
    out += L"x";
    for (int i = 0; i < levels; ++i) out += L"</" + tag + L">";
    return out;
}

// A chain of `levels` elements <a> built from the innermost one up; the
// innermost holds the text x.
ComPtr<IXMLDOMNode> bottomUp(IXMLDOMDocument3* doc, int levels) {
    ComPtr<IXMLDOMNode> top = createElement(doc, L"a");
    ComPtr<IXMLDOMText> text;
    doc->createTextNode(Arg(L"x"), text.put());
    if (!top || !text || !append(top.get(), text.get())) return {};
    for (int i = 1; i < levels; ++i) {
        ComPtr<IXMLDOMNode> parent = createElement(doc, L"a");
        if (!parent || !append(parent.get(), top.get())) return {};
        top = std::move(parent);
    }
    return top;
}

}  // namespace

// Moves skip namespace repair only while a document has no namespace at
// all; whatever brings one in switches the repair on for good.
TEST(DeepTrees, MovesRepairNamespacesOnceADocumentHasAny) {
    auto doc = parse(L"<r><a/><b/></r>");
    auto r = rootOf(doc.get());
    auto b = element(r.get(), L"b");
    ASSERT_EQ(S_OK, setAttribute(b.get(), L"xmlns", L"urn:d"));
    ASSERT_TRUE(append(b.get(), select(r.get(), L"a").get()));
    EXPECT_EQ(L"<r><b xmlns=\"urn:d\"><a xmlns=\"\"/></b></r>", xmlOf(r.get()));

    // Created with a namespace: the inner declaration becomes redundant.
    auto fresh = parse(L"<r/>");
    auto x = createElement(fresh.get(), L"p:x", L"urn:p");
    auto y = createElement(fresh.get(), L"p:y", L"urn:p");
    ASSERT_TRUE(append(x.get(), y.get()));
    ASSERT_TRUE(append(rootOf(fresh.get()).get(), x.get()));
    EXPECT_EQ(L"<r><p:x xmlns:p=\"urn:p\"><p:y/></p:x></r>", xmlOf(rootOf(fresh.get()).get()));

    // Brought from a document with namespaces into one without.
    auto source = parse(L"<p:s xmlns:p='urn:p'><p:t/></p:s>");
    auto plain = parse(L"<r/>");
    ASSERT_TRUE(append(rootOf(plain.get()).get(), select(rootOf(source.get()).get(), L"*").get()));
    auto c = createElement(plain.get(), L"c");
    ASSERT_TRUE(append(select(rootOf(plain.get()).get(), L"*").get(), c.get()));
    EXPECT_EQ(L"<r><p:t xmlns:p=\"urn:p\"><c/></p:t></r>", xmlOf(rootOf(plain.get()).get()));
}

// Each append moves the whole chain built so far: linear only when a move
// does not walk the subtree it moves. Under a default namespace only the
// top of the chain needs xmlns="". Below the root of a parsed chain, the
// copy made for the output declares the prefix.
TEST(DeepTrees, ChainsBuiltBottomUpMovedWholeAndCopiedForOutput) {
    inChild([] {
        auto doc = parse(L"<r><s/><t xmlns='urn:d'/></r>");
        ComPtr<IXMLDOMNode> built = bottomUp(doc.get(), kLevels);
        auto s = select(rootOf(doc.get()).get(), L"s");
        auto t = select(rootOf(doc.get()).get(), L"*[2]");
        if (!built || !append(s.get(), built.get()) || !append(t.get(), built.get())) return false;
        std::wstring const expected =
            L"<r><s/><t xmlns=\"urn:d\"><a xmlns=\"\">" + chain(kLevels, L"a").substr(3) + L"</t></r>";
        auto prefixed = parse(chain(kLevels, L"p:a", L" xmlns:p=\"urn:p\""));
        auto second = select(rootOf(prefixed.get()).get(), L"*");
        return xmlOf(rootOf(doc.get()).get()) == expected &&
               xmlOf(second.get()) == chain(kLevels - 1, L"p:a", L" xmlns:p=\"urn:p\"");
    });
}

TEST(DeepTrees, ReadingAndWritingShareOneDepthLimit) {
    inChild([] {
        int const limit = static_cast<int>(mx::kMaxTreeDepth);
        auto doc = newDocument();
        bool const readsLimit = loadXML(doc.get(), chain(limit, L"a"));
        // One level more, through the API (reading it is the load tests'):
        // neither saved nor shown as text.
        TempDir dir;
        ComPtr<IXMLDOMNode> extra = createElement(doc.get(), L"a");
        auto root = rootOf(doc.get());
        ComPtr<IXMLDOMNode> top;
        if (!extra || FAILED(doc->removeChild(root.get(), top.put())) || !append(extra.get(), root.get()) ||
            !append(doc.get(), extra.get()))
            return false;
        writeFile(dir / "old.xml", "<old/>");
        bool const notSaved = FAILED(saveTo(doc.get(), dir / "old.xml")) && readFile(dir / "old.xml") == "<old/>";
        BSTR xml = nullptr;
        bool const noText = FAILED(doc->get_xml(&xml)) && !xml;
        return readsLimit && notSaved && noText;
    });
}
