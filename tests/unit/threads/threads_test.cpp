// One thread per document, several at once: every thread loads, walks,
// edits, saves, serialises, transforms, validates and compares its own
// documents (failing loads and invalid documents included) while
// the others do the same. Under the thread sanitizer any state the module or
// the engine shares between documents without care is a report; in every
// build the results and the factory's live counters must come out right.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cwchar>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "compare/TrelDOMComparator.h"
#include "core/StringCache.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/TrelDOMVisitor.h"
#include "model/TrelXSDValidator.h"
#include "model/XML_UTILITIES.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/ux_string.h"
#include "tests/unit/common/temp_files.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 6;
constexpr int kItems = 40;

using testfiles::TempDir;

// A model of kItems parts whose names and values tell the thread apart.
std::wstring modelText(int thread) {
    std::wstring text = L"<?xml version='1.0'?><model owner='t" + std::to_wstring(thread) + L"'>";
    for (int i = 0; i < kItems; ++i)
        text += L"<part id='p" + std::to_wstring(i) + L"' kind='k" + std::to_wstring(i % 3) + L"'><name>t" +
                std::to_wstring(thread) + L"-" + std::to_wstring(i) + L"</name><size>" + std::to_wstring(i * 7) +
                L"</size></part>";
    return text + L"</model>";
}

