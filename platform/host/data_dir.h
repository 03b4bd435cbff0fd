// Where the module's data lives: <libdir>/../share/quillxml, found from the
// location of this library, so the same rule serves the build tree and an
// installed tree. QUILL_DATA_DIR in the environment overrides it.
#pragma once

// Directory of the loaded libquillhost.so (no trailing slash).
char const* ux_library_dir();
// The module's data directory (no trailing slash).
char const* ux_data_dir();
