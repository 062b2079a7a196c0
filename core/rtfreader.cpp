// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader: the tokenizer's tokens applied to a state kept on a stack of
// its own, so input nesting never becomes recursion. What each control word is
// and does stands in one table (rtfwords); this file dispatches the tokens,
// groups and words to the handlers of each kind and destination, which live
// beside the state they change: text, characters and paragraphs (rtftext),
// the font and colour tables (rtffonts), lists (rtflists), fields, shapes and
// notes (rtffields), tables (rtftables).
#include "core/rtfreader_p.h"

#include "core/exception.h"
#include "core/textcodec.h"

#include <algorithm>

namespace rtf::reader {

bool isSymbolFontName(const QString &name) {
    return name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0 ||
           textcodec::symbolCodePage(name) != textcodec::CpSymbol;
}

int clampInt(long long v, int lo, int hi) {
    return int(std::clamp<long long>(v, lo, hi));
}

Reader::Reader(const QByteArray &data, const std::function<void(Paragraph &&)> &sink,
               const std::function<bool(double)> &progress)
    : tokens_(std::string_view(data.constData(), size_t(data.size()))), sink_(sink),
      progress_(progress) {
    text_.doc.paragraphs.clear();
}

// ---------------------------------------------------------------- tokens

Document Reader::run() {
    unsigned steps = 0;
    while (!done_) {
        if (progress_ && (++steps & 0xFFF) == 0 && progress_(tokens_.position())) {
            cancelled_ = true;
            break;
        }
        token(tokens_.next());
    }
    if (!cancelled_) {
        endPictures();
        finishDocument();
    }
    return std::move(text_.doc);
}

void Reader::token(const Token &t) {
    if (pendingSpaces_ && t.kind != TokenKind::Word && t.kind != TokenKind::Text)
        flushPendingSpaces(); // not a destination: the spaces were text
    switch (t.kind) {
    case TokenKind::End:
        done_ = true;
        return;
    case TokenKind::GroupOpen:
        skipChars_ = 0;
        openGroup();
        return;
    case TokenKind::GroupClose:
        skipChars_ = 0;
        closeGroup();
        return;
    case TokenKind::Text:
        textToken(t.text);
        return;
    case TokenKind::Word:
        word(t.text, t.hasParam, t.param);
        return;
    case TokenKind::HexByte: {
        groupStart_ = false;
        if (swallowedByFallback(false)) return;
        const char byte = char(t.byte);
        if (state_.dest == Dest::LevelText) {
            levelTextBytes(std::string_view(&byte, 1));
        } else {
            addByte(byte);
        }
        return;
    }
    case TokenKind::Broken: // stands for nothing, but counts as a fallback character
        groupStart_ = false;
        swallowedByFallback(false);
        return;
    case TokenKind::Binary: // a picture's data, skipped anywhere else (or kept)
        groupStart_ = false;
        if (state_.dest == Dest::Picture) pictureBinary(t.text);
        return;
    case TokenKind::Symbol:
        if (t.byte == '*') {
            star_ = true;
            return;
        }
        groupStart_ = false;
        if (swallowedByFallback(false)) return;
        symbol(char(t.byte));
        return;
    }
}

void Reader::flushPendingSpaces() {
    const std::string spaces(size_t(std::exchange(pendingSpaces_, 0)), ' ');
    addBytes(spaces.data(), spaces.size());
}

// Counts a token against the \uN fallback; true when the token is swallowed.
// Braces end the fallback, and so do paragraph-level breaks, which no writer
// means as a fallback character.
bool Reader::swallowedByFallback(bool endsFallback) {
    if (skipChars_ <= 0) return false;
    if (endsFallback) {
        skipChars_ = 0;
        return false;
    }
    --skipChars_;
    return true;
}

void Reader::textToken(std::string_view bytes) {
    if (groupStart_ && state_.dest == Dest::Text &&
        std::all_of(bytes.begin(), bytes.end(), [](char b) { return b == ' '; })) {
        // Spaces may stand before a destination's keyword: hold them until
        // the group shows what it is.
        pendingSpaces_ += int(bytes.size());
        return;
    }
    if (pendingSpaces_) flushPendingSpaces();
    groupStart_ = false;
    const size_t skip = std::min(bytes.size(), size_t(std::max(0, skipChars_)));
    skipChars_ -= int(skip);
    bytes.remove_prefix(skip);
    switch (state_.dest) {
    case Dest::Skip:
    case Dest::Kept:
    case Dest::Drawing:
    case Dest::OverrideTable:
    case Dest::ListTable:
    case Dest::Pn:
        return;
    case Dest::Holder:
        shapeName(bytes);
        return;
    case Dest::Picture:
        pictureData(bytes);
        return;
    case Dest::ColorTable:
        for (char c : bytes)
            if (c == ';') endColorEntry();
        return;
    case Dest::FontTable:
        for (char c : bytes) {
            if (c == ';') {
                endFontEntry();
            } else {
                addByte(c);
            }
        }
        return;
    case Dest::LevelText:
        levelTextBytes(bytes);
        return;
    default:
        break;
    }
    size_t from = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\t') {
            addBytes(bytes.data() + from, i - from);
            addChar(u'\t');
            from = i + 1;
        }
    }
    addBytes(bytes.data() + from, bytes.size() - from);
}

