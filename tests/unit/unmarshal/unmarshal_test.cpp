// Unmarshalling a small model: the root holds <assembly> lists of <part>
// items; every object records the version it was given. The factory is a
// process-wide singleton that keeps every creator, so each test registers
// creators for root tags of its own.
#include <functional>
#include <memory>

#include "platform/host/ux_string.h"
#include "tests/unit/common/live_objects.h"
#include "unmarshal/Unmarshallable.h"
#include "unmarshal/Unmarshaller.h"

namespace {

int liveObjects = 0;  // test objects alive now

struct Counted {
    Counted() { ++liveObjects; }
    ~Counted() { --liveObjects; }
    int version = -1;
};

// <part name="..."/>; fails without a name.
class Part : public Unmarshallable, public Counted {
public:
    bool unmarshal(TrelDOMElement const* element, int v) override {
        version = v;
        wchar_t const* value = element->getAttributeValue(L"name");
        if (value) name = value;
        return value != nullptr;
    }
    std::wstring name;
};

// Items are the children with one tag; others are skipped or fatal.
class List : public UnmarshallableList, public Counted {
public:
    List(wchar_t const* itemTag, std::function<Unmarshallable*()> makeItem, bool skipUnknown)
        : itemTag_(itemTag), makeItem_(std::move(makeItem)), skipUnknown_(skipUnknown) {}
    bool unmarshal(TrelDOMElement const* element, int v) override {
        version = v;
        return UnmarshallableList::unmarshal(element, v);
    }
    bool acceptsChild(TrelDOMElement const* child) override { return child->tagEquals(itemTag_); }
    Unmarshallable* createItem() override { return makeItem_(); }
    bool skipUnknownChildren() override { return skipUnknown_; }
    List const* list(long i) const { return dynamic_cast<List const*>(elt(i)); }
    Part const* part(long i) const { return dynamic_cast<Part const*>(elt(i)); }

private:
    wchar_t const* itemTag_;
    std::function<Unmarshallable*()> makeItem_;
    bool skipUnknown_;
};

List* newAssembly(bool skip) {
    return new List(
        L"part", [] { return new Part(); }, skip);
}
List* newModel(bool skip) {
    return new List(
        L"assembly", [skip] { return newAssembly(skip); }, skip);
}

class Creator : public UnmarshallableObjectCreator {
public:
    Creator(wchar_t const* tag, std::function<Unmarshallable*()> make) : tag_(tag), make_(std::move(make)) {}
    bool canHandle(wchar_t const* tag) const override { return ux_strequal(tag, tag_.c_str()); }
    Unmarshallable* createObject(wchar_t const*) override { return make_(); }

private:
    std::wstring tag_;
    std::function<Unmarshallable*()> make_;
};

class Unmarshalling : public testfiles::LiveObjectTest {
protected:
    void SetUp() override { LiveObjectTest::SetUp(), objects_ = liveObjects; }
    void TearDown() override {
        LiveObjectTest::TearDown();
        EXPECT_EQ(liveObjects, objects_) << "unmarshalled objects leaked";
    }
    static UnmarshallableObjectFactory* creators() { return UnmarshallableObjectFactory::getInstance(); }
    static void add(wchar_t const* tag, std::function<Unmarshallable*()> make) {
        creators()->registerCreator(new Creator(tag, std::move(make)));
    }

