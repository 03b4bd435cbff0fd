// The round-trip oracle: whatever loads saves in every mode (flat and
// indented, UTF-8 and UTF-16, to a file and as text), loads again and
// compares equal to the first document with the module's comparator.
#include "fuzz_support.h"

#include "compare/TrelDOMComparator.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/ux_string.h"

namespace {

using Document = XmlSmartPtr<TrelDOMDocument>;

Document newDocument() { return XmlObjectFactory::getInstance()->createDocument(); }

void mustEqual(TrelDOMDocument const* first, TrelDOMDocument const* second, char const* how) {
    TrelDOMComparator comparator;
    if (!comparator.compareTree(first, second, nullptr)) fuzz::fail(how);
}

void viaFiles(TrelDOMDocument const* doc, bool indent) {
    static std::wstring const path = fuzz::scratchFile("roundtrip.xml");
    for (XmlEncoding const* encoding : {&XmlEncoding::UTF8, &XmlEncoding::UTF16}) {
        if (!doc->save(path.c_str(), *encoding, indent)) fuzz::fail("a loaded document does not save");
        Document again = newDocument();
        if (!again->load(path.c_str())) fuzz::fail("a saved file does not load");
        mustEqual(doc, again, indent ? "indented file differs" : "flat file differs");
    }
}

void viaText(TrelDOMDocument const* doc, bool indent) {
    wchar_t* text = nullptr;
    if (!doc->saveXML(&text, indent) || !text) fuzz::fail("a loaded document does not save as text");
    Document again = newDocument();
    bool loaded = again->loadXML(text);
    ux_strfree(text);
    if (!loaded) fuzz::fail("saved text does not load");
    mustEqual(doc, again, indent ? "indented text differs" : "flat text differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    std::wstring text = fuzz::fromUtf8(data, size);
    Document doc = newDocument();
    if (!doc->loadXML(text.c_str())) return 0;
    for (bool indent : {false, true}) {
        viaFiles(doc, indent);
        viaText(doc, indent);
    }
    return 0;
}
