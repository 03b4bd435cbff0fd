// XmlLastFailure: the C++ side of why a load, save or transformation failed.
#include <thread>

#include "model/XmlFailure.h"
#include "support.h"

namespace msxmltest {
namespace {

class FailureTest : public BackendTest {};

TEST_F(FailureTest, LoadsSavesAndTransformsSayWhy) {
    std::wstring const bad = file("bad.xml");
    writeFile(dir() / "bad.xml", "<r>\n<a></r>");
    XmlSmartPtr<TrelDOMDocument> doc(factory()->createDocument(bad.c_str()));
    EXPECT_FALSE(doc);
    XmlFailure const* failure = XmlLastFailure::get();
    ASSERT_NE(failure, nullptr);
    EXPECT_NE(failure->message.find(L"mismatch"), std::wstring::npos) << str(failure->message.c_str());
    EXPECT_EQ(failure->file, bad);
    EXPECT_EQ(failure->line, 2);
    EXPECT_GT(failure->column, 0);

    doc = parse(L"<r/>");
    ASSERT_TRUE(doc);
    EXPECT_EQ(XmlLastFailure::get(), nullptr) << "a success forgets";

    // The old file stays, and the save says why.
    std::wstring const kept = file("kept.xml");
    writeFile(dir() / "kept.xml", "<old/>");
    EXPECT_FALSE(newDocument()->save(kept.c_str(), false));
    ASSERT_NE(XmlLastFailure::get(), nullptr);
    EXPECT_EQ(XmlLastFailure::get()->message, L"The document has no root element.");
    EXPECT_EQ(readFile(dir() / "kept.xml"), "<old/>");

    std::wstring const sheet = file("bad.xsl");
    writeFile(dir() / "bad.xsl",
               "<x:stylesheet version='1.0' xmlns:x='http://www.w3.org/1999/XSL/Transform'>"
               "<x:template match='/'><x:nonsense/></x:template></x:stylesheet>");
    EXPECT_FALSE(doc->transform(sheet.c_str(), file("out.xml").c_str()));
    ASSERT_NE(XmlLastFailure::get(), nullptr);
    EXPECT_EQ(XmlLastFailure::get()->file, sheet);
    EXPECT_NE(XmlLastFailure::get()->message.find(L"nonsense"), std::wstring::npos);
}

TEST_F(FailureTest, EachThreadHasItsOwn) {
    EXPECT_FALSE(factory()->createDocument(file("none.xml").c_str()));
    ASSERT_NE(XmlLastFailure::get(), nullptr);
    EXPECT_EQ(XmlLastFailure::get()->message, L"No such file or directory");
    bool otherSawOne = true;
    std::thread([&] { otherSawOne = XmlLastFailure::get() != nullptr; }).join();
    EXPECT_FALSE(otherSawOne);
    EXPECT_NE(XmlLastFailure::get(), nullptr);
}

}  // namespace
}  // namespace msxmltest
