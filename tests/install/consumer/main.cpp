// Uses the installed headers and libraries the way another module would: a
// document read, walked and written through the object model (the engine is
// loaded by name from the installed library folder), with the host's text
// helpers and the core's interning.
#include <cstdio>
#include <cwchar>

#include "core/StringCache.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XML_UTILITIES.h"
#include "platform/host/ux_string.h"

int main() {
    int failures = 0;
    auto check = [&](bool ok, char const* what) {
        if (!ok) std::printf("consumer: FAILED %s\n", what), ++failures;
    };
    StringCache strings(0);
    wchar_t a[] = L"Assembly", b[] = L"Assembly";
    check(strings.cache(a) == strings.cache(b), "interning");
    TrelDOMDocument* document = XML_UTILITIES::deserialize(L"<Assembly id=\"a1\"><Part/></Assembly>");
    check(document != nullptr, "deserialize");
    if (document) {
        {
            XmlSmartPtr<TrelDOMElement> root(document->getRoot());
            check(root && ux_strequal(root->getTag(), L"Assembly") && root->childCount() == 1, "root");
            check(root && ux_strequal(root->getAttributeValue(L"id"), L"a1"), "attribute");
        }
        wchar_t* text = XML_UTILITIES::serialize(document, false, true);  // gives our reference back
        check(text && std::wcsstr(text, L"<Part/>") != nullptr, "serialize");
        ux_strfree(text);
    }
    if (failures == 0) std::printf("consumer: ok\n");
    return failures == 0 ? 0 : 1;
}
