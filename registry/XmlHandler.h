// Handlers: objects responsible for XML documents with a given root tag.
#pragma once

// The one question a handler answers. The virtual destructor lets a registry
// that holds handlers by this base destroy each as the complete object it is.
class XmlHandler {
public:
    virtual bool canHandle(wchar_t const* tag) const = 0;
    virtual ~XmlHandler() = default;

protected:
    XmlHandler() = default;
    XmlHandler(XmlHandler const&) = default;
    XmlHandler& operator=(XmlHandler const&) = default;
};

// A handler for exactly one root tag: the whole tag, compared code unit for
// code unit (no namespace, no pattern).
class XmlHandlerImpl : public virtual XmlHandler {
public:
    explicit XmlHandlerImpl(wchar_t const* tag);
    ~XmlHandlerImpl() override;
    XmlHandlerImpl(XmlHandlerImpl const&) = delete;
    XmlHandlerImpl& operator=(XmlHandlerImpl const&) = delete;

    bool canHandle(wchar_t const* tag) const override;
    wchar_t const* getTag() const { return tag_; }

protected:
    // No tag: canHandle compares with an absent tag.
    XmlHandlerImpl() = default;

private:
    wchar_t* tag_ = nullptr;  // ux_strdup copy, freed with ux_strfree
};
