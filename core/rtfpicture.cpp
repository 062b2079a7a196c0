// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures: their sizes, their bytes for the toolkit, the RTF written for
// them, and the reader's pictures (\pict), the groups around them (\shppict,
// \object) and the same picture written again for older readers
// (\nonshppict), each kept as read.
#include "core/rtfpicture.h"

#include "core/rtfreader_p.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace rtf {

namespace {

// One side of the size shown, in twips.
int shownSide(const Picture &p, int goal, int own, int scale, int cropA, int cropB) {
    const bool metafile = p.kind == PictureKind::Wmf || p.kind == PictureKind::Emf;
    long long twips = goal > 0 ? goal : own > 0 ? (metafile ? own * 1440LL / 2540 : own * 15LL) : 0;
    twips -= (long long)cropA + cropB;
    twips = twips * std::clamp(scale > 0 ? scale : 100, 1, 100000) / 100;
    if (twips <= 0) return DefaultPictureTwips;
    return int(std::min<long long>(twips, MaxPictureTwips));
}

std::uint32_t le32(const QByteArray &b, qsizetype at) {
    if (at + 4 > b.size()) return 0;
    const auto *u = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 |
           std::uint32_t(u[3]) << 24;
}

void appendWord(std::string &out, const char *w, long long n) {
    char buf[24];
    out += w;
    out.append(buf, size_t(std::to_chars(buf, buf + sizeof buf, n).ptr - buf));
}

} // namespace

int Picture::shownWidth() const {
    if (shapeWidth > 0) return std::min(shapeWidth, MaxPictureTwips);
    return shownSide(*this, goalWidth, width, scaleX, cropLeft, cropRight);
}

int Picture::shownHeight() const {
    if (shapeHeight > 0) return std::min(shapeHeight, MaxPictureTwips);
    return shownSide(*this, goalHeight, height, scaleY, cropTop, cropBottom);
}

QByteArray Picture::drawable() const {
    // PNG or JPEG bytes are drawn whatever kind the file calls them (some
    // writers mark a PNG as a metafile); the kind is written back as read.
    if (data.startsWith("\x89PNG\r\n\x1a\n") || data.startsWith("\xFF\xD8\xFF")) return data;
    switch (kind) {
    case PictureKind::Png:
    case PictureKind::Jpeg:
        return data;
    case PictureKind::Dib: {
        // The file header a DIB lacks: "BM", the file's size, where the
        // pixels start (after the header, the colour masks and the palette).
        const std::uint32_t header = le32(data, 0);
        if (header < 12 || header > 1024 || data.size() < qsizetype(header)) return {};
        const int bits = header == 12 ? 0 : int(static_cast<unsigned char>(data[14]));
        const std::uint32_t used = header >= 36 ? le32(data, 32) : 0;
        const std::uint32_t colors = used                ? std::min<std::uint32_t>(used, 256)
                                     : bits && bits <= 8 ? 1u << bits
                                                         : 0;
        const bool masks = header == 40 && le32(data, 16) == 3; // BI_BITFIELDS
        const std::uint32_t offset = 14 + header + (masks ? 12 : 0) + colors * 4;
        QByteArray file("BM", 2);
        file.reserve(14 + data.size());
        for (const std::uint32_t v : {std::uint32_t(14 + data.size()), 0u, offset})
            for (int i = 0; i < 4; ++i)
                file.append(char((v >> (8 * i)) & 0xFF));
        return file + data;
    }
    default:
        return {};
    }
}

