#include <string>
#include <vector>

#include "registry/XmlHandler.h"
#include "registry/XmlHandlerRegistry.h"
#include "tests/unit/common/live_objects.h"

namespace {

// What the handlers were asked and when they died, in order.
using Journal = std::vector<std::string>;

class RecordingHandler : public XmlHandlerImpl {
public:
    RecordingHandler(wchar_t const* tag, std::string name, Journal& journal)
        : XmlHandlerImpl(tag), name_(std::move(name)), journal_(journal) {}
    ~RecordingHandler() override { journal_.push_back("destroy " + name_); }
    bool canHandle(wchar_t const* tag) const override {
        journal_.push_back("ask " + name_);
        return XmlHandlerImpl::canHandle(tag);
    }

private:
    std::string name_;
    Journal& journal_;
};

// The registry's constructor is for derived registries only.
struct TestRegistry : XmlHandlerRegistry {
    using XmlHandlerRegistry::clearHandlers;
};

class HandlerRegistry : public testfiles::LiveObjectTest {
protected:
    XmlHandler* add(wchar_t const* tag, char const* name) {
        auto* handler = new RecordingHandler(tag, name, journal_);
        registry_.registerHandler(handler);
        return handler;
    }
    Journal journal_;  // outlives the registry, which destroys the handlers
    TestRegistry registry_;
};

TEST_F(HandlerRegistry, FirstRegistrationForATagWinsAndTheScanStopsThere) {
    XmlHandler* first = add(L"model", "first");
    add(L"model", "second");
    XmlHandler* upper = add(L"Model", "upper");
    registry_.registerHandler(nullptr);  // ignored
    EXPECT_EQ(registry_.handlerCount(), 3);
    EXPECT_EQ(registry_.getHandler(L"model"), first);
    EXPECT_EQ(journal_, Journal({"ask first"}));
    journal_.clear();
    EXPECT_EQ(registry_.getHandler(L"Model"), upper);  // whole tags, letter case counts
    EXPECT_EQ(journal_, Journal({"ask first", "ask second", "ask upper"}));
    EXPECT_EQ(registry_.getHandler(L"mode"), nullptr);
    journal_.clear();
    EXPECT_EQ(registry_.getHandler(static_cast<wchar_t const*>(nullptr)), nullptr);
    EXPECT_TRUE(journal_.empty());
}

TEST_F(HandlerRegistry, ClearingOrDestroyingDestroysEveryHandlerInRegistrationOrder) {
    add(L"a", "a");
    add(L"b", "b");
    add(L"a", "a2");
    registry_.clearHandlers();
    EXPECT_EQ(journal_, Journal({"destroy a", "destroy b", "destroy a2"}));
    EXPECT_EQ(registry_.getHandler(L"a"), nullptr);
    journal_.clear();
    {
        TestRegistry registry;
        registry.registerHandler(new RecordingHandler(L"x", "x", journal_));
        registry.registerHandler(new RecordingHandler(L"y", "y", journal_));
    }
    EXPECT_EQ(journal_, Journal({"destroy x", "destroy y"}));
}

}  // namespace
