// The SAX reader's parse of XML text: libxml2's SAX2 parser, read in pieces
// from a stream (constant memory whatever the size) or from memory, with its
// events handed to the emitter.
#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <memory>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/sax_reader.h"

namespace mx {

namespace {

struct ParseState {
    explicit ParseState(SaxEmitter& e) : em(e) {}

    SaxEmitter& em;
    xmlParserCtxtPtr ctxt = nullptr;
    // Declarations (prefix, URI) of the open elements that have any, with
    // the depth of their element: most elements declare nothing.
    std::vector<xmlChar const*> openNamespaces;
    struct Scope {
        unsigned depth, count;
    };
    std::vector<Scope> scopes;
    unsigned depth = 0;
    uint64_t delivered = 0;  // bytes of text and attribute values handed on

    bool withinBudget(size_t more);
};

// libxml2's error numbers, as failures of the XML facility.
HRESULT errorCode(int code) { return static_cast<HRESULT>(0xC00C0000u | (static_cast<unsigned>(code) & 0xFFFFu)); }

// Without a tree, libxml2 2.9 re-parses an entity for every reference and
// its amplification guards do not see the copies: a small document could
// expand to gigabytes of events. Output beyond a fixed allowance may be at
// most kAmplification times the input read so far.
constexpr uint64_t kFreeExpansion = 8u << 20;
constexpr uint64_t kAmplification = 10;

uint64_t inputRead(xmlParserCtxtPtr ctxt) {
    xmlParserInputPtr in = ctxt->input;
    uint64_t n = ctxt->sizeentities;
    if (in) n += in->consumed + static_cast<uint64_t>(in->cur - in->base);
    return n;
}

bool ParseState::withinBudget(size_t more) {
    delivered += more;
    if (delivered <= kFreeExpansion || delivered <= kAmplification * inputRead(ctxt)) return true;
    em.locator()->pin(xmlSAX2GetLineNumber(ctxt), xmlSAX2GetColumnNumber(ctxt));
    em.dropText();  // the expansion itself is not handed on
    em.fatalError("Entity expansion exceeds the allowed amplification of the input", errorCode(XML_ERR_ENTITY_LOOP));
    return false;
}

// libxml2 passes the parser context; parses of entity contents use a
// context of their own that carries the same _private.
ParseState* stateOf(void* ctx) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    auto* st = ctxt ? static_cast<ParseState*>(ctxt->_private) : nullptr;
    return st && !st->em.stopped() ? st : nullptr;
}

// After a stop libxml2 may still call back; stateOf() then answers null.
void stopIfDone(void* ctx, ParseState* st) {
    if (!st->em.stopped()) return;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    if (st->ctxt != ctx) xmlStopParser(st->ctxt);
}

std::string_view chars(xmlChar const* s, int n) {
    return std::string_view(reinterpret_cast<char const*>(s), static_cast<size_t>(n));
}

void onStartDocument(void* ctx) {
    xmlSAX2StartDocument(ctx);  // entity declarations are kept in the context's document
    if (ParseState* st = stateOf(ctx)) {
        st->em.startDocument();
        stopIfDone(ctx, st);
    }
}

void onError(void* ctx, xmlErrorPtr err);

void onEndDocument(void* ctx) {
    if (ParseState* st = stateOf(ctx)) {
        xmlError unread = unreadInput(static_cast<xmlParserCtxtPtr>(ctx));
        if (unread.code)
            onError(ctx, &unread);
        else if (st->em.flushText())
            st->em.endDocument();
        stopIfDone(ctx, st);
    }
}

void onStartElement(void* ctx, xmlChar const* localname, xmlChar const* prefix, xmlChar const* uri, int nbNamespaces,
                    xmlChar const** namespaces, int nbAttributes, int, xmlChar const** attributes) {
    ParseState* st = stateOf(ctx);
    if (!st) return;
    // Declarations are interned: their addresses stay good until the end tag.
    ++st->depth;
    if (st->depth > kMaxTreeDepth) {
        // Checked here: libxml2's own limit depends on the parse options.
        st->em.locator()->pin(xmlSAX2GetLineNumber(ctx), xmlSAX2GetColumnNumber(ctx));
        st->em.fatalError("Elements are nested deeper than " + std::to_string(kMaxTreeDepth) + " levels",
                          errorCode(XML_ERR_INTERNAL_ERROR));
        stopIfDone(ctx, st);
        return;
    }
    if (nbNamespaces > 0) {
        st->scopes.push_back(ParseState::Scope{st->depth, static_cast<unsigned>(nbNamespaces)});
        st->openNamespaces.insert(st->openNamespaces.end(), namespaces, namespaces + 2 * nbNamespaces);
    }
    size_t size = 0;
    for (int i = 0; i < nbAttributes; ++i) size += static_cast<size_t>(attributes[5 * i + 4] - attributes[5 * i + 3]);
    if (st->withinBudget(size))
        st->em.startElementParsed(localname, prefix, uri, nbNamespaces, namespaces, nbAttributes, attributes);
    stopIfDone(ctx, st);
}

void onEndElement(void* ctx, xmlChar const* localname, xmlChar const* prefix, xmlChar const* uri) {
    ParseState* st = stateOf(ctx);
    if (!st || st->depth == 0) return;
    size_t n = 0;
    if (!st->scopes.empty() && st->scopes.back().depth == st->depth) {
        n = st->scopes.back().count;
        st->scopes.pop_back();
    }
    --st->depth;
    size_t first = st->openNamespaces.size() - 2 * n;
    st->em.endElementParsed(localname, prefix, uri, static_cast<int>(n), st->openNamespaces.data() + first);
    st->openNamespaces.resize(first);
    stopIfDone(ctx, st);
}

void onCharacters(void* ctx, xmlChar const* ch, int len) {
    ParseState* st = stateOf(ctx);
    if (!st) return;
    // libxml2 cuts text at entity references and buffer ends; the handler
    // gets each run of text whole, in one call, however long.
    if (st->withinBudget(static_cast<size_t>(len))) st->em.appendText(chars(ch, len));
    stopIfDone(ctx, st);
}

void onCData(void* ctx, xmlChar const* value, int len) {
    ParseState* st = stateOf(ctx);
    if (!st) return;
    if (st->em.flushText() && st->withinBudget(static_cast<size_t>(len))) st->em.cdata(chars(value, len));
    stopIfDone(ctx, st);
}

void onComment(void* ctx, xmlChar const* value) {
    ParseState* st = stateOf(ctx);
    if (!st) return;
    if (st->em.flushText()) st->em.comment(sv(value));
    stopIfDone(ctx, st);
}

void onProcessingInstruction(void* ctx, xmlChar const* target, xmlChar const* data) {
    ParseState* st = stateOf(ctx);
    if (!st) return;
    if (st->em.flushText()) st->em.processingInstruction(sv(target), sv(data));
    stopIfDone(ctx, st);
}

void onInternalSubset(void* ctx, xmlChar const* name, xmlChar const* externalId, xmlChar const* systemId) {
    xmlSAX2InternalSubset(ctx, name, externalId, systemId);
    if (ParseState* st = stateOf(ctx)) {
        st->em.startDTD(sv(name), sv(externalId), sv(systemId));
        stopIfDone(ctx, st);
    }
}

// Called once the internal subset is read: the end of the document type.
void onExternalSubset(void* ctx, xmlChar const* name, xmlChar const* externalId, xmlChar const* systemId) {
    xmlSAX2ExternalSubset(ctx, name, externalId, systemId);  // loads it only when allowed
    if (ParseState* st = stateOf(ctx)) {
        st->em.endDTD();
        stopIfDone(ctx, st);
    }
}

// Exactly one error reaches the handler: the parse stops at the first.
void onError(void* ctx, xmlErrorPtr err) {
    ParseState* st = stateOf(ctx);
    if (!st || !err) return;
    HRESULT code = errorCode(err->code);
    if (err->level == XML_ERR_WARNING || isNamespaceNameWarning(err)) {
        st->em.warning(withoutNewline(err->message), code);
    } else {
        xmlError reported = EncodingErrorsToParser::asReported(*err);
        st->em.flushText();
        st->em.locator()->pin(reported.line, reported.int2);
        st->em.fatalError(withoutNewline(reported.message), errorCode(reported.code));
    }
    stopIfDone(ctx, st);
}

xmlSAXHandler makeHandler() {
    xmlSAXHandler h;
    memset(&h, 0, sizeof h);
    xmlSAXVersion(&h, 2);
    h.startDocument = onStartDocument;
    h.endDocument = onEndDocument;
    h.startElementNs = onStartElement;
    h.endElementNs = onEndElement;
    // Both the same: otherwise libxml2 guesses which white space is ignorable.
    h.characters = h.ignorableWhitespace = onCharacters;
    h.cdataBlock = onCData;
    h.comment = onComment;
    h.processingInstruction = onProcessingInstruction;
    h.internalSubset = onInternalSubset;
    h.externalSubset = onExternalSubset;
    h.entityDecl = entityDeclWithLimits;
    h.reference = nullptr;  // entities are substituted
    h.serror = onError;
    h.warning = nullptr;
    h.error = nullptr;
    h.fatalError = nullptr;
    return h;
}

// Reads the stream in large pieces: libxml2 asks for 4000 bytes at a time,
// which would cost a system call each. Fills every request unless the
// input ends (libxml2 needs that for the XML declaration).
class StreamInput {
public:
    explicit StreamInput(ISequentialStream* stream) : stream_(stream), buffer_(new char[kSize]) {}

