// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/positions.h"

#include <algorithm>

void SeparatorIndex::update(int pos, int removed, int added, const std::vector<int> &found) {
    auto first = std::lower_bound(positions_.begin(), positions_.end(), pos);
    auto last = std::lower_bound(first, positions_.end(), pos + removed);
    const int shift = added - removed;
    for (auto it = last; it != positions_.end(); ++it)
        *it += shift;
    first = positions_.erase(first, last);
    positions_.insert(first, found.begin(), found.end());
}

int SeparatorIndex::countBefore(int pos) const {
    return int(std::lower_bound(positions_.begin(), positions_.end(), pos) - positions_.begin());
}

int PositionMap::toEditor(int q) const {
    q = std::clamp(q, 0, documentLength);
    return q + paragraphOf(q) + separatorsBefore(q);
}

int PositionMap::toDocument(int e) const {
    if (e <= 0) return 0;
    // toEditor is increasing and toEditor(q) >= q: the answer is the largest q
    // with toEditor(q) <= e.
    int lo = 0, hi = std::min(e, documentLength);
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (toEditor(mid) <= e) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return lo;
}
