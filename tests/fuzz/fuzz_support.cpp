#include "fuzz_support.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/msxml6/engine.h"
#include "tests/unit/common/engine_handlers.h"

namespace fuzz {

std::wstring take(BSTR s) {
    std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    SysFreeString(s);
    return out;
}

std::wstring fromUtf8(uint8_t const* data, size_t size) {
    return mx::toWide(reinterpret_cast<char const*>(data), size);
}

std::wstring codePoints(uint8_t const* data, size_t size) {
    std::wstring out;
    out.reserve(size);
    for (size_t i = 0; i < size;) {
        if (data[i] < 0x80 || size - i < 3) {
            out += static_cast<wchar_t>(data[i++]);
            continue;
        }
        uint32_t v = (uint32_t(data[i] & 0x7F) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        out += static_cast<wchar_t>(v % 0x110000);
        i += 3;
    }
    return out;
}

VARIANT objectVariant(IUnknown* object, VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    v.punkVal = object;
    return v;
}

ComPtr<IXMLDOMDocument3> newDocument() {
    return create<IXMLDOMDocument3>(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3);
}

bool loadText(IXMLDOMDocument3* doc, std::wstring const& text) {
    Bstr arg(text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->loadXML(arg, &ok)) && ok == VARIANT_TRUE;
}

bool loadBytes(IXMLDOMDocument3* doc, uint8_t const* data, size_t size) {
    ComPtr<IStream> stream = memoryStream(data, size, 4096);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->load(objectVariant(stream.get()), &ok)) && ok == VARIANT_TRUE;
}

ComPtr<IStream> memoryStream(uint8_t const* data, size_t size, size_t piece) {
    auto stream = enginetest::MemoryStream::create(std::string(reinterpret_cast<char const*>(data), size),
                                                   std::max<size_t>(piece, 1));
    return ComPtr<IStream>(stream.get());
}

size_t saxEvents(uint8_t const* data, size_t size) {
    ComPtr<ISAXXMLReader> reader;
    if (FAILED(mx::createSAXXMLReader(IID_ISAXXMLReader, reinterpret_cast<void**>(reader.put()))))
        fail("no SAX reader");
    auto handler = enginetest::Recorder::create();
    handler->keep = false;
    reader->putContentHandler(handler.get());
    reader->putErrorHandler(handler.get());
    reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, objectVariant(static_cast<ISAXContentHandler*>(handler.get())));
    ComPtr<IStream> stream = memoryStream(data, size, 1 + size % 61);
    reader->parse(objectVariant(stream.get()));
    return handler->count;
}

namespace {

// In memory where the system has such a folder: saves sync their files,
// which on a disk would cost more than the rest of a run.
std::filesystem::path scratchParent() {
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

std::string makeScratchDir() {
    std::string pattern = (scratchParent() / "quill-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("no scratch folder");
    static std::string const removeAtExit = pattern;
    atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(removeAtExit, ignored);
    });
    return pattern;
}

}  // namespace

std::string const& scratchDir() {
    static std::string const dir = makeScratchDir();
    return dir;
}

std::wstring scratchFile(char const* name) {
    std::string path = scratchDir() + "/" + name;
    return std::wstring(path.begin(), path.end());
}

void fail(char const* what) {
    fprintf(stderr, "fuzz oracle: %s\n", what);
    fflush(stderr);
    __builtin_trap();
}

}  // namespace fuzz
