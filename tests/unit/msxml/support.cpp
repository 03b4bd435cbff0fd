#include "support.h"

#include <algorithm>

#include "platform/host/ux_string.h"

namespace msxmltest {

std::vector<std::wstring> childTags(TrelDOMElement const* element) {
    std::vector<std::wstring> tags;
    EachElement each([&](TrelDOMElement const* e) { tags.push_back(str(e->getTag())); });
    element->scanChildren(&each);
    return tags;
}

std::wstring describe(TrelDOMElement const* element) {
    if (!element) return L"(no element)";
    std::vector<std::wstring> attributes;
    EachAttribute collect([&](TrelDOMAttribute const* a) { attributes.push_back(keyValue(a)); });
    element->scanAttributes(&collect);
    std::sort(attributes.begin(), attributes.end());
    std::wstring out = str(element->getTag()) + L" {" + str(element->getNamespace()) + L"} [";
    for (auto const& line : attributes) out += line + L";";
    out += L"] \"" + str(element->getText()) + L"\" (";
    EachElement children([&](TrelDOMElement const* child) { out += describe(child); });
    element->scanChildren(&children);
    return out + L")";
}

std::wstring flat(TrelDOMDocument const* document) {
    wchar_t* text = nullptr;
    if (!document->saveXML(&text, false)) return L"(failed)";
    std::wstring result(text);
    ux_strfree(text);
    return result;
}

}  // namespace msxmltest
