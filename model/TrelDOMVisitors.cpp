#include "model/TrelDOMVisitors.h"

#include <deque>

#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"

bool ChildCollector::visit(TrelDOMElement const* element) {
    // The array holds references for its own use; the model hands elements to
    // visitors as const only to keep visitors from editing during a scan.
    out_.append(XmlSmartPtr<TrelDOMElement>(const_cast<TrelDOMElement*>(element)));
    return true;
}

namespace {

// Levels walked by nested scans before the walk goes on from its own stack.
constexpr int kNestedLevels = 64;

}  // namespace

bool RecursiveVisitor::visit(TrelDOMElement const* element) {
    if (!inner_->visit(element)) return false;
    if (level_ >= kNestedLevels) return walkBelow(element);
    ++level_;
    bool const result = element->scanChildren(this);
    --level_;
    return result;
}

// The descendants of top, in the order of the nested scans; each element's
// children are taken as a snapshot right after the element was visited.
bool RecursiveVisitor::walkBelow(TrelDOMElement const* top) {
    // Each frame keeps its element: a node object released below an element
    // that has one is settled at once, without a climb to the top.
    struct Frame {
        XmlSmartPtr<TrelDOMElement const> element;
        TrelDOMElementPtrArray children;
        long next = 0;
    };
    std::deque<Frame> frames(1);  // frames never move: the arrays cannot
    // Deepest first: then every element given back still has its parent.
    auto const stop = [&frames] {
        while (!frames.empty()) frames.pop_back();
        return false;
    };
    frames.back().element = top;
    ChildCollector collector(frames.back().children);
    if (!top->scanChildren(&collector)) return false;
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.next == frame.children.size()) {
            frames.pop_back();
            continue;
        }
        XmlSmartPtr<TrelDOMElement> element(frame.children.elt(frame.next));
        frame.children.elt(frame.next++) = nullptr;
        if (!inner_->visit(element)) return stop();
        frames.emplace_back();
        frames.back().element = static_cast<TrelDOMElement const*>(element);
        ChildCollector children(frames.back().children);
        if (!element->scanChildren(&children)) return stop();
    }
    return true;
}

bool ChildMoveVisitor::visit(TrelDOMElement const* element) {
    target_->addChild(element);
    return true;
}

bool AttributeCopyVisitor::visit(TrelDOMAttribute const* attribute) {
    wchar_t const* key = attribute->getKey();
    if (!key || target_->getAttributeValue(key)) return true;
    target_->setAttribute(key, attribute->getValue());
    return true;
}
