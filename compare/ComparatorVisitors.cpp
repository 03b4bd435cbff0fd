#include "compare/ComparatorVisitors.h"

#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"

namespace {

// Pushes one step for the duration of a visit and pops it whatever happens.
class ScopedStep {
public:
    ScopedStep(LocationPath* path, wchar_t const* name, bool isAttribute) : _path(path) {
        if (!_path) return;
        if (isAttribute)
            _path->pushAttribute(name);
        else
            _path->pushElement(name);
    }
    ~ScopedStep() {
        if (_path) _path->pop();
    }
    ScopedStep(ScopedStep const&) = delete;
    ScopedStep& operator=(ScopedStep const&) = delete;

private:
    LocationPath* _path;
};

}  // namespace

bool BaseElementVisitor::visit(TrelDOMElement const* element) {
    ScopedStep step(_path, element->getTag(), false);
    if (_path && _comparator->isExcluded(_path)) return true;
    bool const result = doVisit(element, _path);
    ++_visited;
    return result;
}

bool BaseAttributeVisitor::visit(TrelDOMAttribute const* attribute) {
    ScopedStep step(_path, attribute->getKey(), true);
    if (_path && _comparator->isExcluded(_path)) return true;
    ++_visited;
    return doVisit(attribute, _path);
}

bool ElementComparator::doVisit(TrelDOMElement const* child, LocationPath* path) {
    PartnerFinder finder(getComparator(), child, path, _matched, _locator);
    _other->scanChildren(&finder);
    if (finder.getPartner()) {
        _matched.append(finder.getNumberVisited() - 1);
        return true;
    }
    if (_locator) _locator->overwrite(path, child);
    return false;
}

bool PartnerFinder::isMatched(int index) const {
    for (long i = 0; i < _matched.size(); ++i)
        if (_matched.elt(i) == index) return true;
    return false;
}

bool PartnerFinder::doVisit(TrelDOMElement const* candidate, LocationPath*) {
    if (isMatched(getNumberVisited())) return true;
    if (!getComparator()->compareTree(_element, candidate, _path, _locator)) return true;
    _partner = candidate;
    return false;
}

bool AttributeComparator::doVisit(TrelDOMAttribute const* attribute, LocationPath* path) {
    if (getComparator()->compareAttribute(attribute, _other, path)) return true;
    if (_locator) _locator->overwrite(path, getElement());
    return false;
}