    // Unmarshals the text; the result belongs to the test.
    static std::unique_ptr<Unmarshallable> read(std::wstring const& text) {
        XmlSmartPtr<TrelDOMDocument> document = testfiles::parse(text);
        return std::unique_ptr<Unmarshallable>(
            Unmarshaller(creators()).unmarshal(document.operator TrelDOMDocument*()));
    }

private:
    int objects_ = 0;
};

TEST_F(Unmarshalling, VersionReachesEveryLevel) {
    add(L"um-levels", [] { return newModel(false); });
    for (auto const& [attribute, expected] : std::vector<std::pair<std::wstring, int>>{
             {L"", 0}, {L" version='3'", 3}, {L" version='x'", 0}, {L" version='12.7'", 12}}) {
        auto object = read(L"<um-levels" + attribute +
                           L"><assembly><part name='a'/><part name='b'/></assembly>"
                           L"<assembly><part name='c'/></assembly></um-levels>");
        auto const* model = dynamic_cast<List const*>(object.get());
        ASSERT_NE(model, nullptr);
        ASSERT_EQ(model->size(), 2);
        EXPECT_EQ(model->version, expected);
        std::wstring names;
        for (long i = 0; i < 2; ++i) {
            EXPECT_EQ(model->list(i)->version, expected);
            for (long k = 0; k < model->list(i)->size(); ++k) {
                EXPECT_EQ(model->list(i)->part(k)->version, expected);
                names += model->list(i)->part(k)->name;
            }
        }
        EXPECT_EQ(names, L"abc");  // document order
    }
}

TEST_F(Unmarshalling, UnknownChildrenAreSkippedOrFatal) {
    add(L"um-skip", [] { return newModel(true); });
    add(L"um-strict", [] { return newModel(false); });
    std::wstring const body = L"<assembly><note/><part name='a'/></assembly><comment/><assembly/>";
    auto skipped = read(L"<um-skip>" + body + L"</um-skip>");
    auto const* model = dynamic_cast<List const*>(skipped.get());
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->size(), 2);
    EXPECT_EQ(model->list(0)->size(), 1);

    EXPECT_EQ(read(L"<um-strict>" + body + L"</um-strict>"), nullptr);  // and nothing is left alive
}

TEST_F(Unmarshalling, AFailingItemStopsItsListAndFailsTheWhole) {
    add(L"um-fail", [] { return newModel(false); });
    EXPECT_EQ(read(L"<um-fail><assembly><part name='a'/><part/><part name='c'/></assembly>"
                   L"<assembly><part name='d'/></assembly></um-fail>"),
              nullptr);

    // A list on its own keeps the items read before the failure.
    auto document = testfiles::parse(L"<assembly><part name='a'/><part/><part name='c'/></assembly>");
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    std::unique_ptr<List> assembly(newAssembly(false));
    EXPECT_FALSE(assembly->unmarshal(root, 1));
    ASSERT_EQ(assembly->size(), 1);
    EXPECT_EQ(assembly->part(0)->name, L"a");
    EXPECT_FALSE(assembly->unmarshal(nullptr, 1));

    // A list that cannot make items fails on its first accepted child only.
    List hollow(
        L"part", [] { return nullptr; }, true);
    EXPECT_FALSE(hollow.unmarshal(root, 0));
    EXPECT_TRUE(hollow.unmarshal(XmlSmartPtr<TrelDOMElement>(root->getFirstChild()), 0));
}

TEST_F(Unmarshalling, FirstRegisteredCreatorWins) {
    static int first, second;  // creators outlive the test
    first = second = 0;
    add(L"um-first", [] { return ++first, newModel(false); });
    add(L"um-first", [] { return ++second, newModel(false); });
    EXPECT_NE(read(L"<um-first><assembly/></um-first>"), nullptr);
    std::unique_ptr<Unmarshallable> direct(creators()->createObject(L"um-first"));
    EXPECT_NE(direct, nullptr);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 0);
}

TEST_F(Unmarshalling, NothingToMakeGivesNull) {
    long const before = creators()->handlerCount();
    creators()->registerCreator(nullptr);
    EXPECT_EQ(creators()->handlerCount(), before);
    add(L"um-barren", [] { return nullptr; });
    creators()->registerHandler(new XmlHandlerImpl(L"um-handler-only"));

    EXPECT_EQ(read(L"<um-unknown-root/>"), nullptr);
    EXPECT_EQ(read(L"<um-barren/>"), nullptr);
    EXPECT_EQ(read(L"<um-handler-only/>"), nullptr);  // a handler that is no creator
    EXPECT_EQ(creators()->createObject(nullptr), nullptr);

    Unmarshaller unmarshaller(creators());
    EXPECT_EQ(
        unmarshaller.unmarshal(XmlSmartPtr<TrelDOMDocument>(factory()->createDocument()).operator TrelDOMDocument*()),
        nullptr);
    EXPECT_EQ(unmarshaller.unmarshal(static_cast<TrelDOMDocument const*>(nullptr)), nullptr);
    EXPECT_EQ(unmarshaller.unmarshal(static_cast<TrelDOMElement const*>(nullptr), 1), nullptr);
}

}  // namespace
