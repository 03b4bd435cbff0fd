#include "platform/msxml6/writer_core.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace mx {

namespace {

constexpr size_t kFlushAt = 256 * 1024;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kTabs = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";

// Bytes that need a look in text (bit 1) and in attribute values (bit 2):
// markup characters, line ends, controls, 0x7F, and the lead bytes of C1
// controls (C2) and of U+FFFE/U+FFFF (EF).
constexpr std::array<unsigned char, 256> makeTable() {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = 3;
    t['\t'] = 2;
    t['\n'] = 2;
    t['&'] = t['<'] = t['>'] = 3;
    t['"'] = 2;
    t[0x7F] = t[0xC2] = t[0xEF] = 3;
    return t;
}
constexpr std::array<unsigned char, 256> kSpecial = makeTable();

char hexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

void charRef(std::string& out, unsigned code) {
    out += "&#x";
    if (code >= 16) out += hexDigit(code >> 4);
    out += hexDigit(code);
    out += ';';
}

bool isBlank(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
    return true;
}

// UTF-8 (always well formed here: it comes from libxml2 or from our own
// conversion) to UTF-16LE bytes.
void toUtf16le(std::string& out, std::string_view s) {
    out.resize(s.size() * 2 + 4);
    char* p = out.data();
    auto put = [&p](unsigned u) {
        *p++ = static_cast<char>(u & 0xFF);
        *p++ = static_cast<char>(u >> 8);
    };
    auto const* b = reinterpret_cast<unsigned char const*>(s.data());
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned>(b[i] < 0x80 ? b[i++] : utf8::decodeSequence(b, s.size(), i));
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 | (c >> 10));
            put(0xDC00 | (c & 0x3FF));
        } else {
            put(c);
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace

void XmlOutput::reset(ISequentialStream* stream) {
    stream_ = ComPtr<ISequentialStream>::share(stream);
    out_.clear();
    open_.clear();
    error_ = S_OK;
    started_ = tagOpen_ = inCDATA_ = inDTD_ = topLevelWritten_ = bomDone_ = false;
    cdataBrackets_ = 0;
}

HRESULT XmlOutput::writeBytes(char const* data, size_t n) {
    while (n > 0 && SUCCEEDED(error_)) {
        ULONG chunk = n > (1u << 30) ? (1u << 30) : static_cast<ULONG>(n);
        ULONG written = 0;
        HRESULT hr = stream_->Write(data, chunk, &written);
        if (FAILED(hr))
            error_ = hr;
        else if (written != chunk)
            error_ = STG_E_WRITEFAULT;
        data += chunk;
        n -= chunk;
    }
    return error_;
}

HRESULT XmlOutput::flush() {
    if (!stream_ || FAILED(error_)) return error_;
    if (out_.empty()) return S_OK;
    if (!bomDone_) {
        bomDone_ = true;
        bool bom = options_.encoding == OutputEncoding::Utf16;  // the reader knows UTF-16 by it
        if (bom && FAILED(writeBytes("\xFF\xFE", 2))) return error_;
    }
    if (options_.encoding == OutputEncoding::Utf16) {
        toUtf16le(encoded_, out_);
        writeBytes(encoded_.data(), encoded_.size());
    } else {
        writeBytes(out_.data(), out_.size());
    }
    out_.clear();
    return error_;
}

// Every event ends here: a stream gets the text in large pieces.
HRESULT XmlOutput::done() {
    if (stream_ && out_.size() >= kFlushAt) return flush();
    return error_;
}

// The XML declaration comes first, once.
void XmlOutput::ensureStarted() {
    if (started_) return;
    started_ = true;
    out_ += options_.encoding == OutputEncoding::Utf16 ? "<?xml version=\"1.0\" encoding=\"UTF-16\""
                                                       : "<?xml version=\"1.0\" encoding=\"UTF-8\"";
    if (options_.standalone) out_ += " standalone=\"yes\"";
    out_ += "?>\n";
}

HRESULT XmlOutput::startDocument() {
    if (FAILED(error_)) return error_;
    open_.clear();
    started_ = tagOpen_ = inCDATA_ = inDTD_ = topLevelWritten_ = false;
    ensureStarted();
    return done();
}

HRESULT XmlOutput::endDocument() {
    if (FAILED(error_)) return error_;
    ensureStarted();
    closeStartTag();
    if (options_.indent && topLevelWritten_) out_ += '\n';
    started_ = false;
    return flush();
}

void XmlOutput::closeStartTag() {
    if (!tagOpen_) return;
    tagOpen_ = false;
    out_ += '>';
}

// Indentation stops growing at kTabs' width: deeper levels share the last
// one. Full indentation would make the output, and the time to write it,
// grow with the square of the depth.
void XmlOutput::newline(size_t depth) {
    out_ += '\n';
    out_.append(kTabs.data(), std::min(depth, kTabs.size()));
}

// Before a start tag, comment or PI: the parent learns it has element
// content, and indentation goes where it cannot change content.
void XmlOutput::beforeMarkup() {
    ensureStarted();
    closeStartTag();
    if (open_.empty()) {
        if (options_.indent && topLevelWritten_) out_ += '\n';
        topLevelWritten_ = true;
        return;
    }
    unsigned char& parent = open_.back();
    parent |= kHasChild;
    if (options_.indent && !(parent & kInline)) newline(open_.size());
}

void XmlOutput::name(std::string_view prefix, std::string_view local) {
    if (!prefix.empty()) {
        out_ += prefix;
        out_ += ':';
    }
    out_ += local;
}

void XmlOutput::attribute(std::string_view prefix, std::string_view local, std::string_view value) {
    out_ += ' ';
    name(prefix, local);
    out_ += "=\"";
    escaped(value, true);
    out_ += '"';
}

void XmlOutput::declare(NsDecl const& d) {
    attribute(d.prefix.empty() ? std::string_view() : "xmlns", d.prefix.empty() ? "xmlns" : d.prefix, d.uri);
}

// An xmlns attribute in the list that a prefix mapping already declares.
bool XmlOutput::declaredAlready(AttrOut const& a, std::span<NsDecl const> decls) {
    std::string_view prefix;
    if (a.prefix == "xmlns")
        prefix = a.local;
    else if (!a.prefix.empty())
        return false;
    else if (a.local == "xmlns")
        prefix = {};
    else if (a.local.starts_with("xmlns:"))
        prefix = a.local.substr(6);
    else
        return false;
    for (NsDecl const& d : decls)
        if (d.prefix == prefix) return true;
    return false;
}

bool XmlOutput::preserves(std::span<AttrOut const> attrs) {
    for (AttrOut const& a : attrs) {
        bool space = (a.prefix == "xml" && a.local == "space") || (a.prefix.empty() && a.local == "xml:space");
        if (space && a.value == "preserve") return true;
    }
    return false;
}

HRESULT XmlOutput::startElement(std::string_view prefix, std::string_view local, std::span<NsDecl const> decls,
                                std::span<AttrOut const> attrs, bool mixed) {
    if (FAILED(error_)) return error_;
    beforeMarkup();
    out_ += '<';
    name(prefix, local);
    for (NsDecl const& d : decls) declare(d);
    for (AttrOut const& a : attrs)
        if (decls.empty() || !declaredAlready(a, decls)) attribute(a.prefix, a.local, a.value);
    tagOpen_ = true;
    bool parentInline = !open_.empty() && (open_.back() & kInline);
    open_.push_back(parentInline || mixed || preserves(attrs) ? kInline : 0);
    return done();
}

HRESULT XmlOutput::endElement(std::string_view prefix, std::string_view local) {
    if (FAILED(error_)) return error_;
    if (open_.empty()) return E_FAIL;  // more end tags than start tags
    unsigned char state = open_.back();
    open_.pop_back();
    if (tagOpen_) {
        tagOpen_ = false;
        out_ += "/>";
        return done();
    }
    if (options_.indent && (state & kHasChild) && !(state & kInline)) newline(open_.size());
    out_ += "</";
    name(prefix, local);
    out_ += '>';
    return done();
}

HRESULT XmlOutput::characters(std::string_view text) {
    if (FAILED(error_)) return error_;
    if (text.empty()) return S_OK;
    ensureStarted();
    if (inCDATA_) {
        cdataText(text);
        return done();
    }
    if (open_.empty()) {
        // Outside the root only white space is allowed; indenting makes its own.
        if (options_.indent && isBlank(text)) return S_OK;
    } else {
        closeStartTag();
        open_.back() |= kInline | kHasChild;
    }
    escaped(text, false);
    return done();
}

void XmlOutput::escaped(std::string_view s, bool inAttribute) {
    unsigned char const mask = inAttribute ? 2 : 1;
    auto const* b = reinterpret_cast<unsigned char const*>(s.data());
    size_t n = s.size(), run = 0, i = 0;
    auto copyRun = [&] { out_.append(s.data() + run, i - run); };
    while (i < n) {
        unsigned char c = b[i];
        if (!(kSpecial[c] & mask)) {
            ++i;
            continue;
        }
        copyRun();
        size_t used = 1;
        switch (c) {
        case '&': out_ += "&amp;"; break;
        case '<': out_ += "&lt;"; break;
        case '>': out_ += "&gt;"; break;
        case '"': out_ += "&quot;"; break;
        case '\t':
        case '\n':
        case '\r':
        case 0x7F: charRef(out_, c); break;
        case 0xC2:  // U+0080..U+009F: allowed, but invisible; write them as references
            if (i + 1 < n && b[i + 1] >= 0x80 && b[i + 1] <= 0x9F) {
                charRef(out_, b[i + 1]);
                used = 2;
            } else {
                out_ += static_cast<char>(c);
            }
            break;
        case 0xEF:  // U+FFFE and U+FFFF cannot appear in XML at all
            if (i + 2 < n && b[i + 1] == 0xBF && (b[i + 2] == 0xBE || b[i + 2] == 0xBF)) {
                out_ += kReplacement;
                used = 3;
            } else {
                out_ += static_cast<char>(c);
            }
            break;
        default:  // other C0 controls: not representable in XML 1.0
            out_ += kReplacement;
            break;
        }
        i += used;
        run = i;
    }
    copyRun();
}

HRESULT XmlOutput::startCDATA() {
    if (FAILED(error_)) return error_;
    ensureStarted();
    closeStartTag();
    if (!open_.empty()) open_.back() |= kInline | kHasChild;
    out_ += "<![CDATA[";
    inCDATA_ = true;
    cdataBrackets_ = 0;
    return done();
}

HRESULT XmlOutput::endCDATA() {
    if (FAILED(error_)) return error_;
    if (inCDATA_) out_ += "]]>";
    inCDATA_ = false;
    return done();
}

// "]]>" cannot appear in a CDATA section: it is split across two sections,
// also when the pieces arrive in separate calls.
void XmlOutput::cdataText(std::string_view s) {
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '>' && cdataBrackets_ >= 2) out_ += "]]><![CDATA[";
        cdataBrackets_ = c == ']' ? (cdataBrackets_ < 2 ? cdataBrackets_ + 1 : 2) : 0;
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out_ += kReplacement;
        else
            out_ += ch;
    }
}

