// The fuzzer's bytes compiled as a style sheet with the engine's defaults
// (no document(), no extension writes, no external entities) and applied to
// a small fixed document, as serialised output (to a scratch file) and as
// a DOM result.
#include "fuzz_support.h"

namespace {

wchar_t const kInput[] =
    L"<r a='1'><e id='1'>one</e><e id='2'>two<i/></e><!--c--><?p d?><n xmlns='urn:n'>3</n></r>";

void run(IXSLProcessor* processor, IXMLDOMDocument3* input, IXMLDOMDocument3* resultDoc) {
    if (FAILED(processor->put_input(fuzz::objectVariant(input, VT_DISPATCH)))) fuzz::fail("the input is refused");
    VARIANT output;
    VariantInit(&output);
    fuzz::ComPtr<IStream> file;
    if (resultDoc) {
        output = fuzz::objectVariant(resultDoc, VT_DISPATCH);
    } else if (SUCCEEDED(SHCreateStreamOnFileW(fuzz::scratchFile("xslt-out").c_str(), STGM_CREATE | STGM_WRITE,
                                                file.put()))) {
        output.vt = VT_UNKNOWN;
        output.punkVal = file.get();  // borrowed for the call
    }
    processor->put_output(output);
    VARIANT_BOOL done = VARIANT_FALSE;
    processor->transform(&done);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    auto sheet = fuzz::newDocument();
    if (!fuzz::loadBytes(sheet.get(), data, size)) return 0;
    auto xslt = fuzz::create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
    if (FAILED(xslt->putref_stylesheet(sheet.get()))) return 0;
    fuzz::ComPtr<IXSLProcessor> processor;
    if (FAILED(xslt->createProcessor(processor.put())) || !processor) return 0;
    auto input = fuzz::newDocument();
    if (!fuzz::loadText(input.get(), kInput)) fuzz::fail("the fixed input does not load");
    run(processor.get(), input.get(), nullptr);
    auto result = fuzz::newDocument();
    run(processor.get(), input.get(), result.get());
    return 0;
}