    static int read(void* context, char* buffer, int length) {
        return static_cast<StreamInput*>(context)->take(buffer, static_cast<size_t>(length));
    }

private:
    static constexpr size_t kSize = 64 * 1024;

    int take(char* out, size_t length) {
        size_t done = 0;
        while (done < length) {
            if (next_ == end_ && !refill()) break;
            size_t n = std::min(length - done, end_ - next_);
            memcpy(out + done, buffer_.get() + next_, n);
            next_ += n;
            done += n;
        }
        return done > 0 || !failed_ ? static_cast<int>(done) : -1;
    }

    bool refill() {
        next_ = end_ = 0;
        while (end_ < kSize && !ended_) {
            ULONG got = 0;
            HRESULT hr = stream_->Read(buffer_.get() + end_, static_cast<ULONG>(kSize - end_), &got);
            if (FAILED(hr))
                failed_ = ended_ = true;
            else if (got == 0)
                ended_ = true;
            end_ += got;
        }
        return end_ > 0;
    }

    ISequentialStream* stream_;
    std::unique_ptr<char[]> buffer_;
    size_t next_ = 0, end_ = 0;
    bool ended_ = false, failed_ = false;
};

struct MemoryInput {
    char const* next;
    size_t left;
};

int readMemory(void* context, char* buffer, int length) {
    auto* in = static_cast<MemoryInput*>(context);
    size_t n = in->left < static_cast<size_t>(length) ? in->left : static_cast<size_t>(length);
    memcpy(buffer, in->next, n);
    in->next += n;
    in->left -= n;
    return static_cast<int>(n);
}

struct ContextDeleter {
    void operator()(xmlParserCtxtPtr ctxt) const {
        if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
        xmlFreeParserCtxt(ctxt);
    }
};
using ContextPtr = std::unique_ptr<xmlParserCtxt, ContextDeleter>;

}  // namespace

