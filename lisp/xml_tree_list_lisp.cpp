// Whole trees as element lists in one call, both ways: ELEMENT-TO-LIST,
// DOCUMENT-TO-LIST and READ-XML-LIST build the lists in C++ from the tree's
// event stream (no handle for any inner element); LIST-TO-DOCUMENT builds a
// document from lists of either form. Neither direction recurses, so any
// depth that fits in memory works.
#include <algorithm>
#include <cwchar>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "lisp/DOMHandleCache.h"
#include "lisp/TreeListBuilder.h"
#include "lisp/xml_lisp_private.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"

namespace {

using ElementPtr = XmlSmartPtr<TrelDOMElement>;

// :MIXED, after the one required argument.
bool mixedArgument() {
    if (vs.count() < 1) too_few_arguments();
    static LAOBJ* const mixed = make_keyword("MIXED");
    parse_key(vs_base + 1, false, false, 1, mixed);
    return vs_base[1] != Cnil;
}

LAOBJ* elementList(TrelDOMElement const* element, bool mixed) {
    if (!element) return Cnil;
    TreeListBuilder builder(mixed);
    bool const streamed = streamTreeElement(element, builder);
    builder.resumeExit();
    return streamed ? builder.result() : Cnil;
}

bool isString(LAOBJ* object) { return type_of(object) == kind_string; }
bool isCons(LAOBJ* object) { return type_of(object) == kind_cons; }

// The nth item of a list; nil past its end, a dotted end included, so that
// no shape of list makes the host signal.
LAOBJ* itemOf(LAOBJ* list, int n) {
    for (; n > 0 && isCons(list); --n) list = cdr(list);
    return isCons(list) ? car(list) : Cnil;
}

// Whether following the list's cdrs comes to an end: a circular list would
// otherwise be walked forever.
bool isFinite(LAOBJ* list) {
    LAOBJ* slow = list;
    for (LAOBJ* fast = list; isCons(fast) && isCons(cdr(fast));) {
        fast = cdr(cdr(fast));
        slow = cdr(slow);
        if (fast == slow) return false;
    }
    return true;
}

// Documents from lists. Forgiving like XML-LIST-TO-DOCUMENT, but an item of
// the wrong type fails its element instead of signalling: an element fails
// for a tag that is no string, attributes that are no list, an attribute
// entry that is no pair or whose name or value is a cons, and content that
// is neither nil, a string nor a list, and for circular attributes or
// content and an element list inside itself, which would build forever.
// Pairs of other atoms are skipped; a failed child is left out by its
// parent. A string holding a NUL anywhere refuses the whole list.
class DocumentBuilder {
public:
    explicit DocumentBuilder(TrelDOMDocument const* document) : document_(document) {}

    ElementPtr build(LAOBJ* list) {
        ElementPtr root = start(list);
        while (!open_.empty() && !refused_) {
            Frame& frame = open_.back();
            if (!isCons(frame.rest)) {
                bindings_.resize(frame.mark);
                openLists_.erase(frame.list);
                open_.pop_back();
                continue;
            }
            LAOBJ* entry = car(frame.rest);
            frame.rest = cdr(frame.rest);
            if (isString(entry)) {
                if (WideCopy text = copy(entry)) frame.run.emplace_back(text.get());
                if (!isCons(frame.rest)) endRun(frame);
            } else {
                endRun(frame);
                bool const preserve = frame.preserve;
                start(entry, ElementPtr(frame.element), preserve);  // may move frame
            }
        }
        return refused_ ? nullptr : root;
    }

private:
    struct Frame {
        ElementPtr element;
        LAOBJ* list;                    // the element list it was built from
        LAOBJ* rest;                    // the content entries still to build
        std::size_t mark;               // its namespace bindings begin here
        bool preserve;                  // xml:space="preserve" in scope
        std::vector<std::wstring> run;  // the strings met since the last child
    };

    // Each string becomes a text node, except that a run of strings of white
    // space only goes outside xml:space="preserve", as reading drops it.
    static void endRun(Frame& frame) {
        bool const keep = frame.preserve || std::any_of(frame.run.begin(), frame.run.end(), [](auto const& text) {
                              return text.find_first_not_of(L" \t\r\n") != std::wstring::npos;
                          });
        if (keep)
            for (std::wstring const& text : frame.run) appendTextChild(frame.element, text.c_str());
        frame.run.clear();
    }

    // xml:space among the attributes, or the setting in scope.
    static bool preserves(LAOBJ* attributes, bool inherited) {
        for (; isCons(attributes); attributes = cdr(attributes)) {
            LAOBJ* entry = car(attributes);
            if (!isCons(entry) || !isString(car(entry)) || !isString(cdr(entry))) continue;
            WideCopy name = copyString(car(entry));
            WideCopy value = copyString(cdr(entry));
            if (!name || !value || std::wcscmp(name.get(), L"xml:space") != 0) continue;
            if (std::wcscmp(value.get(), L"preserve") == 0) return true;
            if (std::wcscmp(value.get(), L"default") == 0) return false;
        }
        return inherited;
    }