namespace {
// The groups of out[from...] closed within it: a '}' that would close a group
// opened before is left out, a group left open is closed. A picture kept as
// read from a damaged file can hold either; written as it is, the text after
// it would stand in the picture's group, or the document would end there.
void balanceGroups(std::string &out, size_t from) {
    std::string tail;
    tail.reserve(out.size() - from);
    size_t depth = 0;
    for (size_t i = from; i < out.size();) {
        const char c = out[i];
        if (c == '\\' && i + 1 < out.size()) {
            size_t end = i + 1;
            while (end < out.size() && std::isalpha(static_cast<unsigned char>(out[end])))
                ++end;
            if (end == i + 1) { // a control symbol: \{ \} \\ are no braces
                tail.append(out, i, 2);
                i += 2;
                continue;
            }
            const bool bin = out.compare(i + 1, end - i - 1, "bin") == 0;
            long long n = 0;
            if (end < out.size() && out[end] == '-') ++end;
            while (end < out.size() && std::isdigit(static_cast<unsigned char>(out[end]))) {
                n = std::min(n * 10 + (out[end] - '0'), 1LL << 40);
                ++end;
            }
            if (bin) { // the data after it is no RTF
                if (end < out.size() && out[end] == ' ') ++end;
                end = std::min(out.size(), end + size_t(n));
            }
            tail.append(out, i, end - i);
            i = end;
            continue;
        }
        if (c == '{') ++depth;
        if (c == '}') {
            if (depth == 0) {
                ++i;
                continue;
            }
            --depth;
        }
        tail += c;
        ++i;
    }
    tail.append(depth, '}');
    out.resize(from);
    out += tail;
}
} // namespace

void appendPicture(std::string &out, const Picture &p) {
    const size_t from = out.size();
    out.append(p.before.constData(), size_t(p.before.size()));
    // A picture of a kind unknown here holds its words in `prefix`; one cut
    // short by the file's end, its data alone.
    if (p.kind != PictureKind::None || !p.prefix.isEmpty() || !p.data.isEmpty()) {
        if (!p.prefix.isEmpty()) {
            out.append(p.prefix.constData(), size_t(p.prefix.size()));
        } else {
            out += "{\\pict";
            switch (p.kind) {
            case PictureKind::Png:
                out += "\\pngblip";
                break;
            case PictureKind::Jpeg:
                out += "\\jpegblip";
                break;
            case PictureKind::Dib:
                appendWord(out, "\\dibitmap", p.kindParam);
                break;
            case PictureKind::Bitmap:
                appendWord(out, "\\wbitmap", p.kindParam);
                break;
            case PictureKind::Wmf:
                appendWord(out, "\\wmetafile", p.kindParam ? p.kindParam : 8);
                break;
            case PictureKind::Emf:
                out += "\\emfblip";
                break;
            case PictureKind::MacPict:
                out += "\\macpict";
                break;
            case PictureKind::None:
                break;
            }
            appendWord(out, "\\picw", p.width);
            appendWord(out, "\\pich", p.height);
            if (p.goalWidth) appendWord(out, "\\picwgoal", p.goalWidth);
            if (p.goalHeight) appendWord(out, "\\pichgoal", p.goalHeight);
            if (p.scaleX != 100) appendWord(out, "\\picscalex", p.scaleX);
            if (p.scaleY != 100) appendWord(out, "\\picscaley", p.scaleY);
            if (p.cropLeft) appendWord(out, "\\piccropl", p.cropLeft);
            if (p.cropRight) appendWord(out, "\\piccropr", p.cropRight);
            if (p.cropTop) appendWord(out, "\\piccropt", p.cropTop);
            if (p.cropBottom) appendWord(out, "\\piccropb", p.cropBottom);
            if (p.bitsPerPixel) appendWord(out, "\\wbmbitspixel", p.bitsPerPixel);
            if (p.planes) appendWord(out, "\\wbmplanes", p.planes);
            if (p.widthBytes) appendWord(out, "\\wbmwidthbytes", p.widthBytes);
        }
        // The data in hex, 64 bytes a line.
        static const char hex[] = "0123456789abcdef";
        const auto *b = reinterpret_cast<const unsigned char *>(p.data.constData());
        const size_t n = size_t(p.data.size());
        out.reserve(out.size() + n * 2 + n / 32 + 8);
        for (size_t i = 0; i < n; ++i) {
            if (i % 64 == 0) out += "\r\n";
            out += hex[b[i] >> 4];
            out += hex[b[i] & 15];
        }
        if (!p.prefix.isEmpty()) {
            out.append(p.suffix.constData(), size_t(p.suffix.size()));
        } else {
            out += '}';
        }
    }
    out.append(p.after.constData(), size_t(p.after.size()));
    balanceGroups(out, from);
}

} // namespace rtf

namespace rtf::reader {

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}
} // namespace

