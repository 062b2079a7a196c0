// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/searchtext.h"

#include <algorithm>

namespace {
constexpr int ChunkSize = 1 << 16;
}

void TextCache::build(int length, const Reader &read) {
    chunks_.clear();
    const QString all = read(0, length);
    for (int start = 0; start < length; start += ChunkSize) {
        const int n = std::min(ChunkSize, length - start);
        chunks_.push_back({start, n, all.mid(start, n), false});
    }
    if (chunks_.empty()) chunks_.push_back({0, 0, QString(), false});
}

void TextCache::update(int pos, int removed, int added) {
    if (chunks_.empty()) return;
    // The first chunk touched: the one holding pos (or ending at it).
    auto first = std::upper_bound(chunks_.begin(), chunks_.end(), pos,
                                  [](int p, const Chunk &c) { return p < c.start; });
    if (first != chunks_.begin()) --first;
    auto last = first;
    while (last + 1 != chunks_.end() && (last + 1)->start < pos + removed)
        ++last;
    const int end = last->start + last->length;
    first->length = std::max(0, end - first->start - removed + added);
    first->stale = true;
    first->text.clear();
    const int shift = added - removed;
    auto next = chunks_.erase(first + 1, last + 1);
    for (auto it = next; it != chunks_.end(); ++it)
        it->start += shift;
}

int TextCache::find(const QString &text, int from, int to, Qt::CaseSensitivity cs, int length,
                    const Reader &read) {
    if (text.isEmpty() || from >= to) return -1;
    if (chunks_.empty()) build(length, read);
    const qsizetype n = text.size();
    QString carry; // the end of the previous chunk, for matches across chunks
    int carryStart = 0;
    for (Chunk &c : chunks_) {
        if (c.start + c.length <= from) continue;
        if (c.start >= to) break;
        if (c.stale) {
            c.text = read(c.start, c.length);
            c.stale = false;
        }
        if (!carry.isEmpty()) {
            const QString joined = carry + c.text.left(n - 1);
            for (qsizetype at = joined.indexOf(text, 0, cs); at >= 0;
                 at = joined.indexOf(text, at + 1, cs)) {
                const int p = carryStart + int(at);
                if (p >= from && p + n <= to) return p;
            }
        }
        const int localFrom = std::max(0, from - c.start);
        const qsizetype at = QStringView(c.text).indexOf(text, localFrom, cs);
        if (at >= 0 && c.start + at + n <= to) return c.start + int(at);
        if (at >= 0) return -1; // the first match already runs past the range
        carry = c.text.right(n - 1);
        carryStart = c.start + c.length - int(carry.size());
    }
    return -1;
}
