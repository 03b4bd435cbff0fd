#include "compare/TrelDOMComparator.h"

#include <typeinfo>

#include "compare/ComparatorVisitors.h"
#include "compare/digest_match_internal.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "platform/host/ux_string.h"

// ---- locator --------------------------------------------------------------------

TrelDOMNodeLocator::~TrelDOMNodeLocator() {
    if (node) node->removeReference();
}

void TrelDOMNodeLocator::overwrite(LocationPath const* deeper, TrelDOMNode const* found) {
    if (!deeper || deeper->stepCount() <= path.stepCount()) return;
    path = *deeper;
    if (!found) return;
    // The new node gains its reference first: it may be the recorded one.
    found->addReference();
    if (node) node->removeReference();
    node = found;
}

// ---- exclusions -----------------------------------------------------------------

bool TrelDOMComparator::registerExclusion(LocationPath* path) {
    if (!path) return false;
    if (!path->isAbsolute()) {
        delete path;
        return false;
    }
    exclusions_.append(path);
    return true;
}

bool TrelDOMComparator::isExcluded(LocationPath const* path) const {
    if (!path) return false;
    for (long i = 0; i < exclusions_.size(); ++i)
        if (*exclusions_.elt(i) == *path) return true;
    return false;
}

// ---- detecting the default rules ------------------------------------------------

namespace {

typedef bool (TrelDOMComparator::*ElementFormFn)(TrelDOMElement const*, TrelDOMElement const*, LocationPath*,
                                                 TrelDOMNodeLocator*) const;

}  // namespace

// g++ can turn a member function bound to an object into the address of the
// function that a virtual call on that object would reach; comparing those
// addresses with the ones reached on a plain comparator tells whether a
// derived class replaced a rule. Elsewhere only the plain class qualifies.
bool TrelDOMComparator::usesDefaultRules() const {
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
    static TrelDOMComparator const plain;
    auto const same = [this](auto fn) {
        return reinterpret_cast<void*>(this->*fn) == reinterpret_cast<void*>(plain.*fn);
    };
    return same(static_cast<ElementFormFn>(&TrelDOMComparator::compareTree)) &&
           same(&TrelDOMComparator::compareAttribute) && same(&TrelDOMComparator::compareChildren) &&
           same(&TrelDOMComparator::compareElementValue);
#pragma GCC diagnostic pop
#else
    return typeid(*this) == typeid(TrelDOMComparator);
#endif
}

// ---- documents and elements -----------------------------------------------------

bool TrelDOMComparator::compareTree(TrelDOMDocument const* first, TrelDOMDocument const* second,
                                    TrelDOMNodeLocator* locator) const {
    if (first == second) return true;
    if (!first || !second) return false;
    XmlSmartPtr<TrelDOMElement> firstRoot(first->getRoot());
    XmlSmartPtr<TrelDOMElement> secondRoot(second->getRoot());
    if (firstRoot == secondRoot) return true;
    if (!firstRoot || !secondRoot) return false;
    LocationPath path;
    path.setAbsolute(true);
    path.pushElement(firstRoot->getTag());
    return compareTree(firstRoot, secondRoot, &path, locator);
}

bool TrelDOMComparator::compareTree(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath* path,
                                    TrelDOMNodeLocator* locator) const {
    if (first == second) return true;
    if (!first || !second) return false;
    // A caller's count-0 element must survive the visitors' references.
    XmlSmartPtr<TrelDOMElement const> keepFirst(first), keepSecond(second);
    if (path && path->getLast() && !path->getLast()->nameEquals(first->getTag())) return false;
    if (!locator && usesDefaultRules()) return compareByDigest(first, second, path);
    return compareElements(first, second, path, locator);
}

namespace {

// The pairwise search recurses through the rules (which derived comparators
// may replace) once per level; deeper subtrees are refused, not walked. Well
// within an 8 MB stack even with the sanitizers' larger frames.
constexpr int kMaxPairwiseDepth = 2000;

class DepthStep {
public:
    explicit DepthStep(int& depth) : depth_(depth) { ++depth_; }
    ~DepthStep() { --depth_; }
    DepthStep(DepthStep const&) = delete;
    DepthStep& operator=(DepthStep const&) = delete;
    bool tooDeep() const { return depth_ > kMaxPairwiseDepth; }

private:
    int& depth_;
};

}  // namespace