// Read once, up to the group's closing brace (\bin data skipped).
ShapeHolds shapeHolds(std::string_view in, size_t from, size_t &read) {
    bool picture = false;
    int depth = 1;
    const size_t budget = in.size() * 2 + 4096;
    for (size_t i = from; i < in.size() && depth > 0; ++i) {
        if (++read > budget) return ShapeHolds::Text;
        const char c = in[i];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            --depth;
        } else if (c == '\\' && i + 1 < in.size()) {
            size_t end = i + 1;
            while (end < in.size() &&
                   ((in[end] >= 'a' && in[end] <= 'z') || (in[end] >= 'A' && in[end] <= 'Z')))
                ++end;
            const std::string_view name = in.substr(i + 1, end - i - 1);
            if (name.empty()) {
                ++i; // a control symbol: \{ \} \\ are no braces
                continue;
            }
            if (name == "shptxt" || name == "dptxbxtext") return ShapeHolds::Text;
            long long n = 0;
            size_t digits = end;
            while (digits < in.size() && in[digits] >= '0' && in[digits] <= '9' && n < (1LL << 40))
                n = n * 10 + (in[digits++] - '0');
            if (name == "bin") {
                if (digits < in.size() && in[digits] == ' ') ++digits;
                end = digits + size_t(n);
            } else if (name == "sn") {
                size_t at = end;
                while (at < in.size() && (in[at] == ' ' || in[at] == '\r' || in[at] == '\n'))
                    ++at;
                if (in.substr(at, 3) == "pib" && at + 3 < in.size() &&
                    (in[at + 3] == '}' || in[at + 3] == ' '))
                    picture = true;
            }
            i = std::max(i, std::min(end, in.size()) - 1);
        }
    }
    return picture ? ShapeHolds::Picture : ShapeHolds::Other;
}

bool Reader::pictureDestination(const Word &w) {
    Dest &dest = state_.dest;
    Pictures &pic = pictures_;
    switch (w.act) {
    case Act::Picture:
        // One picture a holder: another one in it (an object's result
        // written twice) stays in the holder's RTF. Elsewhere (a list's
        // picture bullet, a field's instruction) it is skipped.
        if (dest != Dest::Text && !(dest == Dest::Holder && !pic.held && !pic.pictDepth &&
                                    (!pic.shape || pic.name == "pib"))) {
            dest = Dest::Skip;
            return true;
        }
        pic.reading = std::make_shared<Picture>();
        pic.pictDepth = stack_.size();
        pic.pictStart = pic.groupOpen;
        pic.dataStart = pic.dataEnd = 0;
        pic.binary = false;
        pic.nibble = -1;
        dest = Dest::Picture;
        return true;
    case Act::PictureFallback:
        if (dest == Dest::Text && pic.last && text_.runText.isEmpty() && !text_.para.runs.empty() &&
            text_.para.runs.back().picture == pic.last) {
            pic.fallbackDepth = stack_.size();
            pic.fallbackStart = pic.groupOpen;
            dest = Dest::Skip;
            return true;
        }
        if (dest != Dest::Text && dest != Dest::Holder) {
            dest = Dest::Skip;
            return true;
        }
        [[fallthrough]]; // alone, it holds the picture shown
    case Act::PictureHolder:
        if (dest == Dest::Holder) return true; // read as the outer one's
        if (dest != Dest::Text) return false;
        if (w.value == 2) {
            // A shape with a text box is read for its text (fieldDestination);
            // one with no picture either is kept as read, where it stands.
            const ShapeHolds holds = shapeHolds(tokens_.input(), tokens_.offset(), pic.shapesRead);
            if (holds == ShapeHolds::Text) {
                shapeHeld(pic.groupOpen);
                return false;
            }
            if (holds == ShapeHolds::Other) {
                capture(KeptPlace::Inline);
                dest = kept_.capturing ? Dest::Kept : Dest::Skip;
                return true;
            }
        }
        pic.holderDepth = stack_.size();
        pic.holderStart = pic.groupOpen;
        pic.object = w.value == 1;
        pic.shape = w.value == 2;
        pic.shapeLeft = pic.shapeTop = pic.shapeRight = pic.shapeBottom = std::nullopt;
        pic.nameDepth = 0;
        pic.name.clear();
        pic.objWidth = pic.objHeight = 0;
        pic.objScaleX = pic.objScaleY = 100;
        pic.held.reset();
        dest = Dest::Holder;
        return true;
    case Act::ShapeProperty:
        // A held shape's properties are read for the name of the one that
        // holds its picture; any other shape's are not text.
        if (dest != Dest::Holder || !pic.shape) {
            dest = Dest::Skip;
        } else if (w.value == 1) {
            pic.nameDepth = stack_.size();
            pic.name.clear();
        }
        return true;
    default:
        return false;
    }
}

