// Shared by the model tests: a fixture that checks the factory's live
// counters end where they started, temporary folders, small helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"

namespace modeltest {

// Every test releases what it made, so both counters end where they began.
class ModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    documentsAtStart_ = factory()->getDocumentCount();
    nodesAtStart_ = factory()->getNodeCount();
  }
  void TearDown() override {
    EXPECT_EQ(liveDocuments(), 0) << "documents leaked";
    EXPECT_EQ(liveNodes(), 0) << "nodes leaked";
  }
  static XmlObjectFactory* factory() { return XmlObjectFactory::getInstance(); }
  int liveDocuments() const { return factory()->getDocumentCount() - documentsAtStart_; }
  int liveNodes() const { return factory()->getNodeCount() - nodesAtStart_; }

private:
  int documentsAtStart_ = 0;
  int nodesAtStart_ = 0;
};

// A fresh folder, removed with its content at the end.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;

  std::filesystem::path const& path() const { return path_; }
  std::wstring file(char const* name) const { return (path_ / name).wstring(); }
  // Writes the bytes to path()/name (folders made as needed); its name.
  std::wstring write(char const* name, std::string const& content) const;

private:
  std::filesystem::path path_;
};

std::string readFile(std::filesystem::path const& path);

// A document parsed from text; the test fails when it does not parse.
XmlSmartPtr<TrelDOMDocument> parse(wchar_t const* text);

// getText(path) of the document, "(null)" for null.
std::wstring textAt(TrelDOMDocument const* document, wchar_t const* path);

}  // namespace modeltest
