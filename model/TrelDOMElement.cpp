#include "model/TrelDOMElement.h"

#include <cmath>
#include <cwchar>

#include "core/XmlValueText.h"
#include "model/TrelDOMVisitors.h"

namespace {

wchar_t const* boolText(bool value) { return value ? L"true" : L"false"; }

// The fixed text form of a number, as the typed writers pass it on.
class ValueText {
public:
    template <class T>
    ValueText(wchar_t const* format, T value) {
        std::swprintf(text_, kSize, format, value);
    }
    explicit ValueText(double value) { writeDouble(text_, kSize, value); }
    wchar_t const* c_str() const { return text_; }

private:
    static constexpr unsigned kSize = 1024;
    wchar_t text_[kSize];
};

// One value of `format` scanned from `text`; `fallback` when there is no
// text or nothing scans.
template <class T>
T scanOr(wchar_t const* text, wchar_t const* format, T fallback) {
    T value{};
    if (!text || std::swscanf(text, format, &value) != 1) return fallback;
    return value;
}

}  // namespace

void TrelDOMElement::getChildren(wchar_t const* tag, TrelDOMElementPtrArray& out) const {
    ChildCollector collector(out);
    scanChildren(tag, &collector);
}

void TrelDOMElement::getChildren(TrelDOMElementPtrArray& out) const {
    ChildCollector collector(out);
    scanChildren(&collector);
}

bool TrelDOMElement::scanTree(TrelDOMElementVisitor* v) const {
    RecursiveVisitor walker(v);
    return walker.visit(this);
}

bool TrelDOMElement::addChild(wchar_t const* tag, bool value) { return addChild(tag, boolText(value)); }
bool TrelDOMElement::addChild(wchar_t const* tag, int value) { return addChild(tag, ValueText(L"%d", value).c_str()); }
bool TrelDOMElement::addChild(wchar_t const* tag, unsigned long value) {
    return addChild(tag, ValueText(L"%lu", value).c_str());
}
bool TrelDOMElement::addChild(wchar_t const* tag, double value) { return addChild(tag, ValueText(value).c_str()); }

bool TrelDOMElement::setAttribute(wchar_t const* key, bool value) { return setAttribute(key, boolText(value)); }
bool TrelDOMElement::setAttribute(wchar_t const* key, int value) {
    return setAttribute(key, ValueText(L"%d", value).c_str());
}
bool TrelDOMElement::setAttribute(wchar_t const* key, long value) {
    return setAttribute(key, ValueText(L"%ld", value).c_str());
}
bool TrelDOMElement::setAttribute(wchar_t const* key, unsigned long value) {
    return setAttribute(key, ValueText(L"%lu", value).c_str());
}
bool TrelDOMElement::setAttribute(wchar_t const* key, double value) {
    return setAttribute(key, ValueText(value).c_str());
}

bool TrelDOMElement::getBoolAttributeValue(wchar_t const* key) const { return equalsTrue(getAttributeValue(key)); }

int TrelDOMElement::getIntAttributeValue(wchar_t const* key) const { return scanOr(getAttributeValue(key), L"%d", 0); }

long TrelDOMElement::getLongAttributeValue(wchar_t const* key) const {
    return scanOr(getAttributeValue(key), L"%ld", 0L);
}

unsigned long TrelDOMElement::getULongAttributeValue(wchar_t const* key) const {
    return scanOr(getAttributeValue(key), L"%lu", 0UL);
}

double TrelDOMElement::getDoubleAttributeValue(wchar_t const* key) const {
    double value = 0;
    wchar_t const* text = getAttributeValue(key);
    if (!text || !readDouble(text, value)) return std::nan("");
    return value;
}

bool TrelDOMElement::getBoolText(bool& out) const {
    wchar_t const* text = getText();
    if (!text) return false;
    out = equalsTrue(text);
    return true;
}

bool TrelDOMElement::getDoubleText(double& out) const {
    wchar_t const* text = getText();
    return text && readDouble(text, out);
}

bool TrelDOMElement::getULongText(unsigned long& out) const {
    wchar_t const* text = getText();
    return text && std::swscanf(text, L"%lu", &out) == 1;
}

bool TrelDOMElement::merge(TrelDOMElement const* other) {
    if (!other || other == this) return false;
    // Asked even when the other has no text either: an implementation may
    // give setText(null) a meaning of its own.
    if (!getText()) setText(other->getText());
    AttributeCopyVisitor copier(this);
    other->scanAttributes(&copier);
    ChildMoveVisitor mover(this);
    other->scanChildren(&mover);
    return true;
}
