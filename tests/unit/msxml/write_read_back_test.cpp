// The round-trip oracle of the C++ API: random documents built through the
// model, with awkward characters and names, saved and serialised in every
// mode and read back into the same tree; what XML cannot hold is refused.
#include <string>

#include "platform/host/ux_string.h"
#include "support.h"

namespace msxmltest {
namespace {

class WriteReadBack : public BackendTest {
protected:
    // Deterministic: the same documents on every run.
    unsigned next(unsigned n) {
        seed_ = seed_ * 1103515245u + 12345u;
        return (seed_ >> 16) % n;
    }
    template <class T, size_t N>
    T const& pick(T const (&items)[N]) {
        return items[next(N)];
    }

    std::wstring text() {
        static std::wstring const pieces[] = {L"&", L"<", L">", L"\"", L"'", L"]]>", L"\t", L"\n", L"\r",
                                             L"\x1F600", L"\xE9", L"\x6F22", L"\x85", L"--", L"?>", L"a b"};
        std::wstring out = L"t";  // never blank only: loading drops such text
        for (unsigned i = next(6) + 1; i > 0; --i) out += pick(pieces);
        return out;
    }

    void grow(TrelDOMDocument* document, TrelDOMElement* parent, int depth) {
        static std::wstring const names[] = {L"a", L"p:x", L"q:y", L"\xE9-x", L"\x6F22\x5B57", L"\x10000\x10001",
                                             std::wstring(300, L'n'), L"_x.y-z"};
        XmlSmartPtr<TrelDOMElement> element(document->createElement(pick(names).c_str()));
        ASSERT_TRUE(element);
        static wchar_t const* const attributes[] = {L"a", L"p:a", L"q:a", L"b"};
        for (unsigned i = next(4); i > 0; --i)
            EXPECT_TRUE(element->setAttribute((pick(attributes) + std::to_wstring(i)).c_str(), text().c_str()));
        EXPECT_FALSE(element->setAttribute(L"bad", L"x\x01"));
        ASSERT_TRUE(parent->addChild(static_cast<TrelDOMElement const*>(element)));
        if (depth == 3 || next(3) == 0) {
            EXPECT_TRUE(element->setText(text().c_str()));
            EXPECT_FALSE(element->setText(L"x\xFFFF"));
            return;
        }
        for (unsigned i = next(3) + 1; i > 0; --i) grow(document, element, depth + 1);
    }

    XmlSmartPtr<TrelDOMDocument> randomDocument(unsigned seed) {
        seed_ = seed;
        XmlSmartPtr<TrelDOMDocument> document = newDocument();
        XmlSmartPtr<TrelDOMElement> root(document->createElement(L"root"));
        root->setAttribute(L"xmlns:p", L"urn:p");
        root->setAttribute(L"xmlns:q", L"urn:q");
        EXPECT_TRUE(document->setRoot(root));
        XmlSmartPtr<TrelDOMElement> attached = rootOf(document);
        for (unsigned i = next(4) + 1; i > 0; --i) grow(document, attached, 1);
        return document;
    }

    // describe() of what the file or text reads back as; "(unwritten)" on failure.
    std::wstring saved(TrelDOMDocument const* document, XmlEncoding const& encoding, bool indent) {
        std::wstring path = file("out.xml");
        if (!document->save(path.c_str(), encoding, indent)) return L"(unwritten)";
        XmlSmartPtr<TrelDOMDocument> back = newDocument();
        return back->load(path.c_str()) ? describe(rootOf(back)) : L"(unreadable)";
    }
    std::wstring serialised(TrelDOMDocument const* document, bool indent) {
        wchar_t* text = nullptr;
        if (!document->saveXML(&text, indent)) return L"(unwritten)";
        XmlSmartPtr<TrelDOMDocument> back = parse(text);
        ux_strfree(text);
        return back ? describe(rootOf(back)) : L"(unreadable)";
    }

private:
    unsigned seed_ = 1;
};

TEST_F(WriteReadBack, RandomDocumentsInEveryMode) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        XmlSmartPtr<TrelDOMDocument> document = randomDocument(seed);
        std::wstring expected = describe(rootOf(document));
        EXPECT_EQ(expected, saved(document, XmlEncoding::UTF8, true)) << seed;
        EXPECT_EQ(expected, saved(document, XmlEncoding::UTF16, true)) << seed;
        EXPECT_EQ(expected, saved(document, XmlEncoding::UTF8, false)) << seed;
        EXPECT_EQ(expected, serialised(document, true)) << seed;
        EXPECT_EQ(expected, serialised(document, false)) << seed;
    }
}

TEST_F(WriteReadBack, NothingWithoutARoot) {
    writeFile(dir() / "out.xml", "<old/>");
    XmlSmartPtr<TrelDOMDocument> empty = newDocument();
    EXPECT_TRUE(empty->addComment(L"only a comment"));
    EXPECT_EQ(L"(unwritten)", saved(empty, XmlEncoding::UTF8, true));
    EXPECT_EQ(L"(unwritten)", saved(empty, XmlEncoding::UTF8, false));
    EXPECT_EQ(L"(unwritten)", serialised(empty, true));
    EXPECT_EQ(L"(unwritten)", serialised(empty, false));
    EXPECT_EQ("<old/>", readFile(dir() / "out.xml"));
}

}  // namespace
}  // namespace msxmltest
