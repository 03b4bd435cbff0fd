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
// Because the relation is an equivalence, every subtree can be given the
// number of its class, children before parents: a class is fixed by the tag,
// the text, the set of attributes and the multiset of the children's classes.
// A table keyed by a digest of those finds the class; every candidate is
// verified field by field, since different contents may share a digest. Two
// elements are equal exactly when their classes are.
//
// Each document is read once through the model into a compact shadow tree
// (the strings stay the document's own). Neither reading nor classing
// recurses with the depth of the tree: the shallow levels are read through
// the model's scans directly, deeper ones from a stack of pending children,
// and classes are assigned in one pass from the last node to the first
// (every child comes after its parent).
#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <deque>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "compare/LocationPath.h"
#include "compare/digest_match_internal.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"
#include "model/TrelDOMVisitor.h"
#include "model/TrelDOMVisitors.h"
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
        : active_(path && !exclusions.empty()), exclusions_(exclusions) {
        if (!active_) return;
        text_ = path->toString();
        steps_ = path->stepCount();
    }

    // Adds one step; true when the path now names an excluded node.
    bool push(wchar_t const* name, bool isAttribute) {
        if (!active_) return false;
        lengths_.push_back(text_.size());
        if (steps_++ > 0) text_ += L'/';
        if (isAttribute) text_ += L'@';
        if (name) text_ += name;
        return exclusions_.count(text_) != 0;
    }
    void pop() {
        if (!active_) return;
        text_.resize(lengths_.back());
        lengths_.pop_back();
        --steps_;
    }

private:
    bool const active_;
    Exclusions const& exclusions_;
    std::wstring text_;
    long steps_ = 0;
    std::vector<size_t> lengths_;
};

struct Attribute {
    wchar_t const* key;
    wchar_t const* value;
};

struct Node {
    wchar_t const* tag;
    wchar_t const* text;
    uint64_t ownDigest;                       // tag, text and attributes
    uint32_t firstAttribute, attributeCount;  // sorted by key
    uint32_t firstChild, childCount;          // in document order
};

bool keyLess(Attribute const& a, Attribute const& b) { return ux_strcmp(a.key, b.key) < 0; }

// One document's subtree as the default rules see it: excluded nodes are
// left out; node 0 is the subtree's root, and children come after parents.
class ShadowTree {
public:
    explicit ShadowTree(ExclusionFilter& filter) : filter_(filter) {}
    ShadowTree(ShadowTree const&) = delete;
    ShadowTree& operator=(ShadowTree const&) = delete;

    // False when the model failed a scan; such trees are not compared.
    bool build(TrelDOMElement const* root) {
        add(root, 0);
        return complete_;
    }

    uint32_t size() const { return static_cast<uint32_t>(nodes_.size()); }
    Node const& node(uint32_t index) const { return nodes_[index]; }
    Attribute const* attributes(Node const& node) const { return attributes_.data() + node.firstAttribute; }
    uint32_t const* children(Node const& node) const { return children_.data() + node.firstChild; }

private:
    class AttributeReader;
    class ChildReader;
    using ElementRef = XmlSmartPtr<TrelDOMElement const>;

    // Levels read by nested scans; below them the reading goes on from a
    // stack of its own, which costs a counted reference per pending child.
    static constexpr int kNestedLevels = 64;

    uint32_t add(TrelDOMElement const* element, int level);
    uint32_t addIteratively(TrelDOMElement const* top);
    uint32_t open(TrelDOMElement const* element);
    void close(uint32_t index, std::vector<uint32_t> const& children);

    ExclusionFilter& filter_;
    std::vector<Node> nodes_;
    std::vector<Attribute> attributes_;
    std::vector<uint32_t> children_;
    bool complete_ = true;
};

class ShadowTree::AttributeReader : public TrelDOMAttributeVisitor {
public:
    explicit AttributeReader(ShadowTree& tree) : tree_(tree) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        wchar_t const* key = attribute->getKey();
        if (!tree_.filter_.push(key, true)) tree_.attributes_.push_back({key, attribute->getValue()});
        tree_.filter_.pop();
        return true;
    }

