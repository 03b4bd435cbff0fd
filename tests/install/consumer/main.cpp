// Uses the installed headers and libraries the way another module would:
// counted objects, interning, the host's text helpers, and a document read
// and written through the object model (the engine is loaded by name from
// the installed library folder).
#include <cstdio>
#include <cwchar>

#include "core/StringCache.h"
#include "core/XmlRCObjectCache.h"
#include "core/XmlSmartPtr.h"
#include "core/XmlValueText.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XML_UTILITIES.h"
#include "platform/host/utf8.h"
#include "platform/host/ux_string.h"

namespace {

int failures = 0;

void check(bool ok, char const* what) {
    if (!ok) {
        std::printf("consumer: FAILED %s\n", what);
        ++failures;
    }
}

class Part : public XmlRCObject {
public:
    static int alive;
    Part() { ++alive; }

protected:
    ~Part() override { --alive; }
};
int Part::alive = 0;

}  // namespace

int main() {
    {
        XmlSmartPtr<Part> part(new Part);
        XmlRCObjectCache cache;
        cache.add(part);
        check(part->referenceCount() == 2, "two references");
        cache.clearAll();
    }
    check(Part::alive == 0, "counted object freed");

    {
        StringCache strings(0);
        wchar_t a[] = L"Assembly", b[] = L"Assembly";
        check(strings.cache(a) == strings.cache(b), "interning");
        check(strings.cache(L"assembly") != strings.cache(a), "case matters");
    }

    wchar_t number[1024];
    writeDouble(number, 1024, 1.0 / 3.0);
    check(std::wcscmp(number, L"0.3333333333333333") == 0, "writeDouble");

    wchar_t* wide = UTF8ToInternal(reinterpret_cast<unsigned char const*>("\xC3\xA9"), nullptr, 0);
    check(wide && wide[0] == 0xE9 && wide[1] == 0, "UTF-8");
    kx_free(wide);

    wchar_t* copy = ux_strsave(L"copy");
    check(ux_strequal(copy, L"copy"), "ux_strsave");
    ux_strfree(copy);

    if (TrelDOMDocument* document = XML_UTILITIES::deserialize(L"<Assembly id=\"a1\"><Part/></Assembly>")) {
        {
            XmlSmartPtr<TrelDOMElement> root(document->getRoot());
            check(root && ux_strequal(root->getTag(), L"Assembly"), "root tag");
            check(root && ux_strequal(root->getAttributeValue(L"id"), L"a1"), "attribute");
        }
        wchar_t* text = XML_UTILITIES::serialize(document, false, true);  // gives our reference back
        check(text && std::wcsstr(text, L"<Part/>") != nullptr, "serialize");
        ux_strfree(text);
    } else {
        check(false, "deserialize");
    }

    if (failures == 0) std::printf("consumer: ok\n");
    return failures == 0 ? 0 : 1;
}