void Reader::shapeName(std::string_view bytes) {
    if (pictures_.nameDepth && pictures_.name.size() < 64) pictures_.name += bytes;
}

void Reader::pictureWord(const Word &w, long long param) {
    Picture *p = state_.dest == Dest::Picture ? pictures_.reading.get() : nullptr;
    const int v = clampInt(param, -2147483647, 2147483647);
    if (w.act == Act::PictureKind) {
        if (!p) return;
        p->kind = PictureKind(w.value);
        p->kindParam = v;
        return;
    }
    if (w.act != Act::PictureSize) return;
    Pictures &pic = pictures_;
    if (!p) {
        switch (w.value) {
        case ObjWidth:
            pic.objWidth = v;
            break;
        case ObjHeight:
            pic.objHeight = v;
            break;
        case ObjScaleX:
            pic.objScaleX = v;
            break;
        case ObjScaleY:
            pic.objScaleY = v;
            break;
        case ShapeLeft:
        case ShapeTop:
        case ShapeRight:
        case ShapeBottom: {
            std::optional<int> *side[] = {&pic.shapeLeft, &pic.shapeTop, &pic.shapeRight,
                                          &pic.shapeBottom};
            if (!*side[w.value - ShapeLeft]) *side[w.value - ShapeLeft] = v;
            break;
        }
        default:
            break;
        }
        return;
    }
    int *field[] = {&p->width,        &p->height,   &p->goalWidth, &p->goalHeight, &p->scaleX,
                    &p->scaleY,       &p->cropLeft, &p->cropRight, &p->cropTop,    &p->cropBottom,
                    &p->bitsPerPixel, &p->planes,   &p->widthBytes};
    if (w.value >= 0 && w.value < int(std::size(field))) *field[w.value] = v;
}

void Reader::pictureData(std::string_view bytes) {
    Pictures &pic = pictures_;
    if (!pic.reading || bytes.empty()) return;
    const size_t at = size_t(bytes.data() - tokens_.input().data());
    if (pic.dataEnd == pic.dataStart) {
        pic.dataStart = at;
        pic.dataDepthStart = stack_.size();
    }
    pic.dataEnd = at + bytes.size();
    pic.dataDepthEnd = stack_.size();
    QByteArray &data = pic.reading->data;
    // Decoded a token at a time; digits pair across tokens (line ends).
    const qsizetype from = data.size();
    const qsizetype need = from + qsizetype(bytes.size() / 2) + 1;
    if (data.capacity() < need) data.reserve(std::max(need, data.capacity() * 2));
    data.resize(need);
    char *out = data.data() + from;
    int nibble = pic.nibble;
    for (const char c : bytes) {
        const int d = hexDigit(c);
        if (d < 0) continue; // spaces, and what is not hex
        if (nibble < 0) {
            nibble = d;
        } else {
            *out++ = char(nibble << 4 | d);
            nibble = -1;
        }
    }
    pic.nibble = nibble;
    data.truncate(out - data.constData());
}

void Reader::pictureBinary(std::string_view bytes) {
    if (!pictures_.reading) return;
    pictures_.binary = true;
    pictures_.reading->data.append(bytes.data(), qsizetype(bytes.size()));
}

