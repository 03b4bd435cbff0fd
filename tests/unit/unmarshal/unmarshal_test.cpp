// Unmarshalling a small model: the root holds <assembly> lists of <part>
// items. The factory is a process-wide singleton that keeps every creator,
// so each case has root tags of its own.
#include <functional>
#include <memory>

#include "platform/host/ux_string.h"
#include "tests/unit/common/live_objects.h"
#include "unmarshal/Unmarshallable.h"
#include "unmarshal/Unmarshaller.h"

namespace {

int liveObjects = 0;  // test objects alive now

// Every test object is counted and shows itself as text.
struct Shown {
    Shown() { ++liveObjects; }
    virtual ~Shown() { --liveObjects; }
    virtual std::wstring show() const = 0;
};

// <part name="..."/> with the version it was given; fails without a name.
struct Part : Unmarshallable, Shown {
    bool unmarshal(TrelDOMElement const* element, int v) override {
        wchar_t const* value = element->getAttributeValue(L"name");
        return version = v, value && (name = value, true);
    }
    std::wstring show() const override { return name + std::to_wstring(version); }
    std::wstring name;
    int version = -1;
};

// Items are the children with one tag; others are skipped or fatal. Shown
// as the version, then the items: "3(a3 b3)".
class List : public UnmarshallableList, public Shown {
public:
    List(wchar_t const* itemTag, std::function<Unmarshallable*()> makeItem, bool skipUnknown)
        : itemTag_(itemTag), makeItem_(std::move(makeItem)), skipUnknown_(skipUnknown) {}
    bool unmarshal(TrelDOMElement const* element, int v) override {
        return version_ = v, UnmarshallableList::unmarshal(element, v);
    }
    bool acceptsChild(TrelDOMElement const* child) override { return child->tagEquals(itemTag_); }
    Unmarshallable* createItem() override { return makeItem_(); }
    bool skipUnknownChildren() override { return skipUnknown_; }
    std::wstring show() const override {
        std::wstring out = std::to_wstring(version_) + L"(";
        for (long i = 0; i < size(); ++i) out += (i ? L" " : L"") + dynamic_cast<Shown&>(*elt(i)).show();
        return out + L")";
    }

private:
    wchar_t const* itemTag_;
    std::function<Unmarshallable*()> makeItem_;
    bool skipUnknown_;
    int version_ = -1;
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
    // The text unmarshalled and shown; "null" when nothing came of it.
    static std::wstring read(std::wstring const& text) {
        XmlSmartPtr<TrelDOMDocument> document = testfiles::parse(text);
        std::unique_ptr<Unmarshallable> made(Unmarshaller(creators()).unmarshal(document.operator TrelDOMDocument*()));
        return made ? dynamic_cast<List&>(*made).show() : L"null";
    }

private:
    int objects_ = 0;
};

// The root's version reaches every level; unknown children are passed over
// or fatal as the list says; a failing item fails the whole.
TEST_F(Unmarshalling, DocumentsToObjects) {
    add(L"um-strict", [] { return newModel(false); });
    add(L"um-skip", [] { return newModel(true); });
    add(L"um-barren", [] { return nullptr; });
    creators()->registerHandler(new XmlHandlerImpl(L"um-handler-only"));  // a handler that is no creator
    std::wstring const parts = L"><assembly><part name='a'/><part name='b'/></assembly><assembly><part name='c'/>";
    std::wstring const unknown = L"><assembly><note/><part name='a'/></assembly><comment/><assembly/>";
    std::pair<std::wstring, wchar_t const*> const cases[] = {
        {L"<um-strict" + parts + L"</assembly></um-strict>", L"0(0(a0 b0) 0(c0))"},
        {L"<um-strict version='3'" + parts + L"</assembly></um-strict>", L"3(3(a3 b3) 3(c3))"},
        {L"<um-strict version='x'" + parts + L"</assembly></um-strict>", L"0(0(a0 b0) 0(c0))"},
        {L"<um-strict version='12.7'" + parts + L"</assembly></um-strict>", L"12(12(a12 b12) 12(c12))"},
        {L"<um-skip" + unknown + L"</um-skip>", L"0(0(a0) 0())"},
        {L"<um-strict" + unknown + L"</um-strict>", L"null"},
        {L"<um-strict><assembly><part name='a'/><part/></assembly><assembly/></um-strict>", L"null"},
        {L"<um-unknown-root/>", L"null"},
        {L"<um-barren/>", L"null"},
        {L"<um-handler-only/>", L"null"},
    };
    for (auto const& [text, shown] : cases) EXPECT_EQ(read(text), shown) << text;
    Unmarshaller unmarshaller(creators());
    EXPECT_FALSE(
        unmarshaller.unmarshal(XmlSmartPtr<TrelDOMDocument>(factory()->createDocument()).operator TrelDOMDocument*()) ||
        unmarshaller.unmarshal(static_cast<TrelDOMDocument const*>(nullptr)) ||
        unmarshaller.unmarshal(static_cast<TrelDOMElement const*>(nullptr), 1) || creators()->createObject(nullptr));
    long const before = creators()->handlerCount();
    creators()->registerCreator(nullptr);
    EXPECT_EQ(creators()->handlerCount(), before);
}

// A list on its own keeps the items read before a failure; a list that
// cannot make items fails on its first accepted child only.
TEST_F(Unmarshalling, AFailingItemStopsItsList) {
    auto document = testfiles::parse(L"<assembly><part name='a'/><part/><part name='c'/></assembly>");
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    std::unique_ptr<List> assembly(newAssembly(false));
    EXPECT_FALSE(assembly->unmarshal(root, 1) || assembly->unmarshal(nullptr, 1));
    EXPECT_EQ(assembly->show(), L"1(a1)");
    List hollow(
        L"part", [] { return nullptr; }, true);
    EXPECT_FALSE(hollow.unmarshal(root, 0));
    EXPECT_TRUE(hollow.unmarshal(XmlSmartPtr<TrelDOMElement>(root->getFirstChild()), 0));
}

}  // namespace
