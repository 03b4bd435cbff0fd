// SAX handlers that call Lisp functions, for PARSE-XML and for other modules
// that want Lisp to see parse events.
//
// Lisp exits. A callback may leave non-locally (a Lisp error handled outside,
// throw, return-from), which the host carries through C++ as an exception.
// Between a callback and its caller lie the engine's parser and libxml2's C
// frames, which must never see an exception. So a handler catches whatever
// leaves its Lisp call, keeps it in a LispExitLatch, tells the parser to stop
// and calls no Lisp after that; whoever started the parse calls
// resumePendingExit() once parseFile has returned, and the exit goes on from
// there, through frames that unwind properly.
#pragma once

#include <exception>
#include <utility>

#include "core/XmlSmartPtr.h"
#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "lisp/xml_lisp.h"

// At most one exit: once one is kept, nothing else runs.
class LispExitLatch {
public:
    LispExitLatch() = default;
    LispExitLatch(LispExitLatch const&) = delete;
    LispExitLatch& operator=(LispExitLatch const&) = delete;

    bool pending() const { return static_cast<bool>(exit_); }

    // call()'s result; false when an exit was pending or leaves call now.
    template <class Call>
    bool run(Call&& call) noexcept {
        if (exit_) return false;
        try {
            return call();
        } catch (...) {
            exit_ = std::current_exception();
            return false;
        }
    }

    // Continues the exit kept, if any.
    void resume() {
        if (exit_) std::rethrow_exception(std::exchange(exit_, nullptr));
    }

private:
    std::exception_ptr exit_;
};

// Calls the Lisp function given for each event; nil for an event means no
// call and go on. A function's nil result stops the parse. Text arrives
// trimmed, and runs of white space not at all.
class LispContentHandler : public TrelSAXContentHandler {
public:
    LispContentHandler(LAOBJ* startDocument, LAOBJ* endDocument, LAOBJ* startElement, LAOBJ* endElement,
                       LAOBJ* characters);

    bool startDocument() override;
    bool endDocument() override;
    // The function gets the tag and the attributes as ((name . value) ...),
    // nil when there are none.
    bool startElement(wchar_t const* tag, TrelSAXAttributes const* attributes) override;
    bool endElement(wchar_t const* tag) override;
    bool characters(wchar_t const* text) override;

    // Exits are kept in `latch` (so that two handlers of one parse share
    // one); null goes back to the handler's own.
    void useExitLatch(LispExitLatch* latch) { exit_ = latch ? latch : &ownExit_; }
    void resumePendingExit() { exit_->resume(); }

private:
    bool callWithoutArguments(LispRoot const& function);

    // Collector roots: the handler lives in C++ memory, which is not scanned.
    LispRoot startDocument_;
    LispRoot endDocument_;
    LispRoot startElement_;
    LispRoot endElement_;
    LispRoot characters_;
    LispExitLatch ownExit_;
    LispExitLatch* exit_ = &ownExit_;
};

// Calls its Lisp function with line, column and message of a fatal error;
// the result is ignored.
class LispErrorHandler : public TrelSAXErrorHandler {
public:
    explicit LispErrorHandler(LAOBJ* fatalError);

    void fatalError(int line, int column, wchar_t const* message) override;

    void useExitLatch(LispExitLatch* latch) { exit_ = latch ? latch : &ownExit_; }
    void resumePendingExit() { exit_->resume(); }

private:
    LispRoot fatalError_;
    LispExitLatch ownExit_;
    LispExitLatch* exit_ = &ownExit_;
};

// Collects a SAX attribute list as ((name . value) ...), in scan order.
class LispSAXAttributeVisitor : public TrelSAXAttributeVisitor {
public:
    LispSAXAttributeVisitor() = default;

    bool visit(wchar_t const* name, wchar_t const* value) override;

    LAOBJ* list() const { return pairs_.list(); }

private:
    LispListBuilder pairs_;  // on the C stack while used, where the collector looks
};

extern template class XmlSmartPtr<LispContentHandler>;
extern template class XmlSmartPtr<LispErrorHandler>;
