#include "core/XmlValueText.h"

#include <clocale>
#include <cwchar>
#include <locale.h>

#include "platform/host/ux_string.h"

namespace {

// Runs the scan or the formatting in the "C" numeric locale of this thread,
// so that the decimal point is '.' whatever the process locale says.
class CNumericLocale {
public:
    CNumericLocale() : previous_(uselocale(cLocale())) {}
    ~CNumericLocale() { uselocale(previous_); }
    CNumericLocale(CNumericLocale const&) = delete;
    CNumericLocale& operator=(CNumericLocale const&) = delete;

private:
    static locale_t cLocale() {
        static locale_t const c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        return c;
    }
    locale_t previous_;
};

}  // namespace

bool equalsTrue(wchar_t const* s) { return s && ux_strcmp(s, L"true") == 0; }

bool readDouble(wchar_t const* s, double& out) {
    if (!s) return false;
    CNumericLocale c;
    double value;
    if (swscanf(s, L"%lg", &value) != 1) return false;
    out = value;
    return true;
}

void writeDouble(wchar_t* buf, unsigned size, double v) {
    if (!buf || size == 0) return;
    wchar_t text[64];
    {
        CNumericLocale c;
        if (swprintf(text, 64, L"%.16g", v) < 0) text[0] = L'\0';
    }
    ux_strcpy_lim(buf, text, size);
}

wchar_t* unmarshal(wchar_t* s) {
    if (!s) return nullptr;
    // One copy of (possibly very long) engine text instead of two.
    if constexpr (WideTextConverter::IDENTITY) return ux_strsave(s);
    WideTextConverter converted(s);
    return ux_strsave(converted.conv_str());
}
