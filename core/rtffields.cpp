// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's fields, shapes and notes: what of them is the document's text.
#include "core/rtfreader_p.h"
#include "core/rtftokens.h"

#include "core/textcodec.h"

#include <QRegularExpression>
#include <array>

namespace rtf::reader {

bool Reader::fieldDestination(const Word &w) {
    Dest &dest = state_.dest;
    switch (w.act) {
    case Act::Footnote:
        // A footnote's text is not the body's, but its number is: it stands
        // where the note is anchored, numbered in order, and carries the note
        // as read (endCapture).
        if (dest == Dest::Text) {
            capture(KeptPlace::Note);
            dest = kept_.capturing ? Dest::Kept : Dest::Skip;
        } else {
            dest = Dest::Skip;
        }
        return true;
    case Act::Kept:
    case Act::KeptInline:
        if (dest == Dest::Text) capture(w.act == Act::Kept ? KeptPlace::Before : KeptPlace::Inline);
        dest = dest == Dest::Text && kept_.capturing ? Dest::Kept : Dest::Skip;
        return true;
    case Act::Show:
        if (w.value == 1 && dest == Dest::Text && fields_.open.size() < MaxFieldDepth) {
            fields_.open.push_back(OpenField{
                kept_.groupOpen, stack_.size(), text_.emitted, text_.para.runs.size(),
                text_.runText.size() + qsizetype(text_.bytes.size()), kept_.inline_.size()});
        }
        return dest == Dest::Text;
    case Act::FieldInst:
        if (dest != Dest::Text) return false;
        fields_.instruction.clear();
        fields_.instructionGroup.clear();
        fields_.symbolResult = false;
        dest = Dest::FieldInst;
        capture(KeptPlace::FieldInst);
        return true;
    case Act::FieldResult:
        // A symbol field's character is already there; its instruction is
        // no other result's (a damaged file's field word lost).
        if (std::exchange(fields_.symbolResult, false)) {
            dest = Dest::Skip;
            fields_.instructionGroup.clear();
        }
        if (dest == Dest::Text) fieldResult();
        return dest == Dest::Text || dest == Dest::Skip;
    case Act::Drawing:
        // Shapes nest in groups and in fields' results; what they hold
        // besides a text box is not text. (What Word writes after a shape
        // for readers without shapes, \shprslt, is skipped: the shape is read.)
        // A shape held as a picture reads on for its picture.
        if (dest == Dest::Holder) return true;
        if (dest != Dest::Text && dest != Dest::Drawing) return false;
        // An old drawing object without a text box (a line, a polygon) is
        // kept as read, where it stands.
        if (w.value == 1 && dest == Dest::Text &&
            shapeHolds(tokens_.input(), tokens_.offset(), pictures_.shapesRead) !=
                ShapeHolds::Text) {
            capture(KeptPlace::Inline);
            dest = kept_.capturing ? Dest::Kept : Dest::Skip;
            return true;
        }
        if (w.value == 1 && dest == Dest::Text) shapeHeld(kept_.groupOpen);
        dest = Dest::Drawing;
        return true;
    case Act::BoxText:
        if (dest == Dest::Drawing) dest = Dest::Text;
        // The box's paragraphs stand where its shape does, in a cell too.
        state_.boxDepth = std::max(state_.boxDepth, state_.para.depth);
        if (dest == Dest::Text && state_.shape < InShapeGroup) boxOpened();
        if (dest == Dest::Text && state_.shape == InShapeGroup && state_.shapeGroup >= 0)
            groupBoxOpened();
        state_.shape = NoShape; // a shape in the box has a box of its own
        state_.shapeGroup = -1;
        return dest == Dest::Text;
    default:
        return false;
    }
}

// The field's result is text; its runs carry the field's instruction as read,
// and a link's address. Fields nested deeper than MaxFieldDepth show their
// result alone.
void Reader::fieldResult() {
    QByteArray group = std::exchange(fields_.instructionGroup, QByteArray());
    if (group.isEmpty() || size_t(state_.format.fields.size()) >= MaxFieldDepth) return;
    // A field right after the same field (two MERGEFIELD NAME in a row) is a
    // field of its own: a space at the end of its instruction, which means
    // nothing to it, keeps the two apart where runs of one format join.
    flushBytes();
    const CharFormat &last = !text_.runText.isEmpty()   ? text_.runFormat
                             : !text_.para.runs.empty() ? text_.para.runs.back().format
                                                        : CharFormat{};
    const qsizetype at = state_.format.fields.size();
    if (last.fields.size() > at && last.fields.first(at) == state_.format.fields &&
        last.fields[at] == group && group.endsWith('}')) {
        group.insert(group.size() - 1, ' ');
    }
    state_.format.fields.push_back(std::move(group));
    static const QRegularExpression link(
        QStringLiteral("^\\s*HYPERLINK\\s+(\"([^\"]*)\"|([^\\s\\\\]\\S*))?(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = link.match(fields_.instruction);
    if (!m.hasMatch()) return;
    static const QRegularExpression place(QStringLiteral("\\\\l\\s*(\"([^\"]*)\"|(\\S+))"));
    const QRegularExpressionMatch l = place.match(m.captured(4));
    QString address = m.captured(2) + m.captured(3);
    if (l.hasMatch()) address += QLatin1Char('#') + l.captured(2) + l.captured(3);
    if (!address.isEmpty()) state_.format.link = address;
}

// A shape holding a text box begins (\shp, \do): its box's text is read,
// the rest of it kept around that text (boxOpened). In a group of shapes,
// their boxes' text alone.
void Reader::shapeHeld(size_t groupOpen) {
    const std::string_view in = tokens_.input();
    const std::string_view start = in.substr(std::min(groupOpen, in.size()), 16);
    // One in another shape's words, or in a group of shapes: its text alone,
    // or, for a group of shapes in the text, the group kept around it.
    const bool group = start.find("shpgrp") != std::string_view::npos;
    if (group && state_.shape == NoShape) planShapeGroup(groupOpen);
    state_.shape = state_.shape != NoShape || group ? InShapeGroup : groupOpen;
    state_.shapeLevel = stack_.size();
    state_.shapeText =
        TextMark{text_.emitted, text_.para.runs.size(),
                 text_.runText.size() + qsizetype(text_.bytes.size()), kept_.inline_.size()};
}

namespace {
bool spaces(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// A shape's RTF around its box's text, as a box's entry among a run's
// fields: "\x02before\x02after", 7-bit, byte 2 escaped (`before` is
// [from, text), `after` [close, end)).
QByteArray boxEntry(std::string_view in, size_t from, size_t text, size_t close, size_t end) {
    const auto part = [&](size_t a, size_t b) {
        return sevenBit(in.substr(a, b - a)).replace('\x02', "\\'02");
    };
    return '\x02' + part(from, text) + '\x02' + part(close, end);
}

// True when the end of a shape after its text box holds nothing the reader
// reads as text: the shape's own words, its properties, its result for
// other readers, groups marked \* that are no shape's parts.
bool quietShapeEnd(std::string_view bytes) {
    Tokenizer tokens(bytes);
    int depth = 0, skipFrom = 0;
    bool skipping = false, groupStart = false, starred = false;
    for (Token t = tokens.next(); t.kind != TokenKind::End; t = tokens.next()) {
        if (t.kind == TokenKind::GroupOpen) {
            ++depth;
            groupStart = !skipping;
            starred = false;
            continue;
        }
        if (t.kind == TokenKind::GroupClose) {
            if (skipping && depth == skipFrom) skipping = false;
            --depth;
            groupStart = false;
            continue;
        }
        if (skipping) continue;
        if (t.kind == TokenKind::Symbol && t.byte == '*' && groupStart) {
            starred = true;
            continue;
        }
        const bool opens = std::exchange(groupStart, false);
        if (t.kind == TokenKind::Text && spaces(t.text)) continue;
        if (t.kind != TokenKind::Word) return false;
        const std::string_view name = t.text;
        const bool part = name == "shpinst" || name == "do" || name == "shptxt" ||
                          name == "dptxbxtext" || name == "shp" || name == "shpgrp";
        if (opens && (name == "shprslt" || name == "sp" || (starred && !part))) {
            skipping = true;
            skipFrom = depth;
            continue;
        }
        if (part && name != "shpinst") return false;
        if (!name.starts_with("shp") && !name.starts_with("dp")) return false;
    }
    return true;
}

// True when a text box holds no text: paragraph ends and formats alone.
bool emptyBox(std::string_view bytes) {
    Tokenizer tokens(bytes);
    for (Token t = tokens.next(); t.kind != TokenKind::End; t = tokens.next()) {
        switch (t.kind) {
        case TokenKind::GroupOpen:
        case TokenKind::GroupClose:
            continue;
        case TokenKind::Text:
            if (spaces(t.text)) continue;
            return false;
        case TokenKind::Word: {
            const Word *w = findWord(t.text);
            if (!w || w->kind == Kind::Destination || w->kind == Kind::Symbol ||
                w->act == Act::Unicode)
                return false;
            continue;
        }
        default:
            return false;
        }
    }
    return true;
}
} // namespace

// The text box of a shape (\shptxt, \dptxbxtext) is read as text that the
// shape holds, as a field's result is: its runs carry, among their fields,
// the shape's RTF before the box's text and after it to the shape's end,
// which the writer writes around that text. Bytes 2 tell it from a field's
// instruction: "\x02before\x02after".
void Reader::boxOpened() {
    if (size_t(state_.format.fields.size()) >= MaxFieldDepth) return;
    const std::string_view in = tokens_.input();
    const size_t at = std::min(tokens_.offset(), in.size());
    if (state_.shape >= at) return;
    // Text read in the shape's words before its box (damaged files) would be
    // written twice: the box's text alone then.
    if (!(state_.shapeText == TextMark{text_.emitted, text_.para.runs.size(),
                                       text_.runText.size() + qsizetype(text_.bytes.size()),
                                       kept_.inline_.size()}))
        return;
    // The braces that end the box's group, then the shape's.
    Tokenizer scan(in.substr(at));
    size_t level = stack_.size(), closeFrom = 0, closeTo = 0;
    const size_t box = level;
    for (Token t = scan.next(); t.kind != TokenKind::End; t = scan.next()) {
        if (t.kind == TokenKind::GroupOpen) ++level;
        if (t.kind != TokenKind::GroupClose) continue;
        if (level == box && !closeFrom) closeFrom = at + scan.offset() - 1;
        if (--level < state_.shapeLevel) {
            closeTo = at + scan.offset();
            break;
        }
    }
    // The file ends in the shape, or text follows the box in it: its text alone.
    if (!closeTo || !closeFrom || !quietShapeEnd(in.substr(closeFrom + 1, closeTo - closeFrom - 1)))
        return;
    // A box holding no text (a shape drawn with an empty box): the whole
    // shape is kept where it stands, as a shape without a box is.
    if (emptyBox(in.substr(at, closeFrom - at))) {
        if (kept_.capturing) return;
        kept_.capturing = true;
        kept_.from = state_.shape;
        kept_.depth = state_.shapeLevel - 1;
        kept_.place = KeptPlace::Inline;
        state_.dest = Dest::Kept;
        quietShape(Dest::Kept);
        return;
    }
    flushBytes();
    state_.format.fields.push_back(boxEntry(in, state_.shape, at, closeFrom, closeTo));
    quietShape(Dest::Drawing);
}

// The shape kept around its box: what its groups hold after the box (spaces)
// is in what is kept of it, not text.
void Reader::quietShape(Dest dest) {
    for (size_t i = state_.shapeLevel; i < stack_.size(); ++i)
        if (stack_[i].dest == Dest::Text) stack_[i].dest = dest;
}

// A group of shapes in the text (\shpgrp, open at `groupOpen`) whose shapes'
// boxes hold text, each box in a shape of the group's own: the group is kept
// around the boxes' text, as a lone shape is (boxOpened). The plan is made
// when the group begins, from its bytes: the group's RTF before its first
// box's shape and after its last one's, and each box's shape's around its
// text (the first one's from the shapes before it). Other shapes, empty
// boxes, groups of shapes in it, the group's words stay in those parts, read
// for nothing, and a box in a group in it is planned as one of its own. A
// group of any other make (a box out of a shape of its own, text out of a
// box) keeps its boxes' text alone.
void Reader::planShapeGroup(size_t groupOpen) {
    const std::string_view in = tokens_.input();
    if (groupOpen >= in.size() || fields_.shapeGroups.size() >= 100000 ||
        pictures_.shapesRead > in.size() * 2 + 4096)
        return;
    struct Box {
        size_t shape = 0, text = 0, close = 0, end = 0; // '{', text, box's '}', after the shape
    };
    std::vector<Box> boxes;
    // What each open group is, by depth (1: the group of shapes): a group
    // of shapes holds its words, which hold its shapes and groups of shapes;
    // a shape holds its words, which hold its box. A group of properties or
    // of another reader's is passed over whole.
    enum class Part : std::uint8_t { Group, Words, Shape, ShapeWords };
    constexpr int MaxDepth = 1 + 2 * 8; // groups of shapes eight deep
    std::array<Part, MaxDepth + 2> parts{};
    parts[1] = Part::Group;
    Tokenizer scan(in.substr(groupOpen));
    int depth = 0, passOver = 0; // passing over the group open at that depth
    int shapeDepth = 0;          // of the shape being read, with its box
    size_t brace = 0, end = 0;   // where a group last opened; where the group of shapes ends
    bool groupStart = false, starred = false, inBox = false;
    for (Token t = scan.next(); t.kind != TokenKind::End; t = scan.next()) {
        const size_t after = groupOpen + scan.offset();
        if (t.kind == TokenKind::GroupOpen) {
            ++depth;
            if (passOver) continue;
            groupStart = true;
            starred = false;
            brace = after - 1;
            continue;
        }
        if (t.kind == TokenKind::GroupClose) {
            if (passOver && depth == passOver) {
                passOver = 0;
                if (std::exchange(inBox, false)) boxes.back().close = after - 1;
            }
            --depth;
            groupStart = false;
            if (passOver) continue;
            if (shapeDepth && depth == shapeDepth - 1) { // the shape's end (its box's, if any)
                if (boxes.back().text) boxes.back().end = after;
                shapeDepth = 0;
            }
            if (depth == 0) {
                end = after;
                break;
            }
            continue;
        }
        if (passOver) continue;
        if (t.kind == TokenKind::Symbol && t.byte == '*' && groupStart) {
            starred = true;
            continue;
        }
        const bool opens = std::exchange(groupStart, false);
        if (t.kind == TokenKind::Text && spaces(t.text)) continue;
        if (t.kind != TokenKind::Word || depth > MaxDepth) break;
        const std::string_view name = t.text;
        if (opens && depth >= 2 &&
            (name == "sp" || name == "shprslt" || (starred && name != "shpinst"))) {
            passOver = depth;
            continue;
        }
        if (opens) {
            const Part outer = parts[size_t(depth - 1)];
            if (depth == 1 && name == "shpgrp") continue;
            if (name == "shpinst" && (outer == Part::Group || outer == Part::Shape)) {
                parts[size_t(depth)] = outer == Part::Group ? Part::Words : Part::ShapeWords;
                continue;
            }
            if (outer == Part::Words && name == "shpgrp") {
                parts[size_t(depth)] = Part::Group;
                continue;
            }
            if (outer == Part::Words && name == "shp") {
                parts[size_t(depth)] = Part::Shape;
                shapeDepth = depth;
                boxes.push_back(Box{brace, 0, 0, 0});
                continue;
            }
            if (outer == Part::ShapeWords && name == "shptxt" && shapeDepth && !boxes.back().text) {
                boxes.back().text = after;
                inBox = true;
                passOver = depth;
                continue;
            }
            break;
        }
        // The group's and its shapes' own words.
        if ((name.starts_with("shp") || name.starts_with("dp")) && name != "shp" &&
            name != "shpgrp" && name != "shpinst" && name != "shptxt")
            continue;
        break;
    }
    pictures_.shapesRead += (end ? end : groupOpen + scan.offset()) - groupOpen;
    if (!end) return;
    // Shapes without a box, and empty boxes, stay in the parts.
    std::erase_if(boxes, [&](const Box &b) {
        return !b.end || emptyBox(in.substr(b.text, b.close - b.text));
    });
    if (boxes.empty()) return;
    ShapeGroup g;
    g.group = boxEntry(in, groupOpen, boxes.front().shape, boxes.back().end, end);
    size_t from = boxes.front().shape;
    for (const Box &b : boxes) {
        g.boxes.emplace_back(b.text, boxEntry(in, from, b.text, b.close, b.end));
        from = b.end;
    }
    state_.shapeGroup = int(fields_.shapeGroups.size());
    fields_.shapeGroups.push_back(std::move(g));
    // Spaces between its shapes are in its parts, not text.
    state_.dest = Dest::Drawing;
}

// A box of a group of shapes kept around its boxes' text opens: its runs
// carry the group's parts and its shape's among their fields. A box the plan
// left in the group's RTF (an empty one) is passed over.
void Reader::groupBoxOpened() {
    const ShapeGroup &g = fields_.shapeGroups[size_t(state_.shapeGroup)];
    const size_t at = tokens_.offset();
    const auto box =
        std::find_if(g.boxes.begin(), g.boxes.end(), [&](const auto &b) { return b.first == at; });
    if (box == g.boxes.end()) {
        state_.dest = Dest::Skip;
        return;
    }
    if (size_t(state_.format.fields.size()) + 2 > MaxFieldDepth) return;
    flushBytes();
    state_.format.fields.push_back(g.group);
    state_.format.fields.push_back(box->second);
}

// A field whose result holds nothing (or that has none) is kept as read,
// before the text after it; one holding text keeps its instruction on it.
void Reader::fieldClosed() {
    const OpenField f = fields_.open.back();
    fields_.open.pop_back();
    fields_.instructionGroup.clear();
    if (state_.dest != Dest::Text || kept_.capturing || text_.emitted != f.emitted ||
        text_.para.runs.size() != f.runs ||
        text_.runText.size() + qsizetype(text_.bytes.size()) != f.text ||
        kept_.inline_.size() < f.kept)
        return;
    const std::string_view data = tokens_.input();
    const size_t to = std::min(tokens_.offset(), data.size());
    if (f.from >= to) return;
    // What it held that was kept (a bookmark) is in it.
    kept_.inline_.truncate(f.kept);
    kept_.inline_.append(sevenBit(data.substr(f.from, to - f.from)));
}

// SYMBOL n [\f "font"] [\u] [\a] [\h] [\s size]: the character n of the
// font (a symbol font's as word processors show it), or of Unicode with \u.
// It stands where the field is; the result the file holds is the same
// character in the font's own bytes, and is skipped.
void Reader::symbolField() {
    static const QRegularExpression symbol(
        QStringLiteral("^\\s*SYMBOL\\s+(0[xX][0-9A-Fa-f]+|\\d+)(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = symbol.match(fields_.instruction);
    if (!m.hasMatch()) return;
    bool ok = false;
    const QString number = m.captured(1);
    const uint n = number.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                       ? number.mid(2).toUInt(&ok, 16)
                       : number.toUInt(&ok, 10);
    if (!ok || n == 0 || n > 0xFFFF) return;
    static const QRegularExpression fontSwitch(QStringLiteral("\\\\f\\s*(\"([^\"]*)\"|(\\S+))"));
    const QRegularExpressionMatch fm = fontSwitch.match(m.captured(2));
    const QString font = fm.hasMatch() ? fm.captured(2) + fm.captured(3) : QString();
    const bool unicode = m.captured(2).contains(QLatin1String("\\u"));
    char16_t c = char16_t(n);
    if (!unicode && n < 256) {
        if (!font.isEmpty() && isSymbolFontName(font)) {
            c = textcodec::symbolChar(textcodec::symbolCodePage(font),
                                      static_cast<unsigned char>(n));
        } else {
            const char byte = char(n);
            const QString decoded =
                textcodec::decode(currentCodePage(), std::string_view(&byte, 1));
            if (decoded.size() == 1) c = decoded[0].unicode();
        }
    }
    addChar(c);
    fields_.symbolResult = true;
}

} // namespace rtf::reader
