#include "model_test_support.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace modeltest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quill-model-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::wstring TempDir::write(char const* name, std::string const& content) const {
  std::filesystem::path target = path_ / name;
  std::filesystem::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << content;
  return target.wstring();
}

std::string readFile(std::filesystem::path const& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

XmlSmartPtr<TrelDOMDocument> parse(wchar_t const* text) {
  XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
  EXPECT_TRUE(document && document->loadXML(text)) << "does not parse";
  return document;
}

std::wstring textAt(TrelDOMDocument const* document, wchar_t const* path) {
  wchar_t const* text = document->getText(path);
  return text ? text : L"(null)";
}

}  // namespace modeltest
