// Trees built through the module's object model from a fuzzer-described
// series of calls over two documents: create, set text and attributes with
// arbitrary strings, add, move, remove, set the root, let go; then every
// document is saved in every mode, and what saves must load again.
#include "fuzz_support.h"

#include <vector>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/ux_string.h"

namespace {

using Element = XmlSmartPtr<TrelDOMElement>;
using Document = XmlSmartPtr<TrelDOMDocument>;

size_t const kMaxElements = 48;

class Calls {
public:
    Calls(uint8_t const* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // Mostly characters that make names and markup, sometimes any code point.
    std::wstring text() {
        static wchar_t const kCommon[] = L"abcxyz:_-.1 <&>\"'\t\n\r]";
        std::wstring out;
        for (size_t n = byte() % 12; n > 0 && !done(); --n) {
            uint8_t b = byte();
            if (b < 0xC0) {
                out += kCommon[b % (sizeof kCommon / sizeof kCommon[0] - 1)];
                continue;
            }
            uint32_t v = (uint32_t(b & 0x3F) << 16) | (uint32_t(byte()) << 8) | byte();
            out += static_cast<wchar_t>(v % 0x110000);
        }
        return out;
    }

private:
    uint8_t const* data_;
    size_t size_;
    size_t pos_ = 0;
};

class Builder {
public:
    explicit Builder(Calls& calls) : calls_(calls) {
        for (auto& d : docs_) d = XmlObjectFactory::getInstance()->createDocument();
    }
    void step();
    std::vector<Document> const& documents() const { return docs_; }

private:
    TrelDOMDocument* doc() { return docs_[calls_.byte() % docs_.size()]; }
    TrelDOMElement* pick() {
        return pool_.empty() ? nullptr : static_cast<TrelDOMElement*>(pool_[calls_.byte() % pool_.size()]);
    }
    void keep(TrelDOMElement* e) {
        if (e && pool_.size() < kMaxElements)
            pool_.push_back(e);
        else if (e)
            Element dropped(e);  // a count-0 result must still be let go
    }
    void onElement(uint8_t op, TrelDOMElement* e);

    Calls& calls_;
    std::vector<Document> docs_{2};
    std::vector<Element> pool_;
};

void Builder::step() {
    uint8_t op = calls_.byte() % 20;
    switch (op) {
    case 0: keep(doc()->createElement(calls_.text().c_str())); return;
    case 1:
    case 2: {  // the document first, then the two strings
        TrelDOMDocument* d = doc();
        std::wstring const a = calls_.text(), b = calls_.text();
        keep(op == 1 ? d->createElementNS(a.c_str(), b.c_str()) : d->createElement(a.c_str(), b.c_str()));
        return;
    }
    case 3: doc()->setRoot(pick()); return;
    case 4: keep(doc()->getRoot()); return;
    case 5: doc()->addComment(calls_.text().c_str()); return;
    case 6: doc()->addXMLDeclaration(calls_.byte() & 1 ? XmlEncoding::UTF16 : XmlEncoding::UTF8); return;
    case 7: {
        TrelDOMDocument* d = doc();
        keep(d->selectElement(calls_.text().c_str()));
        return;
    }
    case 8:
        if (!pool_.empty()) pool_.erase(pool_.begin() + calls_.byte() % pool_.size());  // let go
        return;
    default:
        if (TrelDOMElement* e = pick()) onElement(op, e);
        return;
    }
}

void Builder::onElement(uint8_t op, TrelDOMElement* e) {
    Element hold(e);  // the pool may change below
    switch (op) {
    case 9: e->setText(calls_.text().c_str()); return;
    case 10:
    case 13: {
        std::wstring const a = calls_.text(), b = calls_.text();
        if (op == 10)
            e->setAttribute(a.c_str(), b.c_str());
        else
            e->addChild(a.c_str(), b.c_str());
        return;
    }
    case 11: e->addChild(pick()); return;  // attaches, or moves (also across documents)
    case 12: keep(e->addChild(calls_.text().c_str())); return;
    case 14: {
        // Removing: the element moves under a new element that is never attached.
        Element holder(doc()->createElement(L"holder"));
        if (holder) holder->addChild(e);
        return;
    }
    case 15: e->addComment(calls_.text().c_str()); return;
    case 16: keep(e->getParent()); return;
    case 17: keep(e->getFirstChild()); return;
    case 18: keep(e->selectElement(calls_.text().c_str())); return;
    default: e->getAttributeValue(calls_.text().c_str()), e->getText(), e->childCount(); return;
    }
}

// Every mode of saving; a save that succeeds must give a file that loads.
void saveEveryWay(TrelDOMDocument const* doc, std::wstring const& path) {
    for (bool indent : {false, true}) {
        wchar_t* text = nullptr;
        if (doc->saveXML(&text, indent) && !text) fuzz::fail("saveXML succeeded without text");
        ux_strfree(text);
        for (XmlEncoding const* encoding : {&XmlEncoding::UTF8, &XmlEncoding::UTF16}) {
            if (!doc->save(path.c_str(), *encoding, indent)) continue;
            Document again(XmlObjectFactory::getInstance()->createDocument());
            if (!again->load(path.c_str())) fuzz::fail("a saved document does not load again");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    static std::wstring const path = fuzz::scratchFile("model.xml");
    Calls calls(data, size);
    Builder builder(calls);
    while (!calls.done()) builder.step();
    for (Document const& d : builder.documents()) saveEveryWay(d, path);
    return 0;
}
