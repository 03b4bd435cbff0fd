// The round-trip oracle: whatever loads saves in every mode (flat and
// indented, UTF-8 and UTF-16, to a file and as text), loads again and
// compares equal to the first document with the module's comparator.
#include "fuzz_support.h"

#include <cwctype>

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

// The encoding the text's XML declaration names; "" without one.
std::wstring declaredEncoding(std::wstring const& text) {
    if (text.compare(0, 5, L"<?xml") != 0) return {};
    std::wstring const declaration = text.substr(0, text.find(L"?>"));
    size_t at = declaration.find(L"encoding");
    size_t open = at == std::wstring::npos ? at : declaration.find_first_of(L"'\"", at);
    if (open == std::wstring::npos) return {};
    size_t close = declaration.find(declaration[open], open + 1);
    return close == std::wstring::npos ? std::wstring() : declaration.substr(open + 1, close - open - 1);
}

bool isUnicode(std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    // Whole names only: "UTF-16ISO-8859-1" is no encoding the writers know.
    for (wchar_t const* known : {L"", L"UTF-8", L"UTF8", L"UTF-16", L"UTF16", L"UTF-16LE", L"UTF-16BE"})
        if (name == known) return true;
    return false;
}

// The flat form is written in the encoding the declaration names, and
// refused where that encoding cannot carry the document (by design); the
// two Unicode encodings carry everything.
void viaFiles(TrelDOMDocument const* doc, bool indent, bool mayRefuseFlat) {
    static std::wstring const path = fuzz::scratchFile("roundtrip.xml");
    for (XmlEncoding const* encoding : {&XmlEncoding::UTF8, &XmlEncoding::UTF16}) {
        if (!doc->save(path.c_str(), *encoding, indent)) {
            if (!indent && mayRefuseFlat) return;
            fuzz::fail("a loaded document does not save");
        }
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
    bool const mayRefuseFlat = !isUnicode(declaredEncoding(text));
    for (bool indent : {false, true}) {
        viaFiles(doc, indent, mayRefuseFlat);
        viaText(doc, indent);
    }
    return 0;
}
