// SPDX-License-Identifier: GPL-3.0-or-later
// Mapping between the editor's positions, where a line break counts two
// characters (CR LF), and the document's, where it counts one. Each call costs
// a few tree look-ups, never a scan of the text.
#pragma once

#include <functional>
#include <vector>

// Where the document holds line separators inside paragraphs (U+2028), kept in
// step with every edit.
class SeparatorIndex {
public:
    void clear() { positions_.clear(); }
    // `removed` characters at `pos` were replaced by `added` ones; `found` holds
    // the separators' positions within the added text, ascending.
    void update(int pos, int removed, int added, const std::vector<int> &found);
    // Separators strictly before `pos`.
    int countBefore(int pos) const;
    int size() const { return int(positions_.size()); }

private:
    std::vector<int> positions_;
};

// `paragraphOf(q)`: number of paragraph breaks before document position q;
// `separatorsBefore(q)`: line separators before q.
struct PositionMap {
    std::function<int(int)> paragraphOf;
    std::function<int(int)> separatorsBefore;
    int documentLength = 0;

    int toEditor(int q) const;
    // The document position of an editor position; one inside a CR LF pair
    // maps to the break itself.
    int toDocument(int e) const;
};
