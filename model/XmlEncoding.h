// The name of an output encoding.
#pragma once

class XmlEncoding {
public:
    constexpr explicit XmlEncoding(wchar_t const* name) : name_(name) {}
    wchar_t const* toString() const { return name_; }

    static XmlEncoding const UTF8;   // "UTF-8", the default everywhere
    static XmlEncoding const UTF16;  // "UTF-16"

private:
    wchar_t const* name_;  // not owned: a literal or a string that outlives this
};
