#include "core/XmlRCObject.h"

// Out of line so that the class's vtable has one home: libquillxml.
XmlRCObject::~XmlRCObject() = default;
