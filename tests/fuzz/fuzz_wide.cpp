// Wide-string input, where surrogates, non-characters and NULs can occur
// that no UTF-8 file holds: the engine's loadXML and the module's
// deserialiser, whose document is serialised again.
#include "fuzz_support.h"

#include "model/TrelDOMDocument.h"
#include "model/XML_UTILITIES.h"
#include "platform/host/ux_string.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    std::wstring text = fuzz::codePoints(data, size);
    auto doc = fuzz::newDocument();
    fuzz::loadText(doc.get(), text);

    // The model reads up to the first NUL, as any C string.
    // The document comes with one reference; the last serialise gives it back.
    if (TrelDOMDocument* model = XML_UTILITIES::deserialize(text.c_str())) {
        wchar_t* flat = XML_UTILITIES::serialize(model, false, false);
        if (!flat) fuzz::fail("a deserialised document does not serialise");
        ux_strfree(flat);
        wchar_t* indented = XML_UTILITIES::serialize(model, true, true);
        if (!indented) fuzz::fail("a deserialised document does not serialise indented");
        ux_strfree(indented);
    }
    return 0;
}
