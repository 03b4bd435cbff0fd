#include "platform/msxml6/write_check.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/engine.h"

namespace mx {

namespace {

// A prefixed name never bound keeps its whole "p:x" as the name, no namespace.
bool isBound(xmlNodePtr n) { return n->ns || !strchr(reinterpret_cast<char const*>(n->name), ':'); }

// Only attributes in a namespace can clash (p:a and q:a, p and q one URI):
// their expanded names are sorted, so that an element with many stays cheap.
bool attributesDistinct(xmlNodePtr element) {
    thread_local std::vector<std::pair<std::string_view, std::string_view>> names;
    names.clear();
    for (xmlAttrPtr a = element->properties; a; a = a->next)
        if (a->ns) names.emplace_back(sv(a->ns->href), sv(a->name));
    if (names.size() < 2) return true;
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) == names.end();
}

// Namespace names are attribute values to the reader: XML characters only.
bool namespaceNamesAreText(xmlNodePtr element) {
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
        if (!isXmlText(sv(ns->href))) return false;
    return true;
}

bool nodeWritable(xmlNodePtr n) {
    switch (n->type) {
    case XML_ELEMENT_NODE: return isBound(n) && attributesDistinct(n) && namespaceNamesAreText(n);
    case XML_ATTRIBUTE_NODE: return isBound(n);
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE: return isXmlText(sv(n->content));
    case XML_COMMENT_NODE: return isCommentText(sv(n->content));
    case XML_PI_NODE: return isPIData(sv(n->content));
    default: return true;
    }
}

std::string upper(char const* s) {
    std::string out;
    for (; *s; ++s) out += static_cast<char>(toupper(static_cast<unsigned char>(*s)));
    return out;
}

// UTF-8 and UTF-16 (either byte order): the reader recognises them from the
// first bytes, and they hold every character.
bool isUnicode(std::string const& name) {
    return name == "UTF-8" || name == "UTF8" || name.starts_with("UTF-16") || name.starts_with("UTF16");
}

class Converter {
public:
    explicit Converter(char const* encoding) : cd_(iconv_open(encoding, "UTF-8")) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(Converter const&) = delete;
    Converter& operator=(Converter const&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // False when some character of `s` has no form in the encoding.
    bool converts(std::string_view s, std::string* out = nullptr) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(s.data());
        size_t inLeft = s.size();
        char buffer[256];
        while (inLeft > 0) {
            char* o = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(cd_, &in, &inLeft, &o, &outLeft);
            if (out) out->append(buffer, static_cast<size_t>(o - buffer));
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

// Markup must come out as the same bytes as in ASCII, or the reader cannot
// even find the declaration that names the encoding.
bool asciiCompatible(Converter& converter) {
    std::string_view sample = "<?xml version=\"1.0\" encoding=\"x\"?><a:b c='&#9;'>]]></a:b>\n";
    std::string out;
    return converter.converts(sample, &out) && out == sample;
}

// Names and the literals that have no character references.
bool nodeConverts(xmlNodePtr n, Converter& converter) {
    switch (n->type) {
    case XML_ELEMENT_NODE:
        for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
            if (!converter.converts(sv(ns->prefix))) return false;
        return converter.converts(sv(n->name)) && (!n->ns || converter.converts(sv(n->ns->prefix)));
    case XML_ATTRIBUTE_NODE:
        return converter.converts(sv(n->name)) && (!n->ns || converter.converts(sv(n->ns->prefix)));
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE: return converter.converts(sv(n->content));
    case XML_PI_NODE: return converter.converts(sv(n->name)) && converter.converts(sv(n->content));
    default: return true;
    }
}

// A node, and a document only with its root element.
bool hasRoot(xmlNodePtr top) {
    return top && (top->type != XML_DOCUMENT_NODE || xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(top)));
}

// The converter for a legacy encoding, or none for Unicode; false when the
// encoding cannot carry XML at all.
bool legacyConverter(char const* encoding, std::optional<Converter>& converter) {
    std::string name = upper(encoding ? encoding : "UTF-8");
    if (isUnicode(name)) return true;
    converter.emplace(name.c_str());
    return converter->ok() && asciiCompatible(*converter);
}

}  // namespace

bool isCommentText(std::string_view utf8) {
    return isXmlText(utf8) && utf8.find("--") == std::string_view::npos && !utf8.ends_with('-');
}

bool isPIData(std::string_view utf8) { return isXmlText(utf8) && utf8.find("?>") == std::string_view::npos; }

bool treeWritable(xmlNodePtr top) { return hasRoot(top) && everyNode(top, nodeWritable); }

bool writableIn(xmlNodePtr top, char const* encoding) {
    std::optional<Converter> converter;
    if (!legacyConverter(encoding, converter)) return false;
    return !converter || everyNode(top, [&](xmlNodePtr n) { return nodeConverts(n, *converter); });
}

bool treeSavable(xmlNodePtr top, char const* encoding) {
    std::optional<Converter> converter;
    if (!hasRoot(top) || !legacyConverter(encoding, converter)) return false;
    auto fits = [&](xmlNodePtr n) { return nodeWritable(n) && (!converter || nodeConverts(n, *converter)); };
    return everyNode(top, fits, kMaxTreeDepth);
}

}  // namespace mx
