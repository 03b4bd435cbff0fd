// Shared by the engine-backed model tests: the live-object fixture with a
// temporary folder, and trees read back as plain values.
#pragma once

#include <string>
#include <vector>

#include "model/TrelDOMAttribute.h"
#include "platform/host/ux_string.h"
#include "tests/unit/common/live_objects.h"
#include "tests/unit/common/temp_files.h"

namespace msxmltest {

using testfiles::parse;
using testfiles::str;
using testfiles::writeFile;

class BackendTest : public testfiles::LiveObjectTest {
protected:
    XmlSmartPtr<TrelDOMDocument> newDocument() const { return factory()->createDocument(); }
    std::filesystem::path const& dir() const { return dir_.path(); }
    std::wstring file(char const* name) const { return dir_.file(name); }

private:
    testfiles::TempDir dir_;
};

inline XmlSmartPtr<TrelDOMElement> rootOf(TrelDOMDocument const* document) { return document->getRoot(); }
inline XmlSmartPtr<TrelDOMElement> at(TrelDOMElement const* context, wchar_t const* path) {
    return context->selectElement(path);
}
inline XmlSmartPtr<TrelDOMNode> nodeAt(TrelDOMElement const* context, wchar_t const* path) {
    return context->selectNode(path);
}

// Calls `f` on every element or attribute a scan shows.
template <class F>
struct EachElement : TrelDOMElementVisitor {
    F f;
    explicit EachElement(F fn) : f(fn) {}
    bool visit(TrelDOMElement const* element) override { return f(element), true; }
};
template <class F>
struct EachAttribute : TrelDOMAttributeVisitor {
    F f;
    explicit EachAttribute(F fn) : f(fn) {}
    bool visit(TrelDOMAttribute const* attribute) override { return f(attribute), true; }
};

inline std::wstring keyValue(TrelDOMAttribute const* a) { return str(a->getKey()) + L"=" + str(a->getValue()); }

// The tags of the element children, in order.
inline std::vector<std::wstring> childTags(TrelDOMElement const* element) {
    std::vector<std::wstring> tags;
    EachElement each([&](TrelDOMElement const* e) { tags.push_back(str(e->getTag())); });
    element->scanChildren(&each);
    return tags;
}

// The document's text without indentation.
inline std::wstring flat(TrelDOMDocument const* document) {
    wchar_t* text = nullptr;
    if (!document->saveXML(&text, false)) return L"(failed)";
    std::wstring result(text);
    ux_strfree(text);
    return result;
}

}  // namespace msxmltest
