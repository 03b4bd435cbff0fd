#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/XmlHandler.h"
#include "registry/XmlHandlerRegistry.h"
#include "registry_support.h"

namespace {

using registrytest::parse;

// What the handlers were asked and when they died, in order.
typedef std::vector<std::string> Journal;

class RecordingHandler : public XmlHandlerImpl {
public:
    RecordingHandler(wchar_t const* tag, std::string name, Journal& journal)
        : XmlHandlerImpl(tag), _name(std::move(name)), _journal(journal) {}
    ~RecordingHandler() override { _journal.push_back("destroy " + _name); }
    bool canHandle(wchar_t const* tag) const override {
        _journal.push_back("ask " + _name);
        return XmlHandlerImpl::canHandle(tag);
    }

private:
    std::string _name;
    Journal& _journal;
};

// The registry's constructor is for derived registries only.
class TestRegistry : public XmlHandlerRegistry {
public:
    TestRegistry() = default;
    ~TestRegistry() override = default;
    using XmlHandlerRegistry::clearHandlers;
};

class HandlerRegistry : public registrytest::LiveObjectTest {
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

TEST_F(HandlerRegistry, ClearingDestroysEveryHandlerInRegistrationOrder) {
    add(L"a", "a");
    add(L"b", "b");
    add(L"a", "a2");
    registry_.clearHandlers();
    EXPECT_EQ(journal_, Journal({"destroy a", "destroy b", "destroy a2"}));
    EXPECT_EQ(registry_.getHandler(L"a"), nullptr);

    Journal journal;
    {
        TestRegistry registry;
        registry.registerHandler(new RecordingHandler(L"x", "x", journal));
        registry.registerHandler(new RecordingHandler(L"y", "y", journal));
    }
    EXPECT_EQ(journal, Journal({"destroy x", "destroy y"}));
}

class TaglessHandler : public XmlHandlerImpl {};

}  // namespace