char const kSheet[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><list owner='{model/@owner}'>"
    "<xsl:for-each select='model/part'><xsl:sort select='name'/><item><xsl:value-of select='name'/></item>"
    "</xsl:for-each></list></xsl:template></xsl:stylesheet>";

char const kSchema[] =
    "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='model'><xs:complexType>"
    "<xs:sequence><xs:element name='part' maxOccurs='unbounded'><xs:complexType><xs:sequence>"
    "<xs:element name='name' type='xs:string'/><xs:element name='size' type='xs:integer'/></xs:sequence>"
    "<xs:attribute name='id'/><xs:attribute name='kind'/></xs:complexType></xs:element></xs:sequence>"
    "<xs:attribute name='owner'/></xs:complexType></xs:element></xs:schema>";

// Counts elements and attributes and sums the sizes, reading every name and text.
struct Walker : TrelDOMElementVisitor, TrelDOMAttributeVisitor {
    long elements = 0, attributes = 0, sizes = 0;
    bool visit(TrelDOMElement const* element) override {
        ++elements;
        if (element->tagEquals(L"size")) sizes += wcstol(element->getText(), nullptr, 10);
        element->scanAttributes(this);
        return true;
    }
    bool visit(TrelDOMAttribute const* attribute) override {
        attributes += attribute->getKey()[0] && attribute->getValue() ? 1 : 0;
        return true;
    }
};

// The first failure of a thread, reported by the main thread.
struct Outcome {
    std::string failure;
    long walkedAtExit = 0;
    void check(bool ok, std::string const& what) { failure += ok || !failure.empty() ? "" : what; }
};

std::wstring owned(wchar_t* text) {
    std::wstring copy = text ? text : L"(null)";
    return ux_strfree(text), copy;
}

struct Files {
    TempDir dir;
    std::wstring sheet = dir.write("list.xsl", kSheet), schema = dir.write("model.xsd", kSchema),
                 broken = dir.write("broken.xml", "<model><part></model>");
};

// One round of a thread's work; everything it makes dies before it returns.

void round(int thread, int n, Files const& files, Outcome& out) {
    XmlObjectFactory* factory = XmlObjectFactory::getInstance();
    std::string const stem = "t" + std::to_string(thread) + "-" + std::to_string(n);
    XmlSmartPtr<TrelDOMDocument> built(factory->createDocument());
    std::wstring const saved = files.dir.file(stem + ".xml");
    out.check(built->loadXML(modelText(thread).c_str()) && built->save(saved.c_str(), n % 2 == 0), "loadXML, save");
    XmlSmartPtr<TrelDOMDocument> loaded(factory->createDocument(saved.c_str()));
    out.check(bool(loaded), "load from file");
    if (!loaded) return;
    Walker walk;
    loaded->scanTree(&walk);
    out.check(walk.elements == 1 + 3 * kItems && walk.attributes == 1 + 2 * kItems &&
                  walk.sizes == 7L * kItems * (kItems - 1) / 2,
              "walk");
    wchar_t const* name = loaded->getText(L"/model/part[@id='p5']/name");
    out.check(name && std::wstring(name) == L"t" + std::to_wstring(thread) + L"-5", "XPath");
    out.check(owned(XML_UTILITIES::getRootTag(saved.c_str())) == L"model", "root tag by SAX");
    out.check(!factory->createDocument(files.broken.c_str()), "broken file fails");
    XmlSmartPtr<TrelXSDValidator> schema(factory->createXSDValidator(files.schema.c_str()));
    std::wstring errors;
    out.check(schema && schema->validateDocument(loaded, errors) && errors.empty(), "valid");

    TrelDOMComparator comparator;
    out.check(comparator.compareTree(loaded, built, nullptr), "reloaded equals built");
    {
        XmlSmartPtr<TrelDOMElement> root(loaded->getRoot());
        XmlSmartPtr<TrelDOMElement> part(root->getChild(L"part", n % kItems));
        out.check(part && part->setAttribute(L"edited", n), "setAttribute");
        XmlSmartPtr<TrelDOMElement> added(root->addChild(L"note"));
        out.check(added && added->setText(L"round"), "addChild");
    }
    out.check(schema && !schema->validateDocument(loaded, errors) && errors.find(L"edited") != std::wstring::npos,
              "edit is invalid, and the message says why");
    TrelDOMNodeLocator locator;
    out.check(!comparator.compareTree(loaded, built, &locator) && wcslen(locator.getPath().toString()) > 0,
              "the edit is seen and located");

    std::wstring const text = owned(XML_UTILITIES::serialize(loaded, false, false));
    out.check(text.find(L"edited=\"" + std::to_wstring(n) + L"\"") != std::wstring::npos, "serialised edit");
    XmlSmartPtr<TrelDOMDocument> again(XML_UTILITIES::deserialize(text.c_str()));
    if (again) again->removeReference();  // deserialize hands over one reference
    out.check(again && comparator.compareTree(again, loaded, nullptr), "text round trip");

    XmlSmartPtr<TrelDOMDocument> list(loaded->transform(files.sheet.c_str()));
    wchar_t const* first = list ? list->getText(L"/list/item[1]") : nullptr;
    out.check(first && std::wstring(first) == L"t" + std::to_wstring(thread) + L"-0", "transform");
}

// Made before the thread's first engine call, so destroyed after the
// engine's own per-thread state: its last walk reads names and texts while
// the thread exits, as the other threads do.
struct WalkAtExit {
    XmlSmartPtr<TrelDOMDocument> document;
    long* elements = nullptr;
    ~WalkAtExit() {
        Walker walk;
        if (document) document->scanTree(&walk);
        if (elements) *elements = walk.elements;
    }
};

void work(int thread, Files const& files, std::latch& start, Outcome& out) {
    thread_local WalkAtExit atExit;
    atExit.elements = &out.walkedAtExit;
    start.arrive_and_wait();  // the first engine use of all threads at once
    for (int n = 0; n < kRounds && out.failure.empty(); ++n) round(thread, n, files, out);
    atExit.document = XML_UTILITIES::deserialize(modelText(thread).c_str());
    if (atExit.document) atExit.document->removeReference();
}

TEST(Threads, EachWithItsOwnDocumentsAtOnce) {
    Files const files;
    long const stringsBefore = StringCache::stringCount;

    std::latch start(kThreads);
    std::vector<Outcome> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(work, t, std::cref(files), std::ref(start), std::ref(outcomes[t]));
    for (auto& t : threads) t.join();

    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(outcomes[t].failure, "") << "thread " << t;
        EXPECT_EQ(outcomes[t].walkedAtExit, 1 + 3 * kItems) << "thread " << t;
    }
    XmlObjectFactory* factory = XmlObjectFactory::getInstance();
    EXPECT_TRUE(factory->getDocumentCount() == 0 && factory->getNodeCount() == 0) << "documents or nodes leaked";
    EXPECT_EQ(StringCache::stringCount, stringsBefore);
}

}  // namespace
