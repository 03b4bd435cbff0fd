// The small visitors behind TrelDOMElement's shared code; exported because
// other subsystems combine them too.
#pragma once

#include "model/TrelDOMElementPtrArray.h"
#include "model/TrelDOMVisitor.h"

// Appends a counted reference to every visited element.
class ChildCollector : public TrelDOMElementVisitor {
public:
    explicit ChildCollector(TrelDOMElementPtrArray& out) : out_(out) {}
    bool visit(TrelDOMElement const* element) override;

private:
    TrelDOMElementPtrArray& out_;
};

// Visits an element with the inner visitor, then its children with itself:
// a depth-first, pre-order walk that a false from the inner visitor stops.
// Only the first levels nest scans; deeper subtrees are walked from a stack
// of pending children, so no depth exhausts the C++ stack.
class RecursiveVisitor : public TrelDOMElementVisitor {
public:
    explicit RecursiveVisitor(TrelDOMElementVisitor* inner) : inner_(inner) {}
    bool visit(TrelDOMElement const* element) override;

private:
    bool walkBelow(TrelDOMElement const* top);

    TrelDOMElementVisitor* inner_;
    int level_ = 0;
};

// Moves every visited element under the target; never stops.
class ChildMoveVisitor : public TrelDOMElementVisitor {
public:
    explicit ChildMoveVisitor(TrelDOMElement* target) : target_(target) {}
    bool visit(TrelDOMElement const* element) override;

private:
    TrelDOMElement* target_;
};

// Copies every visited attribute the target lacks; existing values stay.
class AttributeCopyVisitor : public TrelDOMAttributeVisitor {
public:
    explicit AttributeCopyVisitor(TrelDOMElement* target) : target_(target) {}
    bool visit(TrelDOMAttribute const* attribute) override;

private:
    TrelDOMElement* target_;
};
