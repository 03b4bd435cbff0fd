// The unit tests' one temporary folder, whole-file reads and writes, and
// environment variables restored at scope end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace testfiles {

inline void writeFile(std::filesystem::path const& p, std::string const& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readFile(std::filesystem::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::wstring widen(std::string const& s) { return std::wstring(s.begin(), s.end()); }

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes. Names given to it are relative
// paths; the wide forms are what the model's calls take.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quill-test-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(TempDir const&) = delete;
    TempDir& operator=(TempDir const&) = delete;

    std::filesystem::path const& path() const { return path_; }
    std::filesystem::path operator/(std::string const& name) const { return path_ / name; }
    std::wstring file(std::string const& name) const { return (path_ / name).wstring(); }
    // Writes the bytes (making folders on the way); the file's wide name.
    std::wstring write(std::string const& name, std::string const& bytes) const {
        std::filesystem::path const p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        writeFile(p, bytes);
        return p.wstring();
    }

private:
    std::filesystem::path path_;
};

// Sets (or, given null, unsets) a variable and puts the old state back.
class ScopedEnv {
public:
    ScopedEnv(char const* name, char const* value) : name_(name) {
        if (char const* old = getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ScopedEnv(char const* name, std::string const& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
    ScopedEnv(ScopedEnv const&) = delete;
    ScopedEnv& operator=(ScopedEnv const&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace testfiles
