// XML names by the rules the parser applies (XML 1.0, fifth edition), so that
// every name a loaded document may hold can also be created through the DOM.
// libxml2's own name validators follow the older character tables and refuse
// names outside the Basic Multilingual Plane that its parser accepts.
#include <algorithm>
#include <cstring>

#include "platform/msxml6/engine.h"

namespace mx {

namespace {

bool isNameStart(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(wchar_t c) {
    return isNameStart(c) || c == L'-' || c == L'.' || (c >= L'0' && c <= L'9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// A name without colons over [begin, end).
bool isNCName(wchar_t const* begin, wchar_t const* end) {
    if (begin == end || !isNameStart(*begin)) return false;
    for (wchar_t const* p = begin + 1; p != end; ++p)
        if (!isNameChar(*p)) return false;
    return true;
}

}  // namespace

bool isValidNCName(char const* utf8) {
    std::wstring name = toWide(utf8);
    return isNCName(name.data(), name.data() + name.size());
}

bool isValidQName(char const* utf8) {
    std::wstring name = toWide(utf8);
    wchar_t const* begin = name.data();
    wchar_t const* end = begin + name.size();
    wchar_t const* colon = std::find(begin, end, L':');
    if (colon == end) return isNCName(begin, end);
    return isNCName(begin, colon) && isNCName(colon + 1, end);
}

bool isXmlText(std::string_view utf8) {
    auto const* b = reinterpret_cast<unsigned char const*>(utf8.data());
    for (size_t i = 0, n = utf8.size(); i < n; ++i) {
        unsigned char c = b[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        if (c == 0xEF && i + 2 < n && b[i + 1] == 0xBF && (b[i + 2] == 0xBE || b[i + 2] == 0xBF)) return false;
    }
    return true;
}

bool isDeclarableNamespace(char const* prefix, char const* uri) {
    if (!isXmlText(uri)) return false;
    bool const xmlPrefix = prefix && std::strcmp(prefix, "xml") == 0;
    if (xmlStrEqual(BAD_CAST uri, XML_XML_NAMESPACE) != xmlPrefix) return false;
    return std::strcmp(uri, "http://www.w3.org/2000/xmlns/") != 0;
}

}  // namespace mx
