// The visitors that carry the comparator's pairwise search. They are stack
// objects; each holds counted references to the elements it was given.
//
// A visitor with a path pushes the visited element's tag (or "@" + the
// attribute's key) for the duration of the visit and skips what the
// comparator excludes: a skipped node is neither visited by doVisit nor
// counted, and an element skipped that way is not descended into.
#pragma once

#include "compare/TrelDOMComparator.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMVisitor.h"

// ---- element visitors ----------------------------------------------------------

class BaseElementVisitor : public TrelDOMElementVisitor {
public:
    BaseElementVisitor(TrelDOMComparator const* comparator, LocationPath* path)
        : comparator_(comparator), path_(path) {}
    bool visit(TrelDOMElement const* element) override;
    virtual ~BaseElementVisitor() = default;
    BaseElementVisitor(BaseElementVisitor const&) = delete;
    BaseElementVisitor& operator=(BaseElementVisitor const&) = delete;

    TrelDOMComparator const* getComparator() const { return comparator_; }
    // Elements passed to doVisit so far (counted after each doVisit).
    int getNumberVisited() const { return visited_; }

protected:
    virtual bool doVisit(TrelDOMElement const* element, LocationPath* path) = 0;

private:
    TrelDOMComparator const* comparator_;
    LocationPath* path_;  // may be null: nothing pushed, nothing excluded
    int visited_ = 0;
};

// Counts the children that are not excluded.
class ChildCounter : public BaseElementVisitor {
public:
    ChildCounter(TrelDOMComparator const* comparator, LocationPath* path) : BaseElementVisitor(comparator, path) {}

protected:
    bool doVisit(TrelDOMElement const*, LocationPath*) override { return true; }
};

// For each child of the first element, finds an unmatched partner among the
// children of `other`; a child without partner is recorded and stops the scan.
class ElementComparator : public BaseElementVisitor {
public:
    ElementComparator(TrelDOMComparator const* comparator, TrelDOMElement const* other, int_array& matched,
                      LocationPath* path, TrelDOMNodeLocator* locator)
        : BaseElementVisitor(comparator, path), other_(other), matched_(matched), locator_(locator) {}

protected:
    bool doVisit(TrelDOMElement const* child, LocationPath* path) override;

private:
    XmlSmartPtr<TrelDOMElement const> other_;
    int_array& matched_;
    TrelDOMNodeLocator* locator_;
};

// Scans the children of the second element (its own path is null) for the
// first one, not yet matched, that compares equal to `element`. Every child
// scanned is counted, so the partner's index is getNumberVisited() - 1.
class PartnerFinder : public BaseElementVisitor {
public:
    PartnerFinder(TrelDOMComparator const* comparator, TrelDOMElement const* element, LocationPath* path,
                  int_array const& matched, TrelDOMNodeLocator* locator)
        : BaseElementVisitor(comparator, nullptr),
          element_(element),
          path_(path),
          matched_(matched),
          locator_(locator) {}

    // Null until found.
    TrelDOMNode const* getPartner() const { return partner_; }

protected:
    bool doVisit(TrelDOMElement const* candidate, LocationPath* unused) override;

private:
    bool isMatched(int index) const;

    XmlSmartPtr<TrelDOMElement const> element_;
    LocationPath* path_;  // the path of the deep comparison
    int_array const& matched_;
    TrelDOMNodeLocator* locator_;
    XmlSmartPtr<TrelDOMNode const> partner_;
};

// ---- attribute visitors --------------------------------------------------------

class BaseAttributeVisitor : public TrelDOMAttributeVisitor {
public:
    BaseAttributeVisitor(TrelDOMComparator const* comparator, TrelDOMElement const* element, LocationPath* path)
        : comparator_(comparator), element_(element), path_(path) {}
    bool visit(TrelDOMAttribute const* attribute) override;
    virtual ~BaseAttributeVisitor() = default;
    BaseAttributeVisitor(BaseAttributeVisitor const&) = delete;
    BaseAttributeVisitor& operator=(BaseAttributeVisitor const&) = delete;

    TrelDOMComparator const* getComparator() const { return comparator_; }
    TrelDOMElement const* getElement() const { return element_; }
    // Attributes passed to doVisit so far (counted before each doVisit).
    int getNumberVisited() const { return visited_; }

protected:
    virtual bool doVisit(TrelDOMAttribute const* attribute, LocationPath* path) = 0;

private:
    TrelDOMComparator const* comparator_;
    XmlSmartPtr<TrelDOMElement const> element_;  // whose attributes are visited
    LocationPath* path_;
    int visited_ = 0;
};

class AttributeCounter : public BaseAttributeVisitor {
public:
    AttributeCounter(TrelDOMComparator const* comparator, TrelDOMElement const* element, LocationPath* path)
        : BaseAttributeVisitor(comparator, element, path) {}

protected:
    bool doVisit(TrelDOMAttribute const*, LocationPath*) override { return true; }
};

// Each attribute of the visited element must be matched on `other`; the
// first that is not is recorded (its path, the visited element) and stops
// the scan.
class AttributeComparator : public BaseAttributeVisitor {
public:
    AttributeComparator(TrelDOMComparator const* comparator, TrelDOMElement const* element, TrelDOMElement const* other,
                        LocationPath* path, TrelDOMNodeLocator* locator)
        : BaseAttributeVisitor(comparator, element, path), other_(other), locator_(locator) {}

protected:
    bool doVisit(TrelDOMAttribute const* attribute, LocationPath* path) override;

private:
    XmlSmartPtr<TrelDOMElement const> other_;
    TrelDOMNodeLocator* locator_;
};