private:
    ShadowTree& tree_;
};

class ShadowTree::ChildReader : public TrelDOMElementVisitor {
public:
    ChildReader(ShadowTree& tree, std::vector<uint32_t>& children, int level)
        : tree_(tree), children_(children), level_(level) {}
    bool visit(TrelDOMElement const* child) override {
        if (!tree_.filter_.push(child->getTag(), false)) children_.push_back(tree_.add(child, level_));
        tree_.filter_.pop();
        return true;
    }

private:
    ShadowTree& tree_;
    std::vector<uint32_t>& children_;
    int const level_;
};

// Appends the node with its attributes; its children come later (close).
uint32_t ShadowTree::open(TrelDOMElement const* element) {
    auto const index = static_cast<uint32_t>(nodes_.size());
    auto const first = static_cast<uint32_t>(attributes_.size());
    AttributeReader reader(*this);
    if (!element->scanAttributes(&reader)) complete_ = false;
    auto const count = static_cast<uint32_t>(attributes_.size() - first);
    auto const begin = attributes_.begin() + first;
    std::sort(begin, attributes_.end(), keyLess);
    // A missing value reads as empty, as attributeEquals takes it.
    uint64_t sum = 0;
    for (auto it = begin; it != attributes_.end(); ++it)
        sum += mix(hashText(it->key) * 0x9e3779b97f4a7c15ULL ^ hashText(it->value));
    wchar_t const* tag = element->getTag();
    wchar_t const* text = element->getText();
    uint64_t digest = mix(hashText(tag) ^ hashOptionalText(text));
    digest = mix(digest ^ (sum + count * 0x632be59bd9b4e019ULL));
    nodes_.push_back({tag, text, digest, first, count, 0, 0});
    return index;
}

void ShadowTree::close(uint32_t index, std::vector<uint32_t> const& children) {
    Node& node = nodes_[index];
    node.firstChild = static_cast<uint32_t>(children_.size());
    node.childCount = static_cast<uint32_t>(children.size());
    children_.insert(children_.end(), children.begin(), children.end());
}

uint32_t ShadowTree::add(TrelDOMElement const* element, int level) {
    if (level >= kNestedLevels) return addIteratively(element);
    uint32_t const index = open(element);
    std::vector<uint32_t> children;
    ChildReader reader(*this, children, level + 1);
    if (!element->scanChildren(&reader)) complete_ = false;
    close(index, children);
    return index;
}

// The same reading as add, with the path kept in step: a child's step stays
// pushed while its subtree is read.
uint32_t ShadowTree::addIteratively(TrelDOMElement const* top) {
    // Each frame keeps its element: a node object released below an
    // element that has one is settled at once, without a climb to the top.
    struct Frame {
        ElementRef element;
        uint32_t index;
        TrelDOMElementPtrArray pending;
        long next = 0;
        std::vector<uint32_t> children;
    };
    std::deque<Frame> frames;  // frames never move: the arrays cannot
    auto const enter = [&](TrelDOMElement const* element) {
        frames.emplace_back();
        frames.back().element = element;
        frames.back().index = open(element);
        ChildCollector collector(frames.back().pending);
        if (!element->scanChildren(&collector)) complete_ = false;
    };
    enter(top);
    for (;;) {
        Frame& frame = frames.back();
        if (frame.next < frame.pending.size()) {
            ElementRef child(frame.pending.elt(frame.next));
            frame.pending.elt(frame.next++) = nullptr;
            if (filter_.push(child->getTag(), false))
                filter_.pop();
            else
                enter(child);
            continue;
        }
        uint32_t const index = frame.index;
        close(index, frame.children);
        frames.pop_back();
        if (frames.empty()) return index;
        filter_.pop();
        frames.back().children.push_back(index);
    }
}

