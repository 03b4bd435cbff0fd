// TrelDOMComparator: equality of content between two documents or element
// subtrees. Tags, element texts and attribute values must match; the order of
// children and of attributes does not matter, but repeated equal children must
// occur equally often on both sides. Registered exclusions (absolute location
// paths) take elements and attributes out of the comparison and out of the
// counts. A TrelDOMNodeLocator, when passed, receives the deepest failure met
// during the search.
#pragma once

#include "compare/LocationPath.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMNode.h"
#include "platform/host/basic_array.h"

class TrelDOMAttribute;
class TrelDOMDocument;
class TrelDOMElement;

// The host's array of int (growth chunk 16); the indexes of matched children.
typedef BASIC_ARRAY<int, 16, long> int_array;

// Records the deepest failed comparison: its path and the node of the first
// side. Partner searches try candidates that turn out not to match, so a
// comparison that ends equal may still leave a record. Callers read the two
// members directly after a comparison; only overwrite() changes them.
class TrelDOMNodeLocator {
public:
    TrelDOMNodeLocator() = default;
    // Releases the recorded node's reference.
    virtual ~TrelDOMNodeLocator();
    TrelDOMNodeLocator(TrelDOMNodeLocator const&) = delete;
    TrelDOMNodeLocator& operator=(TrelDOMNodeLocator const&) = delete;

    // Takes path (copied) and node (counted) only when path is deeper than
    // the recorded one; a null node leaves the recorded node as it is.
    void overwrite(LocationPath const* path, TrelDOMNode const* node);

    LocationPath const& getPath() const { return path; }
    TrelDOMNode const* getNode() const { return node; }

    // At first relative and without steps.
    LocationPath path;
    // At first null; holds one counted reference.
    TrelDOMNode const* node = nullptr;
};

class TrelDOMComparator {
public:
    TrelDOMComparator() = default;
    // Deletes every exclusion.
    virtual ~TrelDOMComparator() = default;
    TrelDOMComparator(TrelDOMComparator const&) = delete;
    TrelDOMComparator& operator=(TrelDOMComparator const&) = delete;

    // Element subtrees. When path is given, it names `first` (its last step
    // must be first's tag) and is used to test exclusions below it; it is
    // changed during the call and restored before it returns.
    //
    // The pairwise search (a locator, or rules of a derived comparator)
    // gives false for subtrees nested more than 2000 levels deep; the
    // digest pairing has no such bound.
    //
    // Without a locator and with the default rules (see usesDefaultRules)
    // nobody can observe how partners were found, so children are paired
    // through content digests in about linear time instead of the pairwise
    // search; the verdict is the same.
    virtual bool compareTree(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath* path,
                             TrelDOMNodeLocator* locator) const;
    // Documents: their root elements, with the path /<first root's tag>.
    virtual bool compareTree(TrelDOMDocument const* first, TrelDOMDocument const* second,
                             TrelDOMNodeLocator* locator) const;
    // Only the nodes each path selects (first match) in both documents; a
    // path that selects nothing on either side counts as equal.
    virtual bool compareTreeSelectively(TrelDOMDocument const* first, TrelDOMDocument const* second,
                                        LocationPathPtrArray const& paths, TrelDOMNodeLocator* locator) const;

    // Takes ownership of path. Only absolute paths are kept (true); a null
    // path gives false, a relative one is deleted at once and gives false.
    bool registerExclusion(LocationPath* path);
    // Whether path's text equals the text of a registered exclusion.
    bool isExcluded(LocationPath const* path) const;
    long exclusionCount() const { return exclusions_.size(); }

protected:
    // The points where a derived comparator changes the rules.
    // Whether `second` has attribute's key with attribute's value.
    virtual bool compareAttribute(TrelDOMAttribute const* attribute, TrelDOMElement const* second,
                                  LocationPath* path) const;
    // Whether the children of both elements pair up (see the .cpp).
    virtual bool compareChildren(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath* path,
                                 TrelDOMNodeLocator* locator) const;
    // Whether the two texts of elements with that tag are equal.
    virtual bool compareElementValue(wchar_t const* tag, wchar_t const* first, wchar_t const* second) const;

public:
    // True when the comparator decides by the default rules: none of the
    // points of change nor the element form of compareTree is overridden.
    // Only then may the digest pairing stand in for the pairwise search. A
    // derived comparator may override this to say so itself.
    virtual bool usesDefaultRules() const;

private:
    friend class AttributeComparator;
    friend class ElementComparator;

    bool compareElements(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath* path,
                         TrelDOMNodeLocator* locator) const;
    bool compareNodes(TrelDOMNode const* first, TrelDOMNode const* second, LocationPath* path,
                      TrelDOMNodeLocator* locator) const;
    bool compareAttributes(TrelDOMAttribute const* first, TrelDOMAttribute const* second) const;
    // The same verdict as compareElements under the default rules, without
    // a locator.
    bool compareByDigest(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath const* path) const;

    LocationPathOwnerArray exclusions_;
    // Levels of the pairwise search under way (it is bounded).
    mutable int depth_ = 0;
};
