#include "model/XmlFailure.h"

#include <new>

namespace {

struct Slot {
    XmlFailure failure;
    bool failed = false;
};

Slot& slot() {
    thread_local Slot s;
    return s;
}

}  // namespace

XmlFailure const* XmlLastFailure::get() noexcept {
    Slot const& s = slot();
    return s.failed ? &s.failure : nullptr;
}

void XmlLastFailure::clear() noexcept { slot().failed = false; }

void XmlLastFailure::set(std::wstring message, wchar_t const* file, long line, long column) noexcept {
    Slot& s = slot();
    s.failed = true;
    s.failure.line = line > 0 ? line : 0;
    s.failure.column = line > 0 && column > 0 ? column : 0;
    try {
        s.failure.message = std::move(message);
        s.failure.file = file ? file : L"";
    } catch (std::bad_alloc const&) {
        s.failure.file.clear();  // the failure itself still shows
    }
}
