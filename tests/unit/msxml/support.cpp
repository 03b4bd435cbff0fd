#include "support.h"

#include <algorithm>
#include <sstream>

namespace msxmltest {

XmlSmartPtr<TrelDOMDocument> BackendTest::newDocument() const { return factory()->createDocument(); }

XmlSmartPtr<TrelDOMDocument> BackendTest::parse(wchar_t const* text) const {
    XmlSmartPtr<TrelDOMDocument> document(factory()->createDocument());
    if (!document || !document->loadXML(text)) return nullptr;
    return document;
}

XmlSmartPtr<TrelDOMElement> rootOf(TrelDOMDocument const* document) { return document->getRoot(); }

XmlSmartPtr<TrelDOMElement> at(TrelDOMElement const* context, wchar_t const* path) {
    return context->selectElement(path);
}

XmlSmartPtr<TrelDOMNode> nodeAt(TrelDOMElement const* context, wchar_t const* path) {
    return context->selectNode(path);
}

std::wstring str(wchar_t const* s) { return s ? std::wstring(s) : std::wstring(L"(null)"); }

namespace {

class TagCollector : public TrelDOMElementVisitor {
public:
    explicit TagCollector(std::vector<std::wstring>& tags) : tags_(tags) {}
    bool visit(TrelDOMElement const* element) override {
        tags_.push_back(str(element->getTag()));
        return true;
    }

private:
    std::vector<std::wstring>& tags_;
};

class AttributeCollector : public TrelDOMAttributeVisitor {
public:
    bool visit(TrelDOMAttribute const* attribute) override {
        lines.push_back(str(attribute->getKey()) + L"=" + str(attribute->getValue()));
        return true;
    }
    std::vector<std::wstring> lines;
};

class Describer : public TrelDOMElementVisitor {
public:
    bool visit(TrelDOMElement const* element) override {
        AttributeCollector attributes;
        element->scanAttributes(&attributes);
        std::sort(attributes.lines.begin(), attributes.lines.end());
        out << str(element->getTag()) << L" {" << str(element->getNamespace()) << L"} [";
        for (auto const& line : attributes.lines) out << line << L";";
        out << L"] \"" << str(element->getText()) << L"\" (";
        element->scanChildren(this);
        out << L")";
        return true;
    }
    std::wostringstream out;
};

}  // namespace

std::vector<std::wstring> childTags(TrelDOMElement const* element) {
    std::vector<std::wstring> tags;
    TagCollector collector(tags);
    element->scanChildren(&collector);
    return tags;
}

std::wstring describe(TrelDOMElement const* element) {
    if (!element) return L"(no element)";
    Describer describer;
    describer.visit(element);
    return describer.out.str();
}

}  // namespace msxmltest
