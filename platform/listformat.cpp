// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/listformat.h"

#include <QFontMetricsF>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <algorithm>
#include <vector>

namespace qtrich {

QTextListFormat listFormatOf(const rtf::ListItem &item) {
    QTextListFormat f;
    switch (item.style) {
    case rtf::ListStyle::Bullet:
        f.setStyle(QTextListFormat::ListDisc);
        break;
    case rtf::ListStyle::LowerAlpha:
        f.setStyle(QTextListFormat::ListLowerAlpha);
        break;
    case rtf::ListStyle::UpperAlpha:
        f.setStyle(QTextListFormat::ListUpperAlpha);
        break;
    case rtf::ListStyle::LowerRoman:
        f.setStyle(QTextListFormat::ListLowerRoman);
        break;
    case rtf::ListStyle::UpperRoman:
        f.setStyle(QTextListFormat::ListUpperRoman);
        break;
    default:
        f.setStyle(QTextListFormat::ListDecimal);
        break;
    }
    f.setIndent(0); // the paragraph's own indents place it
    f.setNumberPrefix(item.prefix);
    f.setNumberSuffix(item.suffix);
    f.setProperty(ListStyleProperty, int(item.style));
    f.setProperty(ListStartProperty, item.start);
    f.setProperty(ListLevelProperty, item.level);
    return f;
}

int startOf(const QTextList *list) {
    const QTextListFormat f = list->format();
    return f.hasProperty(ListStartProperty) ? f.intProperty(ListStartProperty) : 1;
}

long long keyOf(const QTextFormat &f, const QTextList *list) {
    return f.hasProperty(ListKeyProperty) ? f.intProperty(ListKeyProperty)
                                          : -1 - list->objectIndex();
}

const QTextList *previousPart(const QTextList *list) {
    const QTextListFormat f = list->format();
    if (!f.hasProperty(ListPreviousProperty)) return nullptr;
    const auto *previous = qobject_cast<const QTextList *>(
        list->document()->object(f.intProperty(ListPreviousProperty)));
    // A copy of the document (QTextDocument::clone) numbers its objects anew:
    // a part whose link leads elsewhere is counted from there.
    if (!previous || keyOf(previous->format(), previous) != keyOf(f, list)) return nullptr;
    return previous;
}

rtf::ListItem listItemOf(const QTextList *list, int number) {
    const QTextListFormat f = list->format();
    rtf::ListItem item;
    item.style = rtf::ListStyle(f.intProperty(ListStyleProperty));
    if (item.style == rtf::ListStyle::None) item.style = rtf::ListStyle::Decimal;
    item.prefix = f.numberPrefix();
    item.suffix = f.numberSuffix();
    item.start = startOf(list);
    item.level = f.intProperty(ListLevelProperty);
    item.number = number;
    return item;
}

QString markerOf(const rtf::ListItem &item) {
    return rtf::markerText(item.style, item.prefix, item.suffix, item.number);
}

QTextCharFormat leadingCharFormat(const QTextBlock &block) {
    return block.begin().atEnd() ? block.charFormat() : block.begin().fragment().charFormat();
}

int ListNumbering::itemsBefore(const QTextList *part) {
    // The parts back to the first, or to one whose count is known.
    std::vector<const QTextList *> chain;
    int n = 0;
    for (const QTextList *p = part; p; p = previousPart(p)) {
        if (auto known = known_.find(p); known != known_.end()) {
            n = known->second.before + p->count();
            break;
        }
        chain.push_back(p);
    }
    for (auto p = chain.rbegin(); p != chain.rend(); ++p) {
        known_[*p] = Known{n, (*p)->item(0).position()};
        n += (*p)->count();
    }
    return known_[part].before;
}

void ListNumbering::forgetFrom(int position) {
    // The parts of a list follow each other: what comes before a part's
    // first position is all that counts for it.
    std::erase_if(known_, [position](const auto &k) { return k.second.start >= position; });
}

int ListNumbering::number(const QTextBlock &block) {
    const QTextList *list = block.textList();
    if (!list) return 0;
    return startOf(list) + itemsBefore(list) + list->itemNumber(block);
}

QString ListNumbering::marker(const QTextBlock &block) {
    const QTextList *list = block.textList();
    if (!list) return {};
    return markerOf(listItemOf(list, number(block)));
}

QString listMarker(const QTextBlock &block) {
    return ListNumbering().marker(block);
}

namespace {
bool inList(const QTextBlock &block, const QTextList *list) {
    return block.isValid() && block.textList() == list;
}
} // namespace

void splitItem(QTextCursor &cur) {
    const QTextBlock item = cur.block();
    const QTextList *list = item.textList();
    const bool first = !inList(item.previous(), list), last = !inList(item.next(), list);
    QTextBlockFormat upper = item.blockFormat(), lower = upper;
    if (last && !first) upper.setBottomMargin(item.previous().blockFormat().bottomMargin());
    if (first && !last) lower.setTopMargin(item.next().blockFormat().topMargin());
    if (upper != item.blockFormat()) cur.setBlockFormat(upper);
    cur.insertBlock(lower, cur.charFormat());
}

void endListAt(QTextCursor &cur) {
    const QTextBlock item = cur.block();
    QTextList *list = item.textList();
    const QTextBlock before = item.previous();
    if (!inList(item.next(), list) && inList(before, list)) {
        QTextBlockFormat f = before.blockFormat();
        f.setBottomMargin(item.blockFormat().bottomMargin());
        QTextCursor(before).setBlockFormat(f);
    }
    list->remove(item);
}

void markersToText(QTextDocument *doc) {
    // Counted in the order of the paragraphs: the links between the parts of
    // a list do not hold in a copy.
    std::vector<std::pair<QTextBlock, QString>> items;
    std::unordered_map<long long, int> counts; // items so far, by list
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (const QTextList *list = b.textList()) {
            const int number = startOf(list) + counts[keyOf(list->format(), list)]++;
            items.emplace_back(b, markerOf(listItemOf(list, number)));
        }
    }
    if (items.empty()) return;
    QTextCursor cur(doc);
    cur.beginEditBlock();
    for (auto &[block, marker] : items) {
        // The marker and the text stand where the editor draws them: the
        // first line starts at the marker, and a tab stop takes the text to
        // where the editor puts it (the toolkit counts tab stops from the
        // start of the line).
        block.textList()->remove(block);
        QTextBlockFormat format = block.blockFormat();
        const QFontMetricsF m(leadingCharFormat(block).font().resolve(doc->defaultFont()));
        const double advance = m.horizontalAdvance(marker);
        const double width = advance + 2 * m.horizontalAdvance(QLatin1Char(' '));
        const double start = std::max(format.textIndent(), -format.leftMargin());
        const double text = format.leftMargin() + (-start >= width ? 0 : start + width);
        const double line = format.leftMargin() + start;
        QList<QTextOption::Tab> tabs = format.tabPositions();
        // A stop of the paragraph's own between the marker and the text
        // would catch the tab first.
        tabs.removeIf([&](const QTextOption::Tab &t) {
            return t.position > advance && t.position <= text - line;
        });
        tabs.append(QTextOption::Tab(text - line, QTextOption::LeftTab));
        std::sort(tabs.begin(), tabs.end(),
                  [](const auto &a, const auto &b) { return a.position < b.position; });
        format.setTextIndent(start);
        format.setTabPositions(tabs);
        cur.setPosition(block.position());
        cur.setBlockFormat(format);
        cur.insertText(marker + QLatin1Char('\t'), leadingCharFormat(block));
    }
    cur.endEditBlock();
}

} // namespace qtrich
