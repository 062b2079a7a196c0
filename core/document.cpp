// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/rtf.h"

#include "core/textcodec.h"

namespace rtf {

bool looksLikeRtf(const QByteArray &data) {
    return data.startsWith("{\\rtf");
}

QString Document::plainText() const {
    QString out;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const Paragraph &p = paragraphs[i];
        if (i) {
            // A row of the outermost table is one line, its cells separated by
            // a tab; inside a cell (its paragraphs, the tables nested in it)
            // everything is separated by a space.
            const Paragraph &prev = paragraphs[i - 1];
            if (prev.depth == 0 || p.depth == 0 || (prev.depth == 1 && prev.endsRow)) {
                out += QLatin1Char('\n');
            } else {
                out += prev.depth == 1 && prev.endsCell ? QLatin1Char('\t') : QLatin1Char(' ');
            }
        }
        if (p.list.id)
            out += markerText(p.list.style, p.list.prefix, p.list.suffix, p.list.number) +
                   QLatin1Char('\t');
        for (const Run &r : p.runs)
            if (!r.picture) out += r.text; // a picture is no text
    }
    return out;
}

void clean(Paragraph &p) {
    for (Run &r : p.runs)
        if (!r.picture) r.text = textcodec::cleanText(std::move(r.text));
    std::erase_if(p.runs, [](const Run &r) { return r.text.isEmpty(); });
    if (p.list.id) {
        p.list.prefix = textcodec::cleanText(std::move(p.list.prefix));
        p.list.suffix = textcodec::cleanText(std::move(p.list.suffix));
    }
}

} // namespace rtf
