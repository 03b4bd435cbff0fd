// The comparator as COMPARE-XML uses it (two documents, no exclusions, no
// locator: children paired by content digests) on a model and its reordered
// twin, against the time that loading the model takes; then the pairwise
// search (with a locator) beside the digest pairing on a small pair.
//
// usage: compare_bench MODEL TWIN SMALL_MODEL SMALL_TWIN [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "compare/TrelDOMComparator.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"

namespace {

double const RATIO_LIMIT = 3.0;

double seconds(std::function<void()> const& work) {
    auto const start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double best(int runs, std::function<void()> const& work) {
    double result = 1e30;
    for (int i = 0; i < runs; ++i) result = std::min(result, seconds(work));
    return result;
}

std::wstring wide(char const* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); }

XmlSmartPtr<TrelDOMDocument> load(char const* path) {
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument(wide(path).c_str()));
    if (!document) {
        std::fprintf(stderr, "cannot load %s\n", path);
        std::exit(2);
    }
    return document;
}

// Changes one attribute deep in the document, so that the comparison fails
// late in document order.
bool spoil(TrelDOMDocument* document) {
    XmlSmartPtr<TrelDOMElement> element(document->selectElement(L"(//param)[last()]"));
    return element && element->setAttribute(L"value", L"-0.5");
}

char const* verdict(bool equal) { return equal ? "equal" : "different"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s MODEL TWIN SMALL_MODEL SMALL_TWIN [RUNS]\n", argv[0]);
        return 2;
    }
    int const runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
    TrelDOMComparator const comparator;

    double const loading = best(runs, [&] { load(argv[1]); });
    auto model = load(argv[1]);
    auto twin = load(argv[2]);
    bool equal = false;
    double const comparing = best(runs, [&] { equal = comparator.compareTree(model, twin, nullptr); });
    double const ratio = comparing / loading;
    std::printf("%s against its twin, best of %d runs\n", argv[1], runs);
    std::printf("load one (createDocument)    %8.3f s\n", loading);
    std::printf("compare, digest pairing      %8.3f s   %-9s  ratio %.2f (limit %.1f) %s\n", comparing,
                verdict(equal), ratio, RATIO_LIMIT, ratio <= RATIO_LIMIT ? "ok" : "OVER");
    bool const spoiled = spoil(twin);
    bool different = true;
    double const failing = best(runs, [&] { different = !comparator.compareTree(model, twin, nullptr); });
    std::printf("compare, one value changed   %8.3f s   %-9s  %s\n", failing, verdict(!different),
                spoiled && different ? "ok" : "WRONG");

    auto small = load(argv[3]);
    auto smallTwin = load(argv[4]);
    bool fastEqual = false, searchedEqual = false;
    double const fast = best(runs, [&] { fastEqual = comparator.compareTree(small, smallTwin, nullptr); });
    double const searched = best(1, [&] {
        TrelDOMNodeLocator locator;
        searchedEqual = comparator.compareTree(small, smallTwin, &locator);
    });
    std::printf("%s against its twin\n", argv[3]);
    std::printf("compare, digest pairing      %8.3f s   %s\n", fast, verdict(fastEqual));
    std::printf("compare, pairwise search     %8.3f s   %s  (%.0f times slower)\n", searched, verdict(searchedEqual),
                searched / fast);

    bool const right = equal && spoiled && different && fastEqual && searchedEqual;
    if (!right) std::printf("WRONG VERDICT\n");
    return right && ratio <= RATIO_LIMIT ? 0 : 1;
}
