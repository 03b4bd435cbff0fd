// Location paths: the tags (and at most one final attribute key) that lead
// to a place in an XML tree, without positions. "/model/part/@name" names the
// attribute name of every part element under the root element model.
//
// The text form is a plain XPath expression. Parsing and printing are
// inverse for texts without a trailing slash; two paths are equal exactly when
// their texts are.
#pragma once

#include "core/XmlRCObject.h"
#include "platform/host/basic_array.h"

// One step: an element tag ("part") or an attribute key behind a commercial
// at ("@name"). The descriptor is owned; it is null for a step made from an
// absent or empty name.
class LocationStep {
public:
    // Null or empty text gives a step without descriptor.
    static LocationStep* create(wchar_t const* text);
    // The first `length` characters of text (length 0: an empty descriptor;
    // null text or a negative length: no descriptor).
    static LocationStep* create(wchar_t const* text, int length);

    LocationStep(LocationStep const& other);
    LocationStep& operator=(LocationStep const& other);
    ~LocationStep();

    // The descriptor itself; may be null.
    wchar_t const* toString() const { return descriptor_; }

    bool operator==(wchar_t const* text) const;
    bool operator!=(wchar_t const* text) const { return !(*this == text); }
    bool operator==(LocationStep const& other) const;
    bool operator!=(LocationStep const& other) const { return !(*this == other); }

    // Whether the step names `name`, ignoring one leading commercial at: the
    // attribute step @id and the element step id both name id.
    bool nameEquals(wchar_t const* name) const;

private:
    LocationStep() = default;
    explicit LocationStep(wchar_t* ownedDescriptor) : descriptor_(ownedDescriptor) {}

    wchar_t* descriptor_ = nullptr;  // ux_strdup copy, freed with ux_strfree
};

typedef BASIC_ARRAY<LocationStep*, 4, long> LocationStepPtrArray;

// Owns its steps: clear() and the destructor delete them.
class LocationStepOwnerArray : public LocationStepPtrArray {
public:
    LocationStepOwnerArray() = default;
    ~LocationStepOwnerArray() { clear(); }
    void clear();
};

class LocationPath : public XmlRCObject {
public:
    LocationPath() = default;
    LocationPath(LocationPath const& other);
    LocationPath& operator=(LocationPath const& other);
    // Public so that the owner arrays and stack users can destroy a path
    // whatever its reference count.
    ~LocationPath() override;

    // Results of parse, create and append are new count-0 objects owned by
    // the caller.
    static LocationPath* parse(wchar_t const* text);
    // The absolute path /root.
    static LocationPath* create(wchar_t const* root);
    // /root/name, or /root/@name when isAttribute.
    static LocationPath* create(wchar_t const* root, wchar_t const* name, bool isAttribute);
    // /root/child/name, or /root/child/@name when isAttribute.
    static LocationPath* create(wchar_t const* root, wchar_t const* child, wchar_t const* name, bool isAttribute);

    bool isAbsolute() const { return absolute_; }
    // Set before the first step: the cached text is not dropped here.
    void setAbsolute(bool absolute) { absolute_ = absolute; }
    long stepCount() const { return steps_.size(); }
    // Null for a path without steps.
    LocationStep const* getLast() const;
    LocationStep const* getStep(long index) const;

    // Each returns this path.
    LocationPath* pushElement(wchar_t const* tag);
    LocationPath* pushAttribute(wchar_t const* key);
    // Drops the last step; on a path without steps only the cached text.
    LocationPath* pop();
    // Drops every step; the absolute flag stays.
    void reset();

    // New paths: a copy of this one with the names added as steps (the last
    // one an attribute step when isAttribute); this path is unchanged.
    LocationPath* append(wchar_t const* name, bool isAttribute) const;
    LocationPath* append(wchar_t const* first, wchar_t const* name, bool isAttribute) const;
    LocationPath* append(wchar_t const* first, wchar_t const* second, wchar_t const* name, bool isAttribute) const;

    // The text form, cached until the steps change. A step without
    // descriptor prints as nothing. Texts are never cut, however long.
    wchar_t const* toString() const;

    bool operator==(wchar_t const* text) const;
    bool operator!=(wchar_t const* text) const { return !(*this == text); }
    bool operator==(LocationPath const& other) const;
    bool operator!=(LocationPath const& other) const { return !(*this == other); }

private:
    explicit LocationPath(wchar_t const* text);  // the parser

    // Appends step (taking ownership); a null step is not appended and gives null.
    LocationPath* push(LocationStep* step);
    LocationPath* push(wchar_t const* name, bool isAttribute);
    void invalidateString();
    void copySteps(LocationPath const& other);

    bool absolute_ = false;
    LocationStepOwnerArray steps_;
    mutable wchar_t* text_ = nullptr;  // cached text form (ux_strdup), or null
};

typedef BASIC_ARRAY<LocationPath*, 4, long> LocationPathPtrArray;

// Owns its paths: clear() and the destructor delete them, whatever their
// reference counts.
class LocationPathOwnerArray : public LocationPathPtrArray {
public:
    LocationPathOwnerArray() = default;
    ~LocationPathOwnerArray() { clear(); }
    void clear();
};