// Numbers the classes of equal subtrees across the trees given to it. A
// tree's nodes are classed from its last node back, so a node's children
// are classed before it.
class ClassTable {
public:
    void classify(ShadowTree const& tree, std::vector<uint32_t>& classes) {
        classes.assign(tree.size(), 0);
        firstByDigest_.reserve(firstByDigest_.size() + tree.size());
        std::vector<uint32_t> childClasses;
        for (uint32_t i = tree.size(); i-- > 0;) {
            Node const& node = tree.node(i);
            uint32_t const* children = tree.children(node);
            childClasses.resize(node.childCount);
            for (uint32_t k = 0; k < node.childCount; ++k) childClasses[k] = classes[children[k]];
            std::sort(childClasses.begin(), childClasses.end());
            classes[i] = classOf(tree, node, childClasses);
        }
    }

private:
    struct Member {
        ShadowTree const* tree;
        Node const* node;
        uint32_t firstChildClass;  // in childClasses_, sorted
        uint32_t nextSameDigest;   // the class found before under the same digest
    };

    static constexpr uint32_t kNone = ~uint32_t{0};

    uint32_t classOf(ShadowTree const& tree, Node const& node, std::vector<uint32_t> const& childClasses) {
        uint64_t digest = node.ownDigest;
        for (uint32_t c : childClasses) digest = mix(digest ^ (c + 0xd6e8feb86659fd93ULL));
        digest &= digestMask;
        auto const found = firstByDigest_.find(digest);
        uint32_t const first = found == firstByDigest_.end() ? kNone : found->second;
        for (uint32_t c = first; c != kNone; c = members_[c].nextSameDigest)
            if (sameOwnContent(tree, node, members_[c]) && sameChildClasses(childClasses, members_[c])) return c;
        auto const id = static_cast<uint32_t>(members_.size());
        members_.push_back({&tree, &node, static_cast<uint32_t>(childClasses_.size()), first});
        childClasses_.insert(childClasses_.end(), childClasses.begin(), childClasses.end());
        firstByDigest_[digest] = id;
        return id;
    }

    static bool sameValue(wchar_t const* a, wchar_t const* b) { return wcscmp(a ? a : L"", b ? b : L"") == 0; }

    static bool sameOwnContent(ShadowTree const& tree, Node const& x, Member const& member) {
        Node const& y = *member.node;
        if (!x.tag || !y.tag || wcscmp(x.tag, y.tag) != 0) return false;
        if (!ux_strequal(x.text, y.text)) return false;
        if (x.attributeCount != y.attributeCount) return false;
        Attribute const* a = tree.attributes(x);
        Attribute const* b = member.tree->attributes(y);
        for (uint32_t i = 0; i < x.attributeCount; ++i)
            if (!a[i].key || !b[i].key || wcscmp(a[i].key, b[i].key) != 0 || !sameValue(a[i].value, b[i].value))
                return false;
        return true;
    }

    bool sameChildClasses(std::vector<uint32_t> const& childClasses, Member const& member) const {
        if (childClasses.size() != member.node->childCount) return false;
        return std::equal(childClasses.begin(), childClasses.end(), childClasses_.begin() + member.firstChildClass);
    }

    std::vector<Member> members_;
    std::vector<uint32_t> childClasses_;
    std::unordered_map<uint64_t, uint32_t> firstByDigest_;
};

}  // namespace

void limitDigestBits(int bits) { digestMask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << (bits < 0 ? 0 : bits)) - 1; }

bool sameContent(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath const* path,
                 Exclusions const& exclusions) {
    ExclusionFilter filter(path, exclusions);
    ShadowTree a(filter), b(filter);
    if (!a.build(first) || !b.build(second)) return false;
    ClassTable table;
    std::vector<uint32_t> classesA, classesB;
    table.classify(a, classesA);
    table.classify(b, classesB);
    return classesA[0] == classesB[0];
}

}  // namespace digest_match
