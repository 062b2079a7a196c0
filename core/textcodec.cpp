// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/textcodec.h"

#include <QHash>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace textcodec {

namespace {
// Windows-1252 0x80-0x9F. The five bytes the code page leaves undefined keep
// their C1 code points, as Windows itself decodes them, so no byte is lost.
constexpr std::array<char16_t, 32> cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The Symbol font's bytes 0x20-0xFF as the characters they draw.
constexpr std::array<char16_t, 224> symbolTable = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
    0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7,
    0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F, 0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
    0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x007F,
    // 0x80-0x9F: unused by the font
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, 0x0088, 0x0089, 0x008A, 0x008B,
    0x008C, 0x008D, 0x008E, 0x008F, 0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F,
    // 0xA0-0xFF
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
    0x2190, 0x2191, 0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118,
    0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
    0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0xF8FF, 0x232A, 0x222B, 0x2320,
    0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0xF8FF};

QString decode1252(std::string_view bytes) {
    QString out(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *d = out.data();
    for (unsigned char b : bytes) {
        *d++ = QChar(b >= 0x80 && b < 0xA0 ? cp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

// The picture fonts' characters that documents use as bullets, check marks
// and arrows, with the Unicode characters they draw.
struct Picture {
    unsigned char byte;
    char16_t ch;
};
constexpr Picture wingdings[] = {
    {0x6C, 0x25CF}, {0x6D, 0x274D}, {0x6E, 0x25A0}, {0x6F, 0x25A1}, {0x70, 0x25FB}, {0x71, 0x2751},
    {0x72, 0x2752}, {0x73, 0x2B27}, {0x74, 0x29EB}, {0x75, 0x25C6}, {0x76, 0x2756}, {0x77, 0x2B25},
    {0x9E, 0x00B7}, {0x9F, 0x2022}, {0xA1, 0x25CB}, {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xD5, 0x232B},
    {0xD8, 0x27A2}, {0xDF, 0x2190}, {0xE0, 0x2192}, {0xE1, 0x2191}, {0xE2, 0x2193}, {0xE8, 0x2794},
    {0xEF, 0x21E6}, {0xF0, 0x21E8}, {0xFB, 0x2717}, {0xFC, 0x2713}, {0xFD, 0x2612}, {0xFE, 0x2611}};
constexpr Picture dingbats[] = {
    {0x33, 0x2713}, {0x34, 0x2714}, {0x35, 0x2715}, {0x36, 0x2716}, {0x37, 0x2717}, {0x38, 0x2718},
    {0x6C, 0x25CF}, {0x6D, 0x274D}, {0x6E, 0x25A0}, {0x6F, 0x274F}, {0x70, 0x2750}, {0x71, 0x2751},
    {0x72, 0x2752}, {0x73, 0x25B2}, {0x74, 0x25BC}, {0x75, 0x25C6}, {0x76, 0x2756}, {0xA8, 0x2663},
    {0xA9, 0x2666}, {0xAA, 0x2665}, {0xAB, 0x2660}, {0xD4, 0x2794}, {0xD8, 0x27A2}, {0xE8, 0x27A8}};
constexpr Picture webdings[] = {{0x3D, 0x2261}, {0x61, 0x2714}, {0x67, 0x25A0},
                                {0x6E, 0x25CF}, {0x72, 0x2716}, {0x34, 0x25B6},
                                {0x33, 0x25C0}, {0x35, 0x25B2}, {0x36, 0x25BC}};

template <size_t N> char16_t pictureChar(const Picture (&table)[N], unsigned char b) {
    for (const Picture &p : table)
        if (p.byte == b) return p.ch;
    return b < 0x20 ? char16_t(b) : char16_t(0xF000 + b);
}

QString decodeSymbol(int codePage, std::string_view bytes) {
    QString out(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *d = out.data();
    for (unsigned char b : bytes)
        *d++ = QChar(symbolChar(codePage, b));
    return out;
}

const char *codecName(int codePage) {
    switch (codePage) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 874:
        return "windows-874";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    // Mac code pages: those the converters know by name, and for the CJK
    // ones the encodings the Mac's extend (their common characters are the
    // same bytes).
    case 10000:
        return "macintosh";
    case 10001:
        return "Shift_JIS";
    case 10002:
        return "Big5";
    case 10003:
        return "EUC-KR";
    case 10006:
        return "x-mac-greek";
    case 10007:
        return "x-mac-cyrillic";
    case 10008:
        return "GB2312";
    case 10021:
        return "windows-874";
    case 10029:
        return "x-mac-centraleurroman";
    case 10081:
        return "x-mac-turkish";
    case 65001:
        return "UTF-8";
    default:
        return nullptr;
    }
}

// One decoder per code page for the whole run; null where Qt has none.
QStringDecoder *decoderFor(int codePage) {
    static QHash<int, std::shared_ptr<QStringDecoder>> decoders;
    auto it = decoders.find(codePage);
    if (it == decoders.end()) {
        std::shared_ptr<QStringDecoder> decoder;
        if (const char *name = codecName(codePage)) {
            decoder = std::make_shared<QStringDecoder>(name, QStringConverter::Flag::Stateless);
            if (!decoder->isValid()) decoder.reset();
        }
        it = decoders.insert(codePage, decoder);
    }
    return it.value().get();
}

} // namespace

QString foldLineEnds(QString text) {
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    return text;
}

namespace {
// Plain text knows one kind of line end: CR LF, LF, lone CR and the Unicode
// separators all become '\n'.
QString normalizeBreaks(QString text) {
    // A U+FEFF at the start is a byte order mark, however many there are.
    qsizetype marks = 0;
    while (marks < text.size() && text.at(marks) == QChar(0xFEFF))
        ++marks;
    text.remove(0, marks);
    text = foldLineEnds(std::move(text));
    text.replace(QChar(0x2028), QLatin1Char('\n'));
    text.replace(QChar(0x2029), QLatin1Char('\n'));
    return text;
}
} // namespace

QString decode(int codePage, std::string_view bytes) {
    if (bytes.empty()) return QString();
    if (isSymbolCodePage(codePage)) return decodeSymbol(codePage, bytes);
    if (codePage != 1252) {
        if (QStringDecoder *decoder = decoderFor(codePage)) {
            decoder->resetState();
            return decoder->decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        }
    }
    return decode1252(bytes);
}

namespace {
// Valid UTF-8 as UTF-8, anything else as Windows-1252. Decoded and checked in
// one pass: the decoder reports overlong forms, surrogates, code points past
// U+10FFFF and cut sequences.
QString decodeUtf8Or1252(QByteArrayView data) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(data);
    if (!utf8.hasError()) return text;
    text = QString();
    return decode1252({data.data(), size_t(data.size())});
}

// The text as the file holds it, before breaks and unwanted characters.
QString decodeRaw(const QByteArray &data) {
    const auto starts = [&](const char *bom, int n) {
        return data.size() >= n && std::memcmp(data.constData(), bom, size_t(n)) == 0;
    };
    if (starts("\xEF\xBB\xBF", 3)) return decodeUtf8Or1252(QByteArrayView(data).sliced(3));
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
        QStringDecoder utf16(starts("\xFF\xFE", 2) ? QStringConverter::Utf16LE
                                                   : QStringConverter::Utf16BE,
                             QStringConverter::Flag::Stateless);
        return utf16.decode(QByteArrayView(data).sliced(2));
    }
    return decodeUtf8Or1252(data);
}
} // namespace

QString decodePlainText(const QByteArray &data) {
    // Cleaned first: a dropped U+FFFC may leave a U+FEFF at the start, which
    // is then a byte order mark like any other.
    return normalizeBreaks(cleanText(decodeRaw(data)));
}

namespace {
// What cleanText does to one character: keep it, drop it or replace it.
enum class Fate { Keep, Drop, Replace };
inline Fate fateOf(char16_t c) {
    if (c < 0xD800) return Fate::Keep;
    if (c == 0xFFFC) return Fate::Drop;
    if ((c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE) return Fate::Replace;
    return Fate::Keep;
}
} // namespace

QString cleanText(QString text) {
    const char16_t *c = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    // Most texts hold none of them: found without copying anything.
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char16_t u = c[i];
        if (u < 0xD800) continue;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(c[i + 1])) {
            if ((c[i + 1] & 0x3FE) == 0x3FE && (u & 0x3F) == 0x3F) break; // U+xFFFE, U+xFFFF
            ++i;
            continue;
        }
        if (QChar::isSurrogate(u) || fateOf(u) != Fate::Keep) break;
    }
    if (i == n) return text;
    QString out;
    out.reserve(n);
    out.append(QStringView(text).first(i));
    for (; i < n; ++i) {
        const char16_t u = c[i];
        if (u < 0xD800) {
            out.append(QChar(u));
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(c[i + 1])) {
            if ((c[i + 1] & 0x3FE) == 0x3FE && (u & 0x3F) == 0x3F) {
                out.append(QChar(QChar::ReplacementCharacter));
            } else {
                out.append(QChar(u));
                out.append(QChar(c[i + 1]));
            }
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            switch (fateOf(u)) {
            case Fate::Keep:
                out.append(QChar(u));
                break;
            case Fate::Replace:
                out.append(QChar(QChar::ReplacementCharacter));
                break;
            case Fate::Drop:
                break;
            }
        }
    }
    return out;
}

