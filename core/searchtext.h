// SPDX-License-Identifier: GPL-3.0-or-later
// The document's text in chunks, kept for searching: an edit makes only the
// chunk it touches stale, so a search after typing costs about one scan of the
// text, not a copy of the whole document. Plain C++ over Qt Core strings.
#pragma once

#include <QString>
#include <functional>
#include <vector>

class TextCache {
public:
    // Reads the text of [from, from + length) from the document.
    using Reader = std::function<QString(int from, int length)>;

    // Everything is stale: the next search reads the whole text again.
    void reset() { chunks_.clear(); }
    // `removed` characters at `pos` were replaced by `added` ones.
    void update(int pos, int removed, int added);
    // First match of `text` within [from, to) of a document `length` long.
    int find(const QString &text, int from, int to, Qt::CaseSensitivity cs, int length,
             const Reader &read);

private:
    struct Chunk {
        int start;
        int length;
        QString text; // valid unless stale
        bool stale;
    };
    void build(int length, const Reader &read);
    std::vector<Chunk> chunks_;
};
