// Untrusted bytes through both readers of the engine: a DOM load (the
// document is then written back as text) and a SAX parse whose handler
// reads every event.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    auto doc = fuzz::newDocument();
    if (fuzz::loadBytes(doc.get(), data, size)) {
        BSTR xml = nullptr;
        if (FAILED(doc->get_xml(&xml))) fuzz::fail("a loaded document has no text");
        fuzz::take(xml);
    }
    fuzz::saxEvents(data, size);
    return 0;
}
