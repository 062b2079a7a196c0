// SPDX-License-Identifier: GPL-3.0-or-later
// Text encodings: reading plain-text files of any common origin, writing the
// editor's plain text, and the legacy code pages RTF files name.
#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

namespace textcodec {

// The symbol fonts' own encodings (\fcharset2): Symbol's, and those of the
// picture fonts, told apart by the font's name.
constexpr int CpSymbol = 42;
constexpr int CpWingdings = 43;
constexpr int CpDingbats = 44; // Zapf Dingbats
constexpr int CpWebdings = 45;

// The encoding of a symbol font (\fcharset2) by its name.
int symbolCodePage(const QString &fontName);
// True for the symbol fonts' encodings.
inline bool isSymbolCodePage(int codePage) {
    return codePage >= CpSymbol && codePage <= CpWebdings;
}
// A character of a symbol font as word processors show it: Symbol's Greek
// letters and signs, the picture fonts' common bullets, arrows and marks;
// where there is none, the private-use character U+F000 + byte, as Windows
// gives it. Also for U+F020..U+F0FF written as \uN in such a font.
char16_t symbolChar(int codePage, unsigned char byte);

// Decodes a plain-text file: a UTF-8 byte order mark is dropped, UTF-16 with a
// byte order mark is decoded, valid UTF-8 is UTF-8, anything else Windows-1252.
// CR LF, LF, lone CR, U+2028 and U+2029 all become '\n'; the text is cleaned
// as by cleanText.
QString decodePlainText(const QByteArray &data);

// The text without what no document may hold: U+FFFC (an object's place in a
// toolkit document) is dropped; non-characters (U+FDD0..U+FDEF, U+FFFE, U+FFFF
// and their kin in every plane, the toolkit's frame markers among them) and
// halves of surrogate pairs become U+FFFD. Returns the text itself, not a
// copy, when it holds none of them.
QString cleanText(QString text);

// The text as UTF-8 with CR LF line breaks; '\n', U+2028 and U+2029 end lines.
QByteArray encodeCrLf(const QString &text);

// CR LF and lone CR become '\n', as the editor's document takes line ends.
QString foldLineEnds(QString text);

// Decodes bytes in a Windows code page; unknown pages decode as Windows-1252.
QString decode(int codePage, std::string_view bytes);

// The code page of an RTF \fcharset value; 0 where the document's own applies.
int codePageOfCharset(int charset);

// The Windows-1252 byte of a character, or -1 where it has none.
int toCp1252(char16_t c);
// The nearest Windows-1252 byte for a character without one ('?' if none).
unsigned char bestFitCp1252(char16_t c);

} // namespace textcodec
