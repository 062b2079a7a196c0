// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's lists: the list table and its overrides, old-style \pn
// definitions, and each paragraph's item numbered in its list.
#include "core/rtfreader_p.h"

#include "core/textcodec.h"

#include <algorithm>

namespace rtf::reader {

// ---------------------------------------------------------------- destinations

// The list tables' state is one for the document: they open only in its
// text, a list only when none is being read, so that a level's state stays
// while its words are read, whatever groups nest inside it. A table or a list
// inside another is skipped whole.
bool Reader::listDestination(const Word &w) {
    Lists &l = lists_;
    Dest &dest = state_.dest;
    switch (w.act) {
    case Act::ListTable:
    case Act::OverrideTable:
        dest = dest != Dest::Text        ? Dest::Skip
               : w.act == Act::ListTable ? Dest::ListTable
                                         : Dest::OverrideTable;
        return true;
    case Act::List:
    case Act::Override:
        if (dest != (w.act == Act::List ? Dest::ListTable : Dest::OverrideTable)) return false;
        if (l.listDepth || l.overrideDepth) {
            dest = Dest::Skip;
            return true;
        }
        l.list = ListDef{};
        l.listId = l.overrideList = 0;
        l.overrideLs = l.overrideLevel = 0;
        (w.act == Act::List ? l.listDepth : l.overrideDepth) = stack_.size();
        return true;
    case Act::ListLevel:
        if (dest == Dest::OverrideTable && l.overrideLevel > 0) {
            // An override's own definition of one level: read as the list
            // table's, into the override's levels.
            l.list.levels.resize(size_t(l.overrideLevel));
            l.list.levels.back() = Level{};
            l.list.levels.back().given = true;
            dest = Dest::ListTable;
            return true;
        }
        if (dest != Dest::ListTable) return false;
        if (l.list.levels.size() < 9) l.list.levels.emplace_back();
        l.list.levels.back().given = true;
        return true;
    case Act::LevelText:
        if (dest != Dest::ListTable || l.list.levels.empty()) return false;
        l.list.levels.back().text.clear();
        dest = Dest::LevelText;
        return true;
    case Act::OverrideLevel:
        if (dest != Dest::OverrideTable || !l.overrideDepth || l.overrideLevel >= 9) return false;
        ++l.overrideLevel;
        return true;
    default:
        return markerDestination(w);
    }
}

// The marker text written for readers without lists, and \pn definitions.
bool Reader::markerDestination(const Word &w) {
    Dest &dest = state_.dest;
    switch (w.act) {
    case Act::ListText:
        if (dest != Dest::Text) return false;
        endRun();
        lists_.markerFrom = lists_.markerTo = text_.para.runs.size();
        dest = Dest::ListText;
        return true;
    case Act::Pn:
        if (dest != Dest::Text && dest != Dest::ListText) return false;
        lists_.pn = PnDef{};
        dest = Dest::Pn;
        return true;
    case Act::PnTextBefore:
    case Act::PnTextAfter:
        if (dest != Dest::Pn) return false;
        dest = w.act == Act::PnTextBefore ? Dest::PnTextBefore : Dest::PnTextAfter;
        return true;
    default:
        return false;
    }
}

// What the closing of a group ends: a list, an override, a \pn definition (a
// property of the paragraph around it), a marker's text.
void Reader::closeListGroups(Dest inner) {
    Lists &l = lists_;
    if (l.listDepth && stack_.size() < l.listDepth) {
        if (l.byId.size() < 10000) l.byId[l.listId] = std::move(l.list);
        l.list = ListDef{};
        l.listDepth = 0;
    }
    if (l.overrideDepth && stack_.size() < l.overrideDepth) endOverride();
    if (inner == Dest::Pn && state_.dest == Dest::Text) {
        if (l.pnDefs.empty() || !(l.pnDefs.back() == l.pn)) l.pnDefs.push_back(l.pn);
        state_.para.pn = int(l.pnDefs.size()) - 1;
    }
    if (inner == Dest::ListText && state_.dest != Dest::ListText) {
        endRun();
        l.markerTo = text_.para.runs.size();
    }
}

// Levels an override defines replace its list's.
void Reader::endOverride() {
    Lists &l = lists_;
    if (l.overrideLs && l.overrides.size() < 10000) {
        l.overrides[l.overrideLs] = l.overrideList;
        if (std::any_of(l.list.levels.begin(), l.list.levels.end(),
                        [](const Level &v) { return v.given || v.startGiven; })) {
            auto base = l.byId.find(l.overrideList);
            ListDef merged = base != l.byId.end() ? base->second : ListDef{};
            if (merged.levels.size() < l.list.levels.size())
                merged.levels.resize(l.list.levels.size());
            for (size_t i = 0; i < l.list.levels.size(); ++i) {
                if (l.list.levels[i].given) {
                    merged.levels[i] = l.list.levels[i];
                } else if (l.list.levels[i].startGiven) {
                    merged.levels[i].start = l.list.levels[i].start;
                }
            }
            l.overridden[l.overrideLs] = std::move(merged);
        }
    }
    l.list = ListDef{};
    l.overrideDepth = 0;
}

// ---------------------------------------------------------------- words

void Reader::listTableWord(const Word &w, bool on, long long param) {
    if (w.act == Act::ListId) lists_.listId = param;
    if (lists_.list.levels.empty()) return;
    Level &level = lists_.list.levels.back();
    switch (w.act) {
    case Act::LevelNfc:
        level.style = styleOfLevelNfc(clampInt(param, 0, 255));
        return;
    case Act::LevelStartAt:
        level.start = clampInt(param, 0, MaxListStart);
        return;
    case Act::LevelLegal:
        level.legal = on;
        return;
    case Act::Font:
        level.font = clampInt(param, 0, 1 << 20);
        return;
    default:
        return;
    }
}

void Reader::levelTextWord(const Word &w, long long param) {
    if (w.act == Act::Unicode) {
        long long n = param < 0 ? param + 65536 : param;
        // Some writers give the length and the placeholders as \uN too.
        if (n >= 0 && n <= 0xFFFF)
            lists_.list.levels.back().text.emplace_back(n < 0x20, char16_t(n));
        skipChars_ = state_.uc;
    } else if (w.act == Act::Uc) {
        state_.uc = clampInt(param, 0, 255);
    }
}

void Reader::levelTextBytes(std::string_view bytes) {
    for (char c : bytes)
        lists_.list.levels.back().text.emplace_back(true, static_cast<unsigned char>(c));
}

void Reader::overrideTableWord(const Word &w, long long param) {
    Lists &l = lists_;
    if (w.act == Act::ListId) l.overrideList = param;
    if (w.act == Act::Ls) l.overrideLs = clampInt(param, 0, 1 << 20);
    if (w.act == Act::LevelStartAt && l.overrideLevel > 0) {
        if (l.list.levels.size() < size_t(l.overrideLevel))
            l.list.levels.resize(size_t(l.overrideLevel));
        Level &level = l.list.levels[size_t(l.overrideLevel - 1)];
        level.start = clampInt(param, 0, MaxListStart);
        level.startGiven = true;
    }
}

void Reader::pnWord(const Word &w, long long param) {
    PnDef &pn = lists_.pn;
    switch (w.act) {
    case Act::PnLevel:
        pn.level = w.value ? w.value : clampInt(param, 1, 9);
        if (pn.level == PnBullet) pn.style = ListStyle::Bullet;
        return;
    case Act::PnStyle:
        if (pn.level != PnBullet) pn.style = ListStyle(w.value);
        return;
    case Act::PnStart:
        pn.start = clampInt(param, 0, MaxListStart);
        return;
    case Act::PnFont:
        // The texts of the definition are in this font's code page.
        state_.codePage = markerCodePage(clampInt(param, 0, 1 << 20));
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------- items

// A paragraph's list item, numbered in its list. A definition that cannot be
// found, or that shows nothing, makes no list item: the text written for
// readers without lists then stays.
ListItem Reader::listItem(const ParaState &para) {
    if (para.pn >= 0 && lists_.pnDefs[size_t(para.pn)].level != 0 &&
        lists_.pnDefs[size_t(para.pn)].level != PnCont)
        return pnItem(para.pn);
    lists_.lastWasPnItem = false;
    if (para.ls <= 0) return {};
    const ListDef *def = nullptr;
    if (auto v = lists_.overridden.find(para.ls); v != lists_.overridden.end()) {
        def = &v->second;
    } else if (auto o = lists_.overrides.find(para.ls); o != lists_.overrides.end()) {
        if (auto l = lists_.byId.find(o->second); l != lists_.byId.end()) def = &l->second;
    }
    if (!def || def->levels.empty()) return {};
    return tableItem(*def, para.ls, std::min(para.ilvl, int(def->levels.size()) - 1));
}

// An old-style item: numbered on from the item before while the definition
// stays the same.
ListItem Reader::pnItem(int pn) {
    Lists &l = lists_;
    const PnDef &d = l.pnDefs[size_t(pn)];
    if (d.style == ListStyle::Bullet && d.before.trimmed().isEmpty()) return {};
    if (!l.lastWasPnItem || !(d == l.pnDefs[size_t(l.lastPn)])) {
        l.pnId = ++l.nextListId;
        l.sequences[{-1, 0}] = Lists::Sequence{l.pnId, 0};
    }
    Lists::Sequence &seq = l.sequences[{-1, 0}];
    l.lastPn = pn;
    l.lastWasPnItem = true;
    ListItem item;
    item.id = seq.id;
    item.style = d.style;
    item.prefix = d.before;
    item.suffix = d.after;
    item.start = d.start;
    item.number = d.start + seq.count++;
    return item;
}

// An item of the list table's list at `level`: its number (deeper levels
// start again after it) and the level's template, with other levels'
// numbers written out as they stand now.
ListItem Reader::tableItem(const ListDef &list, int ls, int level) {
    const Level &def = list.levels[size_t(level)];
    auto seq = lists_.sequences.find({ls, level});
    if (seq == lists_.sequences.end())
        seq =
            lists_.sequences.emplace(std::pair{ls, level}, Lists::Sequence{++lists_.nextListId, 0})
                .first;
    const int number = def.start + seq->second.count++;
    lists_.sequences.erase(lists_.sequences.upper_bound({ls, level}),
                           lists_.sequences.lower_bound({ls + 1, 0}));
    QString before, after;
    const bool seen = levelTemplate(list, ls, level, before, after);
    if (!seen && before.trimmed().isEmpty()) return {};
    ListItem item;
    item.id = seq->second.id;
    item.level = level;
    item.style = seen ? def.style : ListStyle::Bullet;
    item.prefix = before;
    item.suffix = after;
    item.start = def.start;
    item.number = seen ? number : 1;
    return item;
}

// Another level's number as it stands, in that level's style (in figures for
// a legal level).
QString Reader::levelNumber(const ListDef &list, int ls, int level, int lv) const {
    const std::vector<Level> &levels = list.levels;
    auto it = lists_.sequences.find({ls, lv});
    const Level *other = lv < int(levels.size()) ? &levels[size_t(lv)] : nullptr;
    const int start = other ? other->start : 1;
    const int n = it == lists_.sequences.end() ? start : start + std::max(0, it->second.count - 1);
    ListStyle style = other && !levels[size_t(level)].legal ? other->style : ListStyle::Decimal;
    if (style == ListStyle::Bullet || style == ListStyle::None) style = ListStyle::Decimal;
    return markerText(style, {}, {}, n);
}

// The level's template read into the text before its number and after it;
// true when the number itself is shown.
bool Reader::levelTemplate(const ListDef &list, int ls, int level, QString &before,
                           QString &after) const {
    const Level &def = list.levels[size_t(level)];
    const int cp = def.font >= 0 ? markerCodePage(def.font) : fonts_.docCodePage;
    bool seen = false;
    std::string pending;
    const auto flush = [&] {
        if (pending.empty()) return;
        (seen ? after : before) += textcodec::decode(cp, pending);
        pending.clear();
    };
    const size_t length = def.text.empty() ? 0 : def.text.front().second;
    for (size_t i = 1; i <= length && i < def.text.size(); ++i) {
        const auto [isByte, v] = def.text[i];
        if (isByte && v < 9) {
            flush();
            if (int(v) == level && def.style != ListStyle::Bullet && def.style != ListStyle::None) {
                seen = true;
            } else if (int(v) < level) {
                (seen ? after : before) += levelNumber(list, ls, level, v);
            }
        } else if (isByte) {
            pending += char(v);
        } else {
            flush();
            char16_t c = v;
            // Private-use characters of a symbol font are its bytes; without
            // one, Symbol's are meant (Word's bullet U+F0B7).
            if (c >= 0xF020 && c <= 0xF0FF)
                c = textcodec::symbolChar(textcodec::isSymbolCodePage(cp) ? cp
                                                                          : textcodec::CpSymbol,
                                          static_cast<unsigned char>(c - 0xF000));
            (seen ? after : before) += QChar(c);
        }
    }
    flush();
    return seen;
}

} // namespace rtf::reader
