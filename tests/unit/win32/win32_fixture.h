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

// Test folders are plain ASCII.
inline std::wstring wide(std::filesystem::path const& p) {
    std::string s = p.string();
    return std::wstring(s.begin(), s.end());
}

inline size_t filesIn(std::filesystem::path const& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto const& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace win32test