void Reader::symbol(char c) {
    if (state_.dest == Dest::LevelText && c != ';') return;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        addByte(c);
        return;
    case '~':
        addChar(0x00A0);
        return;
    case '-':
        addChar(0x00AD); // optional hyphen: shown only where a line breaks
        return;
    case '_':
        addChar(0x2011);
        return;
    case ';':
        if (state_.dest == Dest::ColorTable) {
            endColorEntry();
        } else if (state_.dest == Dest::FontTable) {
            endFontEntry();
        } else {
            addByte(';');
        }
        return;
    default:
        return; // \|, \:, and the rest
    }
}

void Reader::openGroup() {
    // (The bytes gathered stay: the group's state is the same until a word
    // changes it, and words flush them first.)
    if (stack_.size() >= size_t(MaxDepth)) {
        // What was read whole is handed over before the error.
        if (text_.waiting) send(*std::exchange(text_.waiting, std::nullopt));
        throw Exception(
            QStringLiteral("Le fichier RTF est illisible : ses groupes sont imbriqués sur "
                           "plus de %1 niveaux.")
                .arg(MaxDepth));
    }
    stack_.push_back(state_);
    kept_.groupOpen = tokens_.offset() - 1;
    pictures_.groupOpen = tokens_.offset() - 1;
    groupStart_ = true;
    star_ = false;
}

void Reader::closeGroup() {
    // Text gathered goes on across groups that change nothing of it: a
    // million tiny groups cost no more than the text they hold.
    if (state_.dest != Dest::Text || stack_.empty() || stack_.back().dest != Dest::Text ||
        stack_.back().codePage != state_.codePage || !(stack_.back().format == state_.format) ||
        stack_.back().para.depth != state_.para.depth)
        flushBytes();
    if (state_.dest == Dest::FontTable && fonts_.number >= 0 && !fonts_.name.empty())
        endFontEntry(); // an entry closed without its ';'
    if (stack_.empty()) {
        // A '}' with no group open: the structure has ended, and what follows
        // (mail signatures, junk) is not the document's.
        done_ = true;
        return;
    }
    const Dest inner = state_.dest;
    const size_t depth = stack_.size();
    state_ = stack_.back();
    stack_.pop_back();
    // The brace that closes {\rtf1 ends the document: what rich-edit controls
    // and mailers put after it (a line end, a NUL, a signature) is not text.
    if (stack_.empty()) done_ = true;
    if (inner == Dest::FontTable && state_.dest != Dest::FontTable) endFontTable();
    closeListGroups(inner);
    pictureGroupClosed(depth, tokens_.offset(), state_);
    if (kept_.capturing && stack_.size() == kept_.depth) endCapture();
    if (inner == Dest::FieldInst && state_.dest == Dest::Text) symbolField();
    if (!fields_.open.empty() && fields_.open.back().depth == depth) fieldClosed();
    groupStart_ = false;
    star_ = false;
}

