#include "model/TrelXSLTProcessor.h"

#include "platform/host/file_names.h"

namespace {
wchar_t const kStylesheetDirectory[] = L"xml/stylesheet";
int const kReadable = 4;
}  // namespace

wchar_t const* TrelXSLTProcessor::getInternalStylesheet(wchar_t const* name) {
    thread_local wchar_t absolute[UX_MAX_PATH];
    wchar_t relative[UX_MAX_PATH];
    wchar_t found[UX_MAX_PATH];
    if (!name || !ux_filenamemerge(kStylesheetDirectory, name, relative, UX_MAX_PATH)) return nullptr;
    if (!ux_find_configuration_file(relative, found, UX_MAX_PATH) || found[0] == L'\0') return nullptr;
    if (ux_file_eaccess(found, kReadable) != 0) return nullptr;
    if (!ux_make_path_absolute(found, absolute, UX_MAX_PATH)) return nullptr;
    return absolute;
}
