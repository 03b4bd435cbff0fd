// A walk's strings: names, attribute values and texts come from one place,
// so equal texts are one pointer whichever way they were read.
#include <gtest/gtest.h>

#include "support.h"

namespace msxmltest {
namespace {

class WalkTest : public BackendTest {};

TEST_F(WalkTest, EqualTextsAreOnePointerAcrossNamesValuesAndWalks) {
    auto doc = parse(L"<r xmlns:p='urn:p' k='a' p:k='r'><a k='p:k'>k</a><p:k/><a/></r>");
    auto root = rootOf(doc);
    std::vector<wchar_t const*> seen;  // per walk: tags, keys, values, texts in order
    auto const walk = [&] {
        seen.clear();
        EachAttribute attributes([&](TrelDOMAttribute const* a) { seen.insert(seen.end(), {a->getKey(), a->getValue()}); });
        EachElement elements([&](TrelDOMElement const* e) {
            seen.push_back(e->getTag());
            e->scanAttributes(&attributes);
            seen.push_back(e->getText());
        });
        root->scanTree(&elements);
    };
    walk();
    auto const first = seen;
    ASSERT_EQ(first.size(), 16u);
    for (size_t i = 0; i < first.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            EXPECT_EQ(str(first[i]) == str(first[j]), first[i] == first[j]) << i << " " << j;
    walk();
    EXPECT_EQ(seen, first);
    EXPECT_EQ(root->getAttributeValue(L"k"), at(root, L"a")->getTag());
}

}  // namespace
}  // namespace msxmltest
