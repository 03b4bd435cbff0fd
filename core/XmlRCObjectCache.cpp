#include "core/XmlRCObjectCache.h"

template class BASIC_ARRAY<XmlRCObject const*, 16, long>;

XmlRCObjectCache::~XmlRCObjectCache() = default;

void XmlRCObjectCache::add(XmlRCObject const* obj) {
    if (!obj) return;
    obj->addReference();
    append(obj);
}

bool XmlRCObjectCache::remove(XmlRCObject const* obj) {
    if (!obj) return false;
    for (long i = 0; i < count_; ++i) {
        if (buffer_[i] != obj) continue;
        // Take the entry out before dropping the reference: the object's
        // destructor may reach this cache again.
        for (long k = i + 1; k < count_; ++k) buffer_[k - 1] = buffer_[k];
        reset(count_ - 1);
        obj->removeReference();
        return true;
    }
    return false;
}

void XmlRCObjectCache::clearAll() {
    for (long i = 0; i < count_; ++i) buffer_[i]->removeReference();
    count_ = 0;
}
