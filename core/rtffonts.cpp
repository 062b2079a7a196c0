// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's font and colour tables: their entries as they are read, the
// code page each font's text is in, the colour of an index.
#include "core/rtfreader_p.h"

#include "core/textcodec.h"

namespace rtf::reader {

void Reader::fontTableWord(const Word &w, long long param) {
    FontEntry &entry = fonts_.entry;
    switch (w.act) {
    case Act::Font:
        fonts_.number = clampInt(param, 0, 1 << 20);
        entry = FontEntry{};
        fonts_.name.clear();
        return;
    case Act::Family:
        entry.family = FontFamily(w.value);
        return;
    case Act::Charset:
        entry.charset = clampInt(param, 0, 255);
        if (!entry.codePage || entry.codePage == 1252)
            entry.codePage = textcodec::codePageOfCharset(clampInt(param, 0, 255));
        return;
    case Act::Cpg:
        entry.codePage = clampInt(param, 0, 65535);
        return;
    default:
        return;
    }
}

void Reader::colorTableWord(const Word &w, long long param) {
    const int v = clampInt(param, 0, 255);
    if (w.act == Act::Red) fonts_.red = v;
    if (w.act == Act::Green) fonts_.green = v;
    if (w.act == Act::Blue) fonts_.blue = v;
    fonts_.colorSet =
        fonts_.colorSet || w.act == Act::Red || w.act == Act::Green || w.act == Act::Blue;
}

void Reader::endFontEntry() {
    flushBytes();
    if (fonts_.number >= 0) {
        const int cp = fonts_.entry.codePage ? fonts_.entry.codePage : fonts_.docCodePage;
        QString name =
            textcodec::decode(textcodec::isSymbolCodePage(cp) ? 1252 : cp, fonts_.name).trimmed();
        // Symbol, Wingdings and the other picture fonts each draw their
        // bytes differently.
        // A symbol font named without a charset is one all the same.
        if (fonts_.entry.codePage == textcodec::CpSymbol ||
            (!fonts_.entry.codePage && isSymbolFontName(name)))
            fonts_.entry.codePage = textcodec::symbolCodePage(name);
        fonts_.entry.name = name;
        fonts_.fonts.insert(fonts_.number, fonts_.entry);
    }
    fonts_.name.clear();
    fonts_.number = -1;
}

void Reader::endColorEntry() {
    const std::int32_t color =
        fonts_.colorSet ? (fonts_.red << 16) | (fonts_.green << 8) | fonts_.blue : NoColor;
    if (fonts_.colors.size() < 100000) fonts_.colors.push_back(color);
    fonts_.red = fonts_.green = fonts_.blue = 0;
    fonts_.colorSet = false;
}

// The font table is complete: the default font applies from here on. A file
// that names none has its font 0 as the default, as word processors read it.
void Reader::endFontTable() {
    if (fonts_.defaultFont < 0 && fonts_.fonts.contains(0)) fonts_.defaultFont = 0;
    if (state_.fontIndex < 0 && fonts_.defaultFont >= 0) selectFont(fonts_.defaultFont);
}

void Reader::selectFont(int index) {
    state_.fontIndex = index;
    auto it = fonts_.fonts.find(index);
    if (it == fonts_.fonts.end()) {
        // A font the table does not hold: the document's, read and written
        // as such, not the name of the one before in another code page.
        state_.format.font.clear();
        state_.format.family = CharFormat{}.family;
        state_.codePage = 0;
        return;
    }
    state_.format.font = it->name;
    state_.format.family = it->family;
    state_.codePage = it->codePage;
}

int Reader::codePageOf(int font) const {
    auto it = fonts_.fonts.find(font);
    const int cp = it != fonts_.fonts.end() && it->codePage ? it->codePage : fonts_.docCodePage;
    return cp ? cp : 1252;
}

// A list marker's font: a symbol font by its name alone, whatever charset the
// file gives it (writers give Symbol's bullet as Western).
int Reader::markerCodePage(int font) const {
    auto it = fonts_.fonts.find(font);
    if (it != fonts_.fonts.end() && isSymbolFontName(it->name))
        return textcodec::symbolCodePage(it->name);
    return codePageOf(font);
}

int Reader::currentCodePage() const {
    const int cp = state_.codePage ? state_.codePage : fonts_.docCodePage;
    return cp ? cp : 1252;
}

std::int32_t Reader::colorAt(long long index) const {
    if (index < 0 || index >= static_cast<long long>(fonts_.colors.size())) return NoColor;
    return fonts_.colors[size_t(index)];
}

} // namespace rtf::reader
