// XmlLastFailure is kept per thread (what each call leaves: the Lisp
// LAST-ERROR tests).
#include <thread>

#include "model/XmlFailure.h"
#include "support.h"

namespace msxmltest {
namespace {

class FailureTest : public BackendTest {};

TEST_F(FailureTest, EachThreadHasItsOwn) {
    EXPECT_FALSE(factory()->createDocument(file("none.xml").c_str()));
    ASSERT_NE(XmlLastFailure::get(), nullptr);
    EXPECT_EQ(XmlLastFailure::get()->message + XmlLastFailure::get()->file,
              L"No such file or directory" + file("none.xml"));
    bool otherSawOne = true;
    std::thread([&] { otherSawOne = XmlLastFailure::get() != nullptr; }).join();
    EXPECT_FALSE(otherSawOne);
    EXPECT_NE(XmlLastFailure::get(), nullptr);
}

}  // namespace
}  // namespace msxmltest
