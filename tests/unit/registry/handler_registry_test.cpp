// The handler registry: the first handler for a tag wins, the scan stops
// there, and the registry destroys its handlers in registration order.
#include <string>
#include <vector>

#include "registry/XmlHandler.h"
#include "registry/XmlHandlerRegistry.h"
#include "tests/unit/common/live_objects.h"

namespace {

using Journal = std::vector<std::string>;  // what the handlers were asked and when they died

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

struct TestRegistry : XmlHandlerRegistry {  // the constructor is for derived registries only
    using XmlHandlerRegistry::clearHandlers;
};

TEST(HandlerRegistry, FirstRegistrationWinsAndHandlersDieInRegistrationOrder) {
    Journal journal;
    TestRegistry registry;
    auto add = [&](wchar_t const* tag, char const* name) {
        auto* handler = new RecordingHandler(tag, name, journal);
        registry.registerHandler(handler);
        return handler;
    };
    XmlHandler* first = add(L"model", "first");
    add(L"model", "second");
    XmlHandler* upper = add(L"Model", "upper");
    registry.registerHandler(nullptr);  // ignored
    EXPECT_EQ(registry.handlerCount(), 3);
    EXPECT_EQ(registry.getHandler(L"model"), first);
    EXPECT_EQ(registry.getHandler(L"Model"), upper);  // whole tags, letter case counts
    EXPECT_EQ(journal, Journal({"ask first", "ask first", "ask second", "ask upper"}));
    EXPECT_FALSE(registry.getHandler(L"mode") || registry.getHandler(static_cast<wchar_t const*>(nullptr)));
    journal.clear();
    registry.clearHandlers();
    EXPECT_EQ(journal, Journal({"destroy first", "destroy second", "destroy upper"}));
    EXPECT_EQ(registry.getHandler(L"model"), nullptr);
    journal.clear();
    {
        TestRegistry dying;
        dying.registerHandler(new RecordingHandler(L"x", "x", journal));
        dying.registerHandler(new RecordingHandler(L"y", "y", journal));
    }
    EXPECT_EQ(journal, Journal({"destroy x", "destroy y"}));
}

}  // namespace