// Copies s, breaking up every occurrence of `forbidden` by `replacement` and
// replacing controls XML cannot hold.
void XmlOutput::sanitized(std::string_view s, std::string_view forbidden, std::string_view replacement) {
    for (size_t i = 0; i < s.size();) {
        if (s.compare(i, forbidden.size(), forbidden) == 0) {
            out_ += replacement;
            i += forbidden.size() - 1;  // the last character may start the next match
            continue;
        }
        auto c = static_cast<unsigned char>(s[i++]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out_ += kReplacement;
        else
            out_ += static_cast<char>(c);
    }
}

HRESULT XmlOutput::comment(std::string_view text) {
    if (FAILED(error_)) return error_;
    if (inDTD_) return S_OK;  // the internal subset is not reproduced
    beforeMarkup();
    out_ += "<!--";
    sanitized(text, "--", "- ");
    if (!text.empty() && text.back() == '-') out_ += ' ';
    out_ += "-->";
    return done();
}

HRESULT XmlOutput::processingInstruction(std::string_view target, std::string_view data) {
    if (FAILED(error_)) return error_;
    if (inDTD_) return S_OK;
    beforeMarkup();
    out_ += "<?";
    out_ += target;
    if (!data.empty()) {
        out_ += ' ';
        sanitized(data, "?>", "? ");
    }
    out_ += "?>";
    return done();
}

HRESULT XmlOutput::startDTD(std::string_view name, std::string_view publicId, std::string_view systemId) {
    if (FAILED(error_)) return error_;
    beforeMarkup();
    out_ += "<!DOCTYPE ";
    out_ += name;
    auto literal = [this](std::string_view v) {
        char q = v.find('"') == std::string_view::npos ? '"' : '\'';
        out_ += ' ';
        out_ += q;
        out_ += v;
        out_ += q;
    };
    if (!publicId.empty()) {
        out_ += " PUBLIC";
        literal(publicId);
        literal(systemId);
    } else if (!systemId.empty()) {
        out_ += " SYSTEM";
        literal(systemId);
    }
    inDTD_ = true;
    return done();
}

HRESULT XmlOutput::endDTD() {
    if (FAILED(error_)) return error_;
    if (inDTD_) out_ += '>';
    inDTD_ = false;
    return done();
}

}  // namespace mx