void Reader::pictureGroupClosed(size_t depth, size_t end, const State &outer) {
    Pictures &pic = pictures_;
    if (!pic.pictDepth && !pic.holderDepth && !pic.fallbackDepth) return;
    if (pic.nameDepth && depth == pic.nameDepth) {
        pic.nameDepth = 0;
        while (!pic.name.empty() && pic.name.back() == ' ')
            pic.name.pop_back();
        while (!pic.name.empty() && pic.name.front() == ' ')
            pic.name.erase(0, 1);
    }
    const std::string_view in = tokens_.input();
    const auto slice = [&](size_t from, size_t to) {
        return to > from ? sevenBit(in.substr(from, to - from)) : QByteArray();
    };
    // A group the input left open is written closed.
    const auto closed = [&](size_t from, size_t groups) {
        QByteArray b = slice(from, end);
        if (groups) {
            if (b.endsWith('\\')) b.chop(1);
            b.append(qsizetype(groups), '}');
        }
        return b;
    };
    size_t open = 0; // braces the input left open, not yet written closed
    if (end == in.size() && depth <= stack_.size()) {
        open = stack_.size() - depth + 1 - pic.endBraces;
        pic.endBraces += open;
    }
    if (pic.pictDepth && depth == pic.pictDepth) {
        std::shared_ptr<Picture> p = std::move(pic.reading);
        pic.pictDepth = 0;
        if (!pic.binary) {
            if (pic.dataEnd > pic.dataStart) {
                // (Its line ends are the writer's, which writes its own.)
                p->prefix = slice(pic.pictStart, pic.dataStart);
                while (p->prefix.endsWith('\n') || p->prefix.endsWith('\r'))
                    p->prefix.chop(1);
                // Groups that opened or closed among the digits, which are
                // written without what stood between them.
                const size_t from = pic.dataDepthStart, to = pic.dataDepthEnd;
                p->suffix = QByteArray(qsizetype(to > from ? to - from : from - to),
                                       to > from ? '{' : '}') +
                            closed(pic.dataEnd, open);
            } else {
                p->prefix = closed(pic.pictStart, open);
            }
        }
        if (pic.holderDepth) {
            pic.held = std::move(p);
            pic.heldStart = pic.pictStart;
            pic.heldEnd = end;
        } else {
            addPicture(std::move(p), outer);
        }
        return;
    }
    if (pic.fallbackDepth && depth == pic.fallbackDepth) {
        pic.fallbackDepth = 0;
        if (pic.last) pic.last->after += closed(pic.fallbackStart, open);
        return;
    }
    if (pic.holderDepth && depth == pic.holderDepth) {
        pic.holderDepth = 0;
        std::shared_ptr<Picture> p = std::move(pic.held);
        if (p) {
            p->before = slice(pic.holderStart, pic.heldStart);
            p->after = closed(pic.heldEnd, open);
        } else {
            // Nothing drawable: a frame of the object's size.
            p = std::make_shared<Picture>();
            p->before = closed(pic.holderStart, open);
            p->goalWidth = pic.objWidth;
            p->goalHeight = pic.objHeight;
            p->scaleX = pic.objScaleX;
            p->scaleY = pic.objScaleY;
        }
        if (pic.shape && pic.shapeLeft && pic.shapeTop && pic.shapeRight && pic.shapeBottom) {
            p->shapeWidth = int(std::clamp(*pic.shapeRight - (long long)*pic.shapeLeft, 0LL,
                                           (long long)MaxPictureTwips));
            p->shapeHeight = int(std::clamp(*pic.shapeBottom - (long long)*pic.shapeTop, 0LL,
                                            (long long)MaxPictureTwips));
        }
        pic.shape = false;
        addPicture(std::move(p), outer);
    }
}

void Reader::endPictures() {
    // Innermost first: the picture, then the group around it.
    const size_t end = tokens_.input().size();
    for (size_t depth : {pictures_.pictDepth, pictures_.fallbackDepth, pictures_.holderDepth}) {
        if (depth && depth <= stack_.size()) pictureGroupClosed(depth, end, stack_[depth - 1]);
    }
}

void Reader::addPicture(std::shared_ptr<Picture> p, const State &outer) {
    pictures_.last.reset();
    if (outer.dest != Dest::Text) return;
    endRun();
    pictures_.last = p;
    text_.para.runs.push_back(Run{outer.format, QString(QChar(0xFFFC)), std::move(p)});
    text_.lastText = outer.para;
    text_.lastWasPar = false;
}

} // namespace rtf::reader