    // The element with its attributes and text, in the namespace its prefix
    // is bound to where it stands, added to parent (when there is one) before
    // its text is set, so that the text sees the xml:space in scope; a
    // content list is left on the stack for build to go through.
    ElementPtr start(LAOBJ* list, ElementPtr const& parent = nullptr, bool preserve = false) {
        if (!isCons(list) || !isString(car(list)) || openLists_.contains(list)) return nullptr;
        LAOBJ* attributes = itemOf(list, 1);
        LAOBJ* content = itemOf(list, 2);
        if (content != Cnil && !isString(content) && !isCons(content)) return nullptr;
        if (!isFinite(attributes) || !isFinite(content)) return nullptr;
        std::size_t const mark = bindings_.size();
        ElementPtr element;
        if (WideCopy tag = copy(car(list)); tag && declare(attributes)) element = create(tag.get());
        if (element && setAttributes(element, attributes) &&
            (!parent || parent->addChild(static_cast<TrelDOMElement const*>(element)))) {
            if (isString(content)) {
                if (WideCopy text = copy(content)) element->setText(text.get());
            } else if (content != Cnil) {
                open_.push_back(Frame{element, list, content, mark, preserves(attributes, preserve), {}});
                openLists_.insert(list);
                return element;
            }
        } else {
            element = nullptr;
        }
        bindings_.resize(mark);
        return element;
    }

    // The xmlns attributes among the entries, as bindings in scope; false
    // when the attributes are no list.
    bool declare(LAOBJ* attributes) {
        for (; isCons(attributes); attributes = cdr(attributes)) {
            LAOBJ* entry = car(attributes);
            if (!isCons(entry) || !isString(car(entry)) || !isString(cdr(entry))) continue;
            WideCopy name = copy(car(entry));
            WideCopy uri = copy(cdr(entry));
            if (!name || !uri) continue;
            std::wstring_view const n(name.get());
            if (n != L"xmlns" && !n.starts_with(L"xmlns:")) continue;
            bindings_.push_back({std::wstring(n.substr(n.size() > 5 ? 6 : 5)), std::wstring(uri.get())});
        }
        return attributes == Cnil;
    }

    TrelDOMElement* create(wchar_t const* tag) const {
        std::wstring_view const name(tag);
        std::size_t const colon = name.find(L':');
        std::wstring_view const prefix = colon == name.npos ? std::wstring_view() : name.substr(0, colon);
        for (auto binding = bindings_.rbegin(); binding != bindings_.rend(); ++binding)
            if (binding->first == prefix)
                return binding->second.empty() ? document_->createElement(tag)
                                               : document_->createElementNS(tag, binding->second.c_str());
        return document_->createElement(tag);
    }

    bool setAttributes(TrelDOMElement* element, LAOBJ* attributes) {
        for (; attributes != Cnil; attributes = cdr(attributes)) {
            if (!isCons(attributes)) return false;
            LAOBJ* entry = car(attributes);
            if (!isCons(entry) || isCons(car(entry)) || isCons(cdr(entry))) return false;
            WideCopy name = copy(car(entry));
            WideCopy value = copy(cdr(entry));
            if (name && value) element->setAttribute(name.get(), value.get());
        }
        return true;
    }

    // copyString, noting a string that holds a NUL.
    WideCopy copy(LAOBJ* object) {
        WideCopy text = copyString(object);
        if (isUnreadableString(object, text)) refused_ = true;
        return text;
    }

    TrelDOMDocument const* document_;
    bool refused_ = false;
    std::vector<Frame> open_;
    std::unordered_set<LAOBJ*> openLists_;                         // those of open_, to refuse a list inside itself
    std::vector<std::pair<std::wstring, std::wstring>> bindings_;  // prefix, URI
};

}  // namespace

// element &key :mixed
void Lelement_to_list() {
    bool const mixed = mixedArgument();
    setResult(elementList(getElement(vs_base[0]), mixed));
}

// document &key :mixed
void Ldocument_to_list() {
    bool const mixed = mixedArgument();
    TrelDOMDocument* document = getDocument(vs_base[0]);
    ElementPtr root(document ? document->getRoot() : nullptr);
    setResult(elementList(root, mixed));
}

// file &key :mixed. Blank text goes as it does when the file is read into a
// document, so both give the same lists.
void Lread_xml_list() {
    bool const mixed = mixedArgument();
    WideCopy path = copyString(vs_base[0]);
    if (!path) return setResult(Cnil);
    FileListBuilder builder(mixed);
    bool const streamed = streamTreeFile(path.get(), builder);
    builder.resumeExit();
    setResult(streamed ? builder.result() : Cnil);
}

// element-list: nil unless a root element was built.
void Llist_to_document() {
    vs.check_arg(1);
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
    if (!document) return setResult(Cnil);
    ElementPtr root = DocumentBuilder(document).build(vs_base[0]);
    if (!root || !document->setRoot(root)) return setResult(Cnil);
    setResult(makeStructure(static_cast<TrelDOMDocument const*>(document)));
}
