#include "model/XmlEncoding.h"

XmlEncoding const XmlEncoding::UTF8(L"UTF-8");
XmlEncoding const XmlEncoding::UTF16(L"UTF-16");
