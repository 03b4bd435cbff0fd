// Why pairing children by content gives the verdict of the pairwise search.
//
// Under the default rules two elements are equal when their tags and texts
// are equal, every non-excluded attribute of the first is found with the same
// value on the second and both have as many non-excluded attributes, and
// their non-excluded children pair up. Attribute keys are unique within an
// element, so the attribute condition is equality of the two sets of
// (key, value) pairs; exclusions depend only on the path, which is the same
// on both sides once the tags are equal. By induction on depth this relation
// is reflexive, symmetric and transitive: an equivalence.
//
// The pairwise search gives each child of the first element, in document
// order, the first unmatched child of the second element equal to it. With an
// equivalence it never matters which member of a class a child takes: the
// search runs out of partners exactly when some class has more members on the
// first side than on the second, and the count check after it fails exactly
// when some class has more on the second side. The verdict is therefore
// "the children form the same multiset of classes", and pairing each child
// with any unmatched child of its class gives that same verdict. (Were
// equality not transitive, greedy choices could steal a partner needed later;
// that is why derived comparators with rules of their own keep the pairwise
// search.)
//
// Equal subtrees have equal digests: the digest is computed from the tag,
// the text, the set of attributes and the multiset of the children's digests,
// all combined order-insensitively. Partners are sought only among children
// with the same digest, and each candidate is verified by a full comparison,
// since different subtrees may share a digest.
//
// Each document is read once through the model into a compact shadow tree
// (the strings stay the document's own); pairing then costs about one
// comparison per node instead of one deep comparison per pair of siblings.
#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "compare/LocationPath.h"
#include "compare/digest_match_internal.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"
#include "model/TrelDOMVisitor.h"
#include "platform/host/ux_string.h"

namespace digest_match {
namespace {

uint64_t digestMask = ~uint64_t{0};

uint64_t mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

uint64_t hashText(wchar_t const* s) { return std::hash<std::wstring_view>{}(s ? s : L""); }

// An absent text differs from an empty one, as ux_strequal has it.
uint64_t hashOptionalText(wchar_t const* s) { return s ? mix(hashText(s) + 1) : 0; }

// The path text as the comparator's visitors build it, and its test against
// the exclusions, without a LocationPath per visited node.
class ExclusionFilter {
public:
    ExclusionFilter(LocationPath const* path, Exclusions const& exclusions)
        : _active(path && !exclusions.empty()), _exclusions(exclusions) {
        if (!_active) return;
        _text = path->toString();
        _steps = path->stepCount();
    }

    // Adds one step; true when the path now names an excluded node.
    bool push(wchar_t const* name, bool isAttribute) {
        if (!_active) return false;
        _lengths.push_back(_text.size());
        if (_steps++ > 0) _text += L'/';
        if (isAttribute) _text += L'@';
        if (name) _text += name;
        return _exclusions.count(_text) != 0;
    }
    void pop() {
        if (!_active) return;
        _text.resize(_lengths.back());
        _lengths.pop_back();
        --_steps;
    }

private:
    bool const _active;
    Exclusions const& _exclusions;
    std::wstring _text;
    long _steps = 0;
    std::vector<size_t> _lengths;
};

struct Attribute {
    wchar_t const* key;
    wchar_t const* value;
};

struct Node {
    wchar_t const* tag;
    wchar_t const* text;
    uint64_t digest;
    uint32_t firstAttribute, attributeCount;  // sorted by key
    uint32_t firstChild, childCount;          // in document order
};

bool keyLess(Attribute const& a, Attribute const& b) { return ux_strcmp(a.key, b.key) < 0; }

// One document's subtree as the default rules see it: excluded nodes are
// left out; node 0 is the subtree's root.
class ShadowTree {
public:
    explicit ShadowTree(ExclusionFilter& filter) : _filter(filter) {}
    ShadowTree(ShadowTree const&) = delete;
    ShadowTree& operator=(ShadowTree const&) = delete;

    // False when the model failed a scan; such trees are not compared.
    bool build(TrelDOMElement const* root) {
        add(root);
        return _complete;
    }

    Node const& node(uint32_t index) const { return _nodes[index]; }
    Attribute const* attributes(Node const& node) const { return _attributes.data() + node.firstAttribute; }
    uint32_t const* children(Node const& node) const { return _children.data() + node.firstChild; }

private:
    class AttributeReader;
    class ChildReader;

    uint32_t add(TrelDOMElement const* element);
    uint64_t readAttributes(TrelDOMElement const* element, uint32_t& first, uint32_t& count);
    uint64_t readChildren(TrelDOMElement const* element, uint32_t& first, uint32_t& count);

