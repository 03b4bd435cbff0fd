// Child cursors: a tree walk reads each child list as it goes instead of
// collecting it first, which would cost a pass over every list (each child
// of a large tree is far from the last in memory). A cursor still gives
// exactly the children its element had when it was opened: every change that
// links or unlinks a node calls beforeTreeChange first, and the open cursors
// of the thread then take hold of their remaining children.
//
// Until that happens, nothing in the tree has moved since the cursor was
// opened, so the child it gave last is still in place and its `next` link
// leads to the following one. The cursor holds its element's object, which
// keeps the element's whole tree alive.
#include <vector>

#include "platform/msxml6/dom_node.h"
#include "platform/msxml6/thread_state.h"

namespace mx {
namespace {

class ChildCursor;

// The cursors of a thread that still read their tree.
struct OpenCursors {
    ChildCursor* first = nullptr;
    ~OpenCursors();
};

class ChildCursor final : public ComObject<IXMLDOMChildCursor, IID_IXMLDOMChildCursor> {
public:
    // Opens over `parent` (a live element object), reading as it goes when
    // `open` is there to watch for changes, else holding every child now.
    HRESULT open(Node* parent, OpenCursors* cursors) {
        parent_ = parent;
        parent_->addRef();
        last_ = nullptr;
        held_.clear();
        taken_ = 0;
        failed_ = false;
        if (!cursors) return hold() ? S_OK : E_FAIL;
        cursors_ = cursors;
        prev_ = nullptr;
        next_ = cursors->first;
        if (next_) next_->prev_ = this;
        cursors->first = this;
        return S_OK;
    }

    HRESULT next(IXMLDOMElement** child, IXMLDOMNodeReader** reader) override {
        if (!child || !reader) return E_POINTER;
        *child = nullptr;
        *reader = nullptr;
        Node* found = nullptr;
        if (cursors_) {
            if (!parent_->node) return E_FAIL;
            xmlNodePtr c = last_ ? last_->next : parent_->node->children;
            while (c && c->type != XML_ELEMENT_NODE) c = c->next;
            if (!c) return S_FALSE;
            IXMLDOMNode* object = wrapNode(c);
            if (!object) return E_FAIL;
            last_ = c;
            found = static_cast<Node*>(static_cast<IXMLDOMElement*>(object));
        } else {
            if (taken_ == held_.size()) return failed_ ? E_FAIL : S_FALSE;
            found = held_[taken_];
            held_[taken_++] = nullptr;
        }
        *child = static_cast<IXMLDOMElement*>(found);
        *reader = static_cast<IXMLDOMNodeReader*>(found);
        return S_OK;
    }

    // Takes a reference to every child not given yet and stops reading the
    // tree. False when an object could not be made; next() then fails after
    // the ones it has.
    bool hold() {
        stopWatching();
        xmlNodePtr c = last_ ? last_->next : parent_->node ? parent_->node->children : nullptr;
        for (; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE) continue;
            IXMLDOMNode* object = wrapNode(c);
            if (!object) {
                failed_ = true;
                return false;
            }
            held_.push_back(static_cast<Node*>(static_cast<IXMLDOMElement*>(object)));
        }
        return true;
    }

    // The children not given and the element are let go.
    ~ChildCursor() override {
        stopWatching();
        for (size_t i = taken_; i < held_.size(); ++i)
            if (held_[i]) held_[i]->release();
        if (parent_) parent_->release();
    }

private:
    void stopWatching() {
        if (!cursors_) return;
        if (prev_)
            prev_->next_ = next_;
        else
            cursors_->first = next_;
        if (next_) next_->prev_ = prev_;
        cursors_ = nullptr;
        prev_ = next_ = nullptr;
    }

    Node* parent_ = nullptr;     // a reference
    xmlNodePtr last_ = nullptr;  // the child given last, while reading the tree
    std::vector<Node*> held_;    // once holding: a reference each until given
    size_t taken_ = 0;
    bool failed_ = false;
    OpenCursors* cursors_ = nullptr;  // while reading the tree
    ChildCursor* prev_ = nullptr;
    ChildCursor* next_ = nullptr;
};

OpenCursors::~OpenCursors() {
    // Cursors still open at thread exit keep working, holding their children.
    while (first) first->hold();
}

OpenCursors* openCursors() { return ThreadState<OpenCursors>::get(); }

}  // namespace

void beforeTreeChange() {
    OpenCursors* cursors = openCursors();
    if (!cursors) return;
    while (ChildCursor* cursor = cursors->first) cursor->hold();
}

HRESULT Node::openElementChildren(IXMLDOMChildCursor** cursor) {
    if (!cursor) return E_POINTER;
    *cursor = nullptr;
    if (kind != Kind::Element || !node) return E_FAIL;
    auto* made = new ChildCursor();
    if (made->open(this, openCursors()) != S_OK) {
        made->Release();
        return E_FAIL;
    }
    *cursor = made;
    return S_OK;
}

}  // namespace mx
