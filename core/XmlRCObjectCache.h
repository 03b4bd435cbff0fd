// XmlRCObjectCache: a list of counted objects in which every entry owns one
// reference. The same object may be listed several times, each entry with
// its own reference. The destructor frees only the buffer: the owner calls
// clearAll() first.
#pragma once

#include "core/XmlRCObject.h"
#include "platform/host/basic_array.h"

typedef BASIC_ARRAY<XmlRCObject const*, 16, long> XmlRCObjectPtrArray;
extern template class BASIC_ARRAY<XmlRCObject const*, 16, long>;

class XmlRCObjectCache : public XmlRCObjectPtrArray {
public:
    XmlRCObjectCache() = default;
    ~XmlRCObjectCache();

    // Takes a reference and lists obj; null is ignored.
    void add(XmlRCObject const* obj);
    // Takes out the first entry equal to obj and drops its reference (obj may
    // die here). False for null and for an object that is not listed.
    bool remove(XmlRCObject const* obj);
    // Drops every entry's reference, from the first on; the buffer stays.
    void clearAll();
};