bool TrelDOMComparator::compareElements(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath* path,
                                        TrelDOMNodeLocator* locator) const {
    DepthStep step(depth_);
    if (step.tooDeep()) return false;
    if (!second->tagEquals(first->getTag())) return false;
    if (!compareElementValue(first->getTag(), first->getText(), second->getText())) return false;

    AttributeComparator attributes(this, first, second, path, locator);
    if (!first->scanAttributes(&attributes)) return false;
    AttributeCounter counter(this, second, path);
    second->scanAttributes(&counter);
    if (counter.getNumberVisited() != attributes.getNumberVisited()) return false;

    return compareChildren(first, second, path, locator);
}

// Children are matched greedily in document order: each child of the first
// element takes the first not yet matched child of the second element that
// compares equal to it in depth. The counts then catch extra children on the
// second side.
bool TrelDOMComparator::compareChildren(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath* path,
                                        TrelDOMNodeLocator* locator) const {
    int_array matched;
    ElementComparator children(this, second, matched, path, locator);
    if (!first->scanChildren(&children)) return false;
    ChildCounter counter(this, path);
    second->scanChildren(&counter);
    return counter.getNumberVisited() == children.getNumberVisited();
}

bool TrelDOMComparator::compareAttribute(TrelDOMAttribute const* attribute, TrelDOMElement const* second,
                                         LocationPath*) const {
    return second->attributeEquals(attribute->getKey(), attribute->getValue());
}

bool TrelDOMComparator::compareElementValue(wchar_t const*, wchar_t const* first, wchar_t const* second) const {
    return ux_strequal(first, second);
}

bool TrelDOMComparator::compareByDigest(TrelDOMElement const* first, TrelDOMElement const* second,
                                        LocationPath const* path) const {
    digest_match::Exclusions exclusions;
    if (path)
        for (long i = 0; i < exclusions_.size(); ++i) exclusions.insert(exclusions_.elt(i)->toString());
    return digest_match::sameContent(first, second, path, exclusions);
}

// ---- selected nodes -------------------------------------------------------------

bool TrelDOMComparator::compareAttributes(TrelDOMAttribute const* first, TrelDOMAttribute const* second) const {
    return first->keyEquals(second->getKey()) && ux_strequal(first->getValue(), second->getValue());
}

bool TrelDOMComparator::compareNodes(TrelDOMNode const* first, TrelDOMNode const* second, LocationPath* path,
                                     TrelDOMNodeLocator* locator) const {
    if (first == second) return true;
    if (!first || !second) return false;
    TrelNodeType const type = first->getType();
    if (type != second->getType()) return false;

    bool equal = false;
    if (type == TREL_ELEMENT_NODE) {
        auto const* a = dynamic_cast<TrelDOMElement const*>(first);
        auto const* b = dynamic_cast<TrelDOMElement const*>(second);
        if (a && b)
            equal = !locator && usesDefaultRules() ? compareByDigest(a, b, path) : compareElements(a, b, path, locator);
    } else if (type == TREL_ATTRIBUTE_NODE) {
        auto const* a = dynamic_cast<TrelDOMAttribute const*>(first);
        auto const* b = dynamic_cast<TrelDOMAttribute const*>(second);
        equal = a && b && compareAttributes(a, b);
    }
    if (!equal && locator) locator->overwrite(path, first);
    return equal;
}

bool TrelDOMComparator::compareTreeSelectively(TrelDOMDocument const* first, TrelDOMDocument const* second,
                                               LocationPathPtrArray const& paths, TrelDOMNodeLocator* locator) const {
    if (first == second) return true;
    if (!first || !second) return false;
    for (long i = 0; i < paths.size(); ++i) {
        LocationPath* path = paths.elt(i);
        if (!path) continue;
        XmlSmartPtr<TrelDOMNode> a(first->selectNode(path->toString()));
        XmlSmartPtr<TrelDOMNode> b(second->selectNode(path->toString()));
        if (!compareNodes(a, b, path, locator)) return false;
    }
    return true;
}
