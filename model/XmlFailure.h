// Why the calling thread's most recent reading, parsing, writing or
// transforming call failed. Those calls still answer null or false; the
// reason waits here until the thread's next such call, which clears it.
#pragma once

#include <string>

struct XmlFailure {
    std::wstring message;  // the parser's or the system's own message
    std::wstring file;     // the file concerned; empty for text in memory
    long line = 0;         // where in that text (1-based); 0 when it does not apply
    long column = 0;
};

class XmlLastFailure {
public:
    // The failure of this thread's latest such call; null after a success.
    // Valid until the thread's next such call.
    static XmlFailure const* get() noexcept;

    // For the operations themselves: forget at the start, record on failure.
    static void clear() noexcept;
    static void set(std::wstring message, wchar_t const* file, long line = 0, long column = 0) noexcept;
};
