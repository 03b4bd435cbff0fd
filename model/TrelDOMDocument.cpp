#include "model/TrelDOMDocument.h"

#include <cwchar>

#include "core/XmlSmartPtr.h"
#include "core/XmlValueText.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"
#include "model/TrelXSLTProcessor.h"
#include "model/XmlObjectFactory.h"

namespace {

constexpr unsigned kValueTextSize = 1024;

// A count-0 node cast to T; a node of another kind is released (and so
// deleted) and gives null.
template <class T>
T* keepIf(TrelDOMNode* node) {
    if (!node) return nullptr;
    if (T* wanted = dynamic_cast<T*>(node)) return wanted;
    XmlSmartPtr<TrelDOMNode> discard(node);
    return nullptr;
}

}  // namespace

TrelDOMDocument::TrelDOMDocument() { XmlObjectFactory::getInstance()->noteCreated(this); }

TrelDOMDocument::~TrelDOMDocument() { XmlObjectFactory::getInstance()->noteDeleted(this); }

TrelDOMElement* TrelDOMDocument::createElement(wchar_t const* tag, bool value) const {
    return createElement(tag, value ? L"true" : L"false");
}

TrelDOMElement* TrelDOMDocument::createElement(wchar_t const* tag, double value) const {
    wchar_t text[kValueTextSize];
    writeDouble(text, kValueTextSize, value);
    return createElement(tag, static_cast<wchar_t const*>(text));
}

TrelDOMElement* TrelDOMDocument::createElement(wchar_t const* tag, long value) const {
    wchar_t text[kValueTextSize];
    std::swprintf(text, kValueTextSize, L"%ld", value);
    return createElement(tag, static_cast<wchar_t const*>(text));
}

TrelDOMElement* TrelDOMDocument::selectElement(wchar_t const* path) const {
    return keepIf<TrelDOMElement>(selectNode(path));
}

TrelDOMAttribute* TrelDOMDocument::selectAttribute(wchar_t const* path) const {
    return keepIf<TrelDOMAttribute>(selectNode(path));
}

wchar_t const* TrelDOMDocument::getText(wchar_t const* path) const {
    // The strings belong to this document, so they outlive the node wrapper.
    XmlSmartPtr<TrelDOMNode> node(selectNode(path));
    if (!node) return nullptr;
    if (auto const* element = dynamic_cast<TrelDOMElement const*>(static_cast<TrelDOMNode*>(node)))
        return element->getText();
    if (auto const* attribute = dynamic_cast<TrelDOMAttribute const*>(static_cast<TrelDOMNode*>(node)))
        return attribute->getValue();
    return nullptr;
}

bool TrelDOMDocument::save(wchar_t const* path, bool indent) const { return save(path, XmlEncoding::UTF8, indent); }

bool TrelDOMDocument::transform(wchar_t const* stylesheet, wchar_t const* outputPath) const {
    XmlSmartPtr<TrelXSLTProcessor> processor(XmlObjectFactory::getInstance()->createXSLTProcessor(stylesheet));
    return processor && processor->transform(this, outputPath);
}

TrelDOMDocument* TrelDOMDocument::transform(wchar_t const* stylesheet) const {
    XmlSmartPtr<TrelXSLTProcessor> processor(XmlObjectFactory::getInstance()->createXSLTProcessor(stylesheet));
    return processor ? processor->transform(this) : nullptr;
}

void TrelDOMDocument::scanTree(TrelDOMElementVisitor* v) const {
    XmlSmartPtr<TrelDOMElement> root(getRoot());
    if (root) root->scanTree(v);
}

bool TrelDOMDocument::addXMLDeclaration() { return addXMLDeclaration(XmlEncoding::UTF8); }
