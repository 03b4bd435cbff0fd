#include "compare/ComparatorVisitors.h"

#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"

namespace {

// Pushes one step for the duration of a visit and pops it whatever happens.
class ScopedStep {
public:
    ScopedStep(LocationPath* path, wchar_t const* name, bool isAttribute) : path_(path) {
        if (!path_) return;
        if (isAttribute)
            path_->pushAttribute(name);
        else
            path_->pushElement(name);
    }
    ~ScopedStep() {
        if (path_) path_->pop();
    }
    ScopedStep(ScopedStep const&) = delete;
    ScopedStep& operator=(ScopedStep const&) = delete;

private:
    LocationPath* path_;
};

}  // namespace

bool BaseElementVisitor::visit(TrelDOMElement const* element) {
    ScopedStep step(path_, element->getTag(), false);
    if (path_ && comparator_->isExcluded(path_)) return true;
    bool const result = doVisit(element, path_);
    ++visited_;
    return result;
}

bool BaseAttributeVisitor::visit(TrelDOMAttribute const* attribute) {
    ScopedStep step(path_, attribute->getKey(), true);
    if (path_ && comparator_->isExcluded(path_)) return true;
    ++visited_;
    return doVisit(attribute, path_);
}

bool ElementComparator::doVisit(TrelDOMElement const* child, LocationPath* path) {
    PartnerFinder finder(getComparator(), child, path, matched_, locator_);
    other_->scanChildren(&finder);
    if (finder.getPartner()) {
        matched_.append(finder.getNumberVisited() - 1);
        return true;
    }
    if (locator_) locator_->overwrite(path, child);
    return false;
}

bool PartnerFinder::isMatched(int index) const {
    for (long i = 0; i < matched_.size(); ++i)
        if (matched_.elt(i) == index) return true;
    return false;
}

bool PartnerFinder::doVisit(TrelDOMElement const* candidate, LocationPath*) {
    if (isMatched(getNumberVisited())) return true;
    if (!getComparator()->compareTree(element_, candidate, path_, locator_)) return true;
    partner_ = candidate;
    return false;
}

bool AttributeComparator::doVisit(TrelDOMAttribute const* attribute, LocationPath* path) {
    if (getComparator()->compareAttribute(attribute, other_, path)) return true;
    if (locator_) locator_->overwrite(path, getElement());
    return false;
}