    ExclusionFilter& _filter;
    std::vector<Node> _nodes;
    std::vector<Attribute> _attributes;
    std::vector<uint32_t> _children;
    bool _complete = true;
};

class ShadowTree::AttributeReader : public TrelDOMAttributeVisitor {
public:
    explicit AttributeReader(ShadowTree& tree) : _tree(tree) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        wchar_t const* key = attribute->getKey();
        if (!_tree._filter.push(key, true)) _tree._attributes.push_back({key, attribute->getValue()});
        _tree._filter.pop();
        return true;
    }

private:
    ShadowTree& _tree;
};

class ShadowTree::ChildReader : public TrelDOMElementVisitor {
public:
    ChildReader(ShadowTree& tree, std::vector<uint32_t>& children) : _tree(tree), _children(children) {}
    bool visit(TrelDOMElement const* child) override {
        if (!_tree._filter.push(child->getTag(), false)) _children.push_back(_tree.add(child));
        _tree._filter.pop();
        return true;
    }

private:
    ShadowTree& _tree;
    std::vector<uint32_t>& _children;
};

uint64_t ShadowTree::readAttributes(TrelDOMElement const* element, uint32_t& first, uint32_t& count) {
    first = static_cast<uint32_t>(_attributes.size());
    AttributeReader reader(*this);
    if (!element->scanAttributes(&reader)) _complete = false;
    count = static_cast<uint32_t>(_attributes.size() - first);
    auto const begin = _attributes.begin() + first;
    std::sort(begin, _attributes.end(), keyLess);
    // A missing value reads as empty, as attributeEquals takes it.
    uint64_t sum = 0;
    for (auto it = begin; it != _attributes.end(); ++it)
        sum += mix(hashText(it->key) * 0x9e3779b97f4a7c15ULL ^ hashText(it->value));
    return sum;
}

uint64_t ShadowTree::readChildren(TrelDOMElement const* element, uint32_t& first, uint32_t& count) {
    std::vector<uint32_t> children;
    ChildReader reader(*this, children);
    if (!element->scanChildren(&reader)) _complete = false;
    first = static_cast<uint32_t>(_children.size());
    count = static_cast<uint32_t>(children.size());
    _children.insert(_children.end(), children.begin(), children.end());
    uint64_t sum = 0;
    for (uint32_t child : children) sum += mix(_nodes[child].digest);
    return sum;
}

uint32_t ShadowTree::add(TrelDOMElement const* element) {
    auto const index = static_cast<uint32_t>(_nodes.size());
    _nodes.push_back({element->getTag(), element->getText(), 0, 0, 0, 0, 0});
    uint32_t firstAttribute, attributeCount, firstChild, childCount;
    uint64_t const attributeSum = readAttributes(element, firstAttribute, attributeCount);
    uint64_t const childSum = readChildren(element, firstChild, childCount);

    Node& node = _nodes[index];  // the children may have moved the vector
    node.firstAttribute = firstAttribute;
    node.attributeCount = attributeCount;
    node.firstChild = firstChild;
    node.childCount = childCount;
    uint64_t digest = mix(hashText(node.tag) ^ hashOptionalText(node.text));
    digest = mix(digest ^ (attributeSum + attributeCount * 0x632be59bd9b4e019ULL));
    node.digest = mix(digest ^ (childSum + childCount * 0xd6e8feb86659fd93ULL)) & digestMask;
    return index;
}

// Equality of two shadow nodes by the default rules.
class Matcher {
public:
    Matcher(ShadowTree const& first, ShadowTree const& second) : _first(first), _second(second) {}

    bool equal(uint32_t a, uint32_t b) const {
        Node const& x = _first.node(a);
        Node const& y = _second.node(b);
        return x.digest == y.digest && sameOwnContent(x, y) && sameChildren(x, y);
    }

private:
    static bool sameValue(wchar_t const* a, wchar_t const* b) { return wcscmp(a ? a : L"", b ? b : L"") == 0; }

    bool sameOwnContent(Node const& x, Node const& y) const {
        if (!x.tag || !y.tag || wcscmp(x.tag, y.tag) != 0) return false;
        if (!ux_strequal(x.text, y.text)) return false;
        if (x.attributeCount != y.attributeCount) return false;
        Attribute const* a = _first.attributes(x);
        Attribute const* b = _second.attributes(y);
        for (uint32_t i = 0; i < x.attributeCount; ++i)
            if (!a[i].key || !b[i].key || wcscmp(a[i].key, b[i].key) != 0 || !sameValue(a[i].value, b[i].value))
                return false;
        return true;
    }

    bool sameChildren(Node const& x, Node const& y) const;

    ShadowTree const& _first;
    ShadowTree const& _second;
};

// The second side's children sorted by digest; each child of the first side
// takes the first unused, verified candidate of its digest. `lead` keeps, per
// run of equal digests, how many of its first candidates are used, so runs of
// identical siblings cost no rescans.
bool Matcher::sameChildren(Node const& x, Node const& y) const {
    uint32_t const count = x.childCount;
    if (count != y.childCount) return false;
    uint32_t const* mine = _first.children(x);
    uint32_t const* theirs = _second.children(y);
    if (count == 0) return true;
    if (count == 1) return equal(mine[0], theirs[0]);

    std::vector<std::pair<uint64_t, uint32_t>> candidates(count);
    for (uint32_t i = 0; i < count; ++i) candidates[i] = {_second.node(theirs[i]).digest, theirs[i]};
    std::sort(candidates.begin(), candidates.end());
    std::vector<char> used(count, 0);
    std::vector<uint32_t> lead(count, 0);

    for (uint32_t i = 0; i < count; ++i) {
        uint64_t const digest = _first.node(mine[i]).digest;
        auto const run = std::lower_bound(candidates.begin(), candidates.end(), std::make_pair(digest, uint32_t{0}));
        auto const start = static_cast<uint32_t>(run - candidates.begin());
        bool found = false;
        for (uint32_t k = start + (start < count ? lead[start] : 0); k < count && candidates[k].first == digest; ++k) {
            if (used[k] || !equal(mine[i], candidates[k].second)) continue;
            used[k] = 1;
            while (start + lead[start] < count && used[start + lead[start]]) ++lead[start];
            found = true;
            break;
        }
        if (!found) return false;
    }
    return true;
}

}  // namespace

void limitDigestBits(int bits) { digestMask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << (bits < 0 ? 0 : bits)) - 1; }

bool sameContent(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath const* path,
                 Exclusions const& exclusions) {
    ExclusionFilter filter(path, exclusions);
    ShadowTree a(filter), b(filter);
    if (!a.build(first) || !b.build(second)) return false;
    return Matcher(a, b).equal(0, 0);
}

}  // namespace digest_match
