// Records why an operation over the engine failed, for XmlLastFailure: the
// engine's parse error where it has one, else the system's reason found by
// looking at the file the operation could not use.
#pragma once

#include "platform/msxml6/msxml6.h"

// A load of `document` from `file` (null: from text) failed.
void recordLoadFailure(IXMLDOMDocument3* document, wchar_t const* file);
// A style sheet loaded from `file` did not compile (the engine left the
// reason on it as its parse error).
void recordStylesheetFailure(IXMLDOMDocument3* stylesheet, wchar_t const* file);
// Writing `document` to `path` (null: to text) failed.
void recordWriteFailure(IXMLDOMDocument3* document, wchar_t const* path);
// A transformation writing to `outputPath` (null: to a document) failed.
void recordTransformFailure(wchar_t const* outputPath);
// A SAX parse of `file` failed with `hr`: completes the fatal error the
// parse recorded (see SAXErrorHandlerImpl), or finds the system's reason.
// The parse must have started with XmlLastFailure::clear().
void recordParseFailure(HRESULT hr, wchar_t const* file);
