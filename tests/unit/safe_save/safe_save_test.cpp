// A failing writer never destroys the file it was meant to replace: the
// transformation and saving routes through the model all keep the old file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/XmlObjectFactory.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(fs::path const& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(fs::path const& p, std::string const& text) { std::ofstream(p, std::ios::binary) << text; }

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quill-safe-XXXXXX";
        dir_ = mkdtemp(pattern);
        doc_ = XmlObjectFactory::getInstance()->createDocument();
        ASSERT_TRUE(doc_ && doc_->loadXML(L"<r><a>1</a></r>"));
        writeAll(target(), "previous contents");
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path target() const { return dir_ / "out.xml"; }
    bool onlyTheTargetIsLeft() const {  // writers work in hidden "*.tmp" files beside the target
        for (auto const& entry : fs::directory_iterator(dir_))
            if (entry.path().extension() == ".tmp") return false;
        return true;
    }

    fs::path dir_;
    XmlSmartPtr<TrelDOMDocument> doc_;
};

TEST_F(SafeSave, FailedTransformationKeepsTheOldFile) {
    writeAll(dir_ / "stop.xsl",
             "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
             "<xsl:template match='/'><out><xsl:message terminate='yes'>stop</xsl:message></out></xsl:template>"
             "</xsl:stylesheet>");
    std::wstring sheet = (dir_ / "stop.xsl").wstring(), out = target().wstring();
    EXPECT_FALSE(doc_->transform(sheet.c_str(), out.c_str()));
    EXPECT_EQ(readAll(target()), "previous contents");
    EXPECT_TRUE(onlyTheTargetIsLeft()) << "no temporary file may be left behind";
}

TEST_F(SafeSave, SuccessfulTransformationReplacesTheFile) {
    writeAll(dir_ / "copy.xsl",
             "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
             "<xsl:output method='text'/><xsl:template match='/'>done</xsl:template></xsl:stylesheet>");
    std::wstring sheet = (dir_ / "copy.xsl").wstring(), out = target().wstring();
    EXPECT_TRUE(doc_->transform(sheet.c_str(), out.c_str()));
    EXPECT_EQ(readAll(target()), "done");
    EXPECT_TRUE(onlyTheTargetIsLeft());
}

TEST_F(SafeSave, RefusedIndentedSaveKeepsTheOldFile) {
    std::wstring out = target().wstring();
    EXPECT_FALSE(doc_->save(out.c_str(), XmlEncoding(L"no-such-encoding"), true));
    EXPECT_EQ(readAll(target()), "previous contents");
    EXPECT_TRUE(onlyTheTargetIsLeft());
}

}  // namespace