QByteArray encodeCrLf(const QString &text) {
    // Encoded first, then every line end (LF, CR LF, CR, U+2028 and U+2029,
    // the last two E2 80 A8/A9 in UTF-8) written as CR LF. The three bytes that
    // may start one are each found with memchr, so plain runs cost a vector scan.
    const QByteArray utf8 = text.toUtf8();
    const char *from = utf8.constData();
    const char *const end = from + utf8.size();
    const auto next = [end](const char *at, char c) {
        const void *hit = std::memchr(at, c, size_t(end - at));
        return hit ? static_cast<const char *>(hit) : end;
    };
    std::string out;
    out.reserve(size_t(utf8.size() + utf8.size() / 32 + 16));
    const char *lf = next(from, '\n'), *cr = next(from, '\r'), *e2 = next(from, '\xE2');
    for (;;) {
        const char *at = std::min({lf, cr, e2});
        if (at == end) break;
        qsizetype length = 1;
        if (at == cr) {
            if (at + 1 < end && at[1] == '\n') length = 2;
        } else if (at == e2) {
            if (end - at < 3 || at[1] != '\x80' || (at[2] != '\xA8' && at[2] != '\xA9')) {
                e2 = next(at + 1, '\xE2'); // another character of that block
                continue;
            }
            length = 3;
        }
        out.append(from, size_t(at - from));
        out.append("\r\n", 2);
        from = at + length;
        if (lf < from) lf = next(from, '\n');
        if (cr < from) cr = next(from, '\r');
        if (e2 < from) e2 = next(from, '\xE2');
    }
    out.append(from, size_t(end - from));
    return QByteArray(out.data(), qsizetype(out.size()));
}

