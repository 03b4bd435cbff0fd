// Shared by the registry tests: the live-object fixture of the comparator
// tests, temporary folders and environment variables restored at scope end.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "tests/unit/compare/compare_support.h"

namespace registrytest {

using comparetest::LiveObjectTest;
using comparetest::parse;

class TempDir {
public:
    TempDir() : path_((std::filesystem::temp_directory_path() / "quill-registry-XXXXXX").string()) {
        if (!mkdtemp(path_.data())) path_.clear();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(TempDir const&) = delete;
    TempDir& operator=(TempDir const&) = delete;

    std::string file(std::string const& name) const { return path_ + "/" + name; }
    // Writes the bytes; the file's name as wide text.
    std::wstring write(std::string const& name, std::string const& content) const {
        std::ofstream(file(name), std::ios::binary) << content;
        return wide(file(name));
    }
    static std::wstring wide(std::string const& s) { return std::wstring(s.begin(), s.end()); }
    static std::string read(std::string const& path) {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        return out.str();
    }

private:
    std::string path_;
};

class ScopedEnv {
public:
    ScopedEnv(char const* name, std::string const& value) : name_(name) {
        if (char const* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
    ScopedEnv(ScopedEnv const&) = delete;
    ScopedEnv& operator=(ScopedEnv const&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline std::wstring orNull(wchar_t const* s) { return s ? s : L"(null)"; }

}  // namespace registrytest