HRESULT parseBytes(SaxEmitter& emitter, ByteSource const& source, bool externalEntities) {
    xmlSAXHandler handler = makeHandler();
    MemoryInput memory{source.text.data(), source.text.size()};
    bool fromText = source.stream == nullptr;
    std::unique_ptr<StreamInput> stream(fromText ? nullptr : new StreamInput(source.stream));
    // Text in memory is UTF-8 whatever its declaration says.
    ContextPtr ctxt(
        fromText ? xmlCreateIOParserCtxt(&handler, nullptr, readMemory, streamClose, &memory, XML_CHAR_ENCODING_UTF8)
                 : xmlCreateIOParserCtxt(&handler, nullptr, StreamInput::read, streamClose, stream.get(),
                                         XML_CHAR_ENCODING_NONE));
    if (!ctxt) return E_OUTOFMEMORY;
    // HUGE lifts the size limits; entityDeclWithLimits puts the entity guards
    // back as soon as the document declares an entity.
    int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_HUGE;
    if (externalEntities) options |= XML_PARSE_DTDLOAD;
    if (fromText) options |= XML_PARSE_IGNORE_ENC;
    xmlCtxtUseOptions(ctxt.get(), options);
    if (!source.url.empty() && ctxt->input && !ctxt->input->filename)
        ctxt->input->filename = reinterpret_cast<char*>(xmlStrdup(BAD_CAST source.url.c_str()));

    ParseState state(emitter);
    state.ctxt = ctxt.get();
    ctxt->_private = &state;
    ExternalAccess access(externalEntities);
    EncodingErrorsToParser encodingErrors;
    emitter.locator()->attach(ctxt.get());
    int rc = xmlParseDocument(ctxt.get());
    emitter.locator()->detach();
    // A stop from a handler is no failure to libxml2: the result is ours.
    if (emitter.stopped()) return emitter.result();
    return rc == 0 && ctxt->wellFormed ? S_OK : E_FAIL;
}

}  // namespace mx
