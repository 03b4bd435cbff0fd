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
    EXPECT_FALSE(XmlSmartPtr<TrelDOMDocument>(factory()->createDocument(bad.c_str())));
    XmlFailure const* failure = XmlLastFailure::get();
    ASSERT_NE(failure, nullptr);
    EXPECT_NE(failure->message.find(L"mismatch"), std::wstring::npos) << str(failure->message.c_str());
    EXPECT_EQ(failure->file, bad);
    EXPECT_EQ(failure->line, 2);
    EXPECT_GT(failure->column, 0);

    auto doc = parse(L"<r/>");
    EXPECT_EQ(XmlLastFailure::get(), nullptr) << "a success forgets";
    // The old file stays, and the save says why.
    writeFile(dir() / "kept.xml", "<old/>");
    EXPECT_FALSE(newDocument()->save(file("kept.xml").c_str(), false));
    ASSERT_NE(XmlLastFailure::get(), nullptr);
    EXPECT_EQ(XmlLastFailure::get()->message, L"The document has no root element.");
    EXPECT_EQ(readFile(dir() / "kept.xml"), "<old/>");

    writeFile(dir() / "bad.xsl",
              "<x:stylesheet version='1.0' xmlns:x='http://www.w3.org/1999/XSL/Transform'>"
              "<x:template match='/'><x:nonsense/></x:template></x:stylesheet>");
    EXPECT_FALSE(doc->transform(file("bad.xsl").c_str(), file("out.xml").c_str()));
    ASSERT_NE(XmlLastFailure::get(), nullptr);
    EXPECT_EQ(XmlLastFailure::get()->file, file("bad.xsl"));
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
