// The comparator's fast verdict: the same answer as the pairwise search of
// the default rules, reached by pairing children through content digests.
// Internal to the comparator; not installed.
#pragma once

#include <string>
#include <unordered_set>

class LocationPath;
class TrelDOMElement;

namespace digest_match {

// Texts of the registered exclusions; empty when none apply.
typedef std::unordered_set<std::wstring> Exclusions;

// Whether the subtrees of first and second have the same content under the
// default rules: tags, texts, the non-excluded attributes and, recursively,
// the non-excluded children as a multiset. path names first (null: nothing is
// excluded); it is read, never changed.
bool sameContent(TrelDOMElement const* first, TrelDOMElement const* second, LocationPath const* path,
                 Exclusions const& exclusions);

// Keeps only the low `bits` bits of every digest (64: all). With few bits
// different contents collide often, which lets tests exercise the full
// verification of candidates; never needed otherwise.
void limitDigestBits(int bits);

}  // namespace digest_match
