// XmlLoaderContext: travels with one load. It says where the load was
// started from and carries the display and error messages back to the caller.
#pragma once

class XmlLoaderContext {
public:
    enum SOURCE : int { DIRECT = 0, DATABASE = 1 };

    XmlLoaderContext() = default;
    explicit XmlLoaderContext(SOURCE source) : source_(source) {}
    virtual ~XmlLoaderContext();
    XmlLoaderContext(XmlLoaderContext const&) = delete;
    XmlLoaderContext& operator=(XmlLoaderContext const&) = delete;

    // Carried only; nothing in the registry reads it.
    SOURCE getSource() const { return source_; }

    // The stored texts, or null.
    wchar_t const* getDisplayMessage() const { return displayMessage_; }
    wchar_t const* getErrorMessage() const { return errorMessage_; }
    // Replace the stored text with a copy of text (null clears it).
    void setDisplayMessage(wchar_t const* text);
    void setErrorMessage(wchar_t const* text);

    // The error message becomes the catalogue's "The file {1} is not a
    // well-formed XML file." with the file name.
    void setInvalidXmlFile(wchar_t const* fileName);
    // The error message becomes the catalogue's "No loader registered for XML
    // document with root "{1}"." with the root tag.
    void setNoLoaderFound(wchar_t const* rootTag);

    // The host's message module of these texts, and their numbers.
    static constexpr int MESSAGE_MODULE = 2376;
    static constexpr int INVALID_XML_FILE = 1;
    static constexpr int NO_LOADER_FOUND = 2;

private:
    void clearDisplayMessage();
    void clearErrorMessage();

    SOURCE source_ = DIRECT;
    wchar_t* displayMessage_ = nullptr;  // ux_strdup copies, freed with ux_strfree
    wchar_t* errorMessage_ = nullptr;
};
