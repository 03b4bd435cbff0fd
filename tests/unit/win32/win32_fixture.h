// Shared helpers of the platform tests: temporary folders and file bytes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace win32test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quill-w32-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::filesystem::path const& path() const { return path_; }
    std::filesystem::path operator/(std::string const& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void writeFile(std::filesystem::path const& p, std::string const& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

inline std::string readFile(std::filesystem::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-8 file name to the wide form the API takes.
inline std::wstring wide(std::string const& utf8) {
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        uint32_t cp = extra ? c & (0x3F >> extra) : c;
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += static_cast<wchar_t>(cp);
        i += 1 + extra;
    }
    return out;
}
inline std::wstring wide(std::filesystem::path const& p) { return wide(p.string()); }

inline size_t filesIn(std::filesystem::path const& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto const& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace win32test