char16_t symbolChar(int codePage, unsigned char b) {
    switch (codePage) {
    case CpWingdings:
        return pictureChar(wingdings, b);
    case CpDingbats:
        return pictureChar(dingbats, b);
    case CpWebdings:
        return pictureChar(webdings, b);
    default:
        return b >= 0x20 ? symbolTable[b - 0x20] : char16_t(b);
    }
}

int symbolCodePage(const QString &name) {
    if (name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive)) return CpWingdings;
    if (name.startsWith(QLatin1String("Webdings"), Qt::CaseInsensitive)) return CpWebdings;
    if (name.contains(QLatin1String("Dingbats"), Qt::CaseInsensitive)) return CpDingbats;
    return CpSymbol;
}

int codePageOfCharset(int charset) {
    switch (charset) {
    case 0:
        return 1252;
    case 2:
        return CpSymbol;
    case 77: // the Mac font charsets
        return 10000;
    case 78:
        return 10001;
    case 79:
        return 10003;
    case 80:
        return 10008;
    case 81:
        return 10002;
    case 83:
        return 10005;
    case 84:
        return 10004;
    case 85:
        return 10006;
    case 86:
        return 10081;
    case 87:
        return 10021;
    case 88:
        return 10029;
    case 89:
        return 10007;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

int toCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (cp1252High[size_t(i)] == c) return 0x80 + i;
    return -1;
}

unsigned char bestFitCp1252(char16_t c) {
    const int direct = toCp1252(c);
    if (direct >= 0) return static_cast<unsigned char>(direct);
    // A letter with marks falls back to its base letter (ő → o, ł stays '?').
    const QString decomposed = QChar(c).decomposition();
    if (!decomposed.isEmpty()) {
        const int base = toCp1252(decomposed.at(0).unicode());
        if (base > 0) return static_cast<unsigned char>(base);
    }
    switch (c) {
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2212:
        return '-';
    case 0x2015:
        return 0x97;
    case 0x2028:
    case 0x2029:
        return ' ';
    case 0x00A0:
        return 0xA0;
    case 0x201B:
        return 0x92;
    case 0x201F:
        return 0x94;
    case 0x2032:
        return '\'';
    case 0x2033:
        return '"';
    default:
        return '?';
    }
}

} // namespace textcodec
