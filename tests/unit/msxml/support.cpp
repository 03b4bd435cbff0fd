#include "support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace msxmltest {

namespace fs = std::filesystem;

void BackendTest::SetUp() {
    documents_ = factory()->getDocumentCount();
    nodes_ = factory()->getNodeCount();
}

void BackendTest::TearDown() {
    EXPECT_EQ(factory()->getDocumentCount(), documents_) << "documents left alive";
    EXPECT_EQ(factory()->getNodeCount(), nodes_) << "nodes left alive";
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

XmlSmartPtr<TrelDOMDocument> BackendTest::newDocument() const { return factory()->createDocument(); }

XmlSmartPtr<TrelDOMDocument> BackendTest::parse(wchar_t const* text) const {
    XmlSmartPtr<TrelDOMDocument> document(factory()->createDocument());
    if (!document || !document->loadXML(text)) return nullptr;
    return document;
}

fs::path const& BackendTest::dir() {
    if (dir_.empty()) {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("msxml-test-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    return dir_;
}

std::wstring BackendTest::file(char const* name) { return (dir() / name).wstring(); }

XmlSmartPtr<TrelDOMElement> rootOf(TrelDOMDocument const* document) { return document->getRoot(); }

XmlSmartPtr<TrelDOMElement> at(TrelDOMElement const* context, wchar_t const* path) {
    return context->selectElement(path);
}

XmlSmartPtr<TrelDOMNode> nodeAt(TrelDOMElement const* context, wchar_t const* path) {
    return context->selectNode(path);
}

std::wstring str(wchar_t const* s) { return s ? std::wstring(s) : std::wstring(L"(null)"); }

namespace {

class TagCollector : public TrelDOMElementVisitor {
public:
    explicit TagCollector(std::vector<std::wstring>& tags) : tags_(tags) {}
    bool visit(TrelDOMElement const* element) override {
        tags_.push_back(str(element->getTag()));
        return true;
    }

private:
    std::vector<std::wstring>& tags_;
};

class AttributeCollector : public TrelDOMAttributeVisitor {
public:
    bool visit(TrelDOMAttribute const* attribute) override {
        lines.push_back(str(attribute->getKey()) + L"=" + str(attribute->getValue()));
        return true;
    }
    std::vector<std::wstring> lines;
};

class Describer : public TrelDOMElementVisitor {
public:
    bool visit(TrelDOMElement const* element) override {
        AttributeCollector attributes;
        element->scanAttributes(&attributes);
        std::sort(attributes.lines.begin(), attributes.lines.end());
        out << str(element->getTag()) << L" {" << str(element->getNamespace()) << L"} [";
        for (auto const& line : attributes.lines) out << line << L";";
        out << L"] \"" << str(element->getText()) << L"\" (";
        element->scanChildren(this);
        out << L")";
        return true;
    }
    std::wostringstream out;
};

}  // namespace

std::vector<std::wstring> childTags(TrelDOMElement const* element) {
    std::vector<std::wstring> tags;
    TagCollector collector(tags);
    element->scanChildren(&collector);
    return tags;
}

std::wstring describe(TrelDOMElement const* element) {
    if (!element) return L"(no element)";
    Describer describer;
    describer.visit(element);
    return describer.out.str();
}

std::string readBytes(fs::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(fs::path const& path, std::string const& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

}  // namespace msxmltest
