// The abstract XML attribute.
#pragma once

#include "model/TrelDOMNode.h"

class TrelDOMAttribute : public virtual TrelDOMNode {
public:
    // The qualified name, prefix included. Strings belong to the document.
    virtual wchar_t const* getKey() const = 0;
    virtual bool keyEquals(wchar_t const* key) const = 0;
    virtual wchar_t const* getValue() const = 0;
    virtual bool valueEquals(wchar_t const* value) const = 0;
    virtual bool setValue(wchar_t const* value) = 0;

protected:
    TrelDOMAttribute() = default;
    ~TrelDOMAttribute() override = default;
};
