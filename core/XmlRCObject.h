// Intrusive reference counting shared by every object of the XML model.
//
// A new object has count 0: the factories hand out raw pointers and whoever
// keeps one takes a reference (usually through XmlSmartPtr). The last
// removeReference deletes the object. Counts are plain integers: a document
// and every object taken from it are used by one thread at a time.
#pragma once

#include <cstdint>

class XmlRCObject {
public:
    XmlRCObject() = default;
    // A copy is a new object: it starts without references.
    XmlRCObject(XmlRCObject const&) : refCount_(0) {}
    XmlRCObject& operator=(XmlRCObject const&) { return *this; }

    void addReference() const { ++refCount_; }
    // Deletes the object when this was the last reference. Calling it on an
    // object with count 0 is the caller's error.
    void removeReference() const {
        if (refCount_-- == 1) delete this;
    }
    int32_t referenceCount() const { return refCount_; }

protected:
    virtual ~XmlRCObject();

private:
    mutable int32_t refCount_ = 0;
};