// Only the first control word of a group starts a destination; a skipped
// destination's word later in a group skips the rest of it. True when the
// word has been dealt with.
bool Reader::destination(const Word &w) {
    if (w.act == Act::Skip) {
        state_.dest = Dest::Skip;
        return true;
    }
    if (!groupStart_) return false;
    switch (w.act) {
    case Act::FontTable:
    case Act::ColorTable:
        // The tables are the document's: one in a picture or another
        // destination is none of its.
        if (state_.dest != Dest::Text) {
            state_.dest = Dest::Skip;
            return true;
        }
        break;
    default:
        break;
    }
    switch (w.act) {
    case Act::FontTable:
        state_.dest = Dest::FontTable;
        capture(KeptPlace::Tables);
        return true;
    case Act::ColorTable:
        state_.dest = Dest::ColorTable;
        capture(KeptPlace::Tables);
        return true;
    default:
        return listDestination(w) || fieldDestination(w) || pictureDestination(w) ||
               tableDestination(w);
    }
}

// A word in the current destination: the tables' words where a table is
// read, otherwise the handler of the word's kind.
void Reader::word(std::string_view name, bool hasParam, long long param) {
    const Word *w = findWord(name);
    const bool star = std::exchange(star_, false);
    if (skipChars_ > 0) {
        if (w && w->endsFallback) {
            skipChars_ = 0;
        } else {
            --skipChars_;
            groupStart_ = false;
            return;
        }
    }
    if (state_.dest == Dest::Skip || state_.dest == Dest::Kept) {
        groupStart_ = false;
        return;
    }
    const bool isDestination = w && w->kind == Kind::Destination;
    if (pendingSpaces_) {
        // Spaces before a destination's keyword are not text; before any
        // other word (or a field, whose result is text) they are.
        if ((isDestination && w->act != Act::Show) || (star && !w)) {
            pendingSpaces_ = 0;
        } else {
            flushPendingSpaces();
        }
    }
    if (!w || w->act != Act::Unicode) flushBytes();
    if (!isDestination && keptWord(name, w, hasParam, param)) {
        groupStart_ = false;
        return;
    }
    if (!w && !isDestination && (state_.dest == Dest::Text) &&
        otherTableWord(name, hasParam, param)) {
        groupStart_ = false;
        return;
    }
    if (!w) {
        // An unknown destination marked \* is skipped whole.
        if (star && groupStart_) state_.dest = Dest::Skip;
        groupStart_ = false;
        return;
    }
    if (isDestination) {
        // So is a known one marked \* that does not open here.
        if (!destination(*w) && star) state_.dest = Dest::Skip;
        groupStart_ = false;
        return;
    }
    groupStart_ = false;
    const bool on = !hasParam || param != 0;
    switch (state_.dest) {
    case Dest::FontTable:
        return fontTableWord(*w, param);
    case Dest::ColorTable:
        return colorTableWord(*w, param);
    case Dest::ListTable:
        return listTableWord(*w, on, param);
    case Dest::LevelText:
        return levelTextWord(*w, param);
    case Dest::OverrideTable:
        return overrideTableWord(*w, param);
    case Dest::Pn:
        return pnWord(*w, param);
    case Dest::Picture:
    case Dest::Holder:
        return pictureWord(*w, param);
    default:
        break;
    }
    if (w->kind == Kind::Symbol) return addChar(char16_t(w->value));
    if (documentWord(*w, param) || characterWord(*w, hasParam, param) || tableWord(*w, param))
        return;
    paragraphWord(*w, param);
}

} // namespace rtf::reader

namespace rtf {

Document read(const QByteArray &data) {
    const std::function<void(Paragraph &&)> none;
    return reader::Reader(data, none).run();
}

void read(const QByteArray &data, const std::function<void(Paragraph &&)> &paragraph) {
    reader::Reader(data, paragraph).run();
}

bool read(const QByteArray &data, const std::function<void(Paragraph &&)> &paragraph,
          const std::function<bool(double)> &progress) {
    reader::Reader reader(data, paragraph, progress);
    reader.run();
    return !reader.cancelled();
}

} // namespace rtf
