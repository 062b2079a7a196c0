// SPDX-License-Identifier: GPL-3.0-or-later
// List items in the toolkit's documents: a list's format with what the
// document model says of it, a long list held in linked parts and numbered
// across them, the marker each item shows.
#pragma once

#include "core/rtf.h"

#include <QTextBlock>
#include <QTextFormat>
#include <QTextListFormat>
#include <unordered_map>

class QTextCursor;
class QTextDocument;
class QTextList;

namespace qtrich {

// What a list holds beyond the toolkit's list format.
constexpr int ListStyleProperty = QTextFormat::UserProperty + 1; // rtf::ListStyle
constexpr int ListStartProperty = QTextFormat::UserProperty + 2;
constexpr int ListLevelProperty = QTextFormat::UserProperty + 3;
// A long list is held in parts (see Inserter::add): every part of one list
// has the same key, and each but the first the object index of the part
// before it.
constexpr int ListKeyProperty = QTextFormat::UserProperty + 4;
constexpr int ListPreviousProperty = QTextFormat::UserProperty + 5;

QTextListFormat listFormatOf(const rtf::ListItem &item);
int startOf(const QTextList *list);
// The list a part belongs to: the parts of one list share their key; a list
// made in one piece is its own (a negative key, from its object index).
long long keyOf(const QTextFormat &f, const QTextList *list);
// The part before `list` in its list, or null for the first.
const QTextList *previousPart(const QTextList *list);
// A list item with the number given; the style and texts from its list, the
// id the caller's.
rtf::ListItem listItemOf(const QTextList *list, int number);
QString markerOf(const rtf::ListItem &item);

// The format of a paragraph's first character (its own format when empty):
// the one its list marker is drawn and printed in.
QTextCharFormat leadingCharFormat(const QTextBlock &block);
// A list item's marker as it stands ("3.", "iv)", "•"); empty for other paragraphs.
QString listMarker(const QTextBlock &block);

// The numbers of list items. A long list is held in parts; an item's number
// counts the items of the parts before its own, which are remembered here
// until the document changes before the part: forgetFrom(position) after
// every change, with the first position it changed.
class ListNumbering {
public:
    // The item's number as its marker shows it; 0 for other paragraphs.
    int number(const QTextBlock &block);
    QString marker(const QTextBlock &block);
    void forgetFrom(int position);

private:
    struct Known {
        int before; // items in the parts before
        int start;  // the part's first position
    };
    int itemsBefore(const QTextList *part);
    std::unordered_map<const QTextList *, Known> known_;
};
// Return in a list item: splits it at the cursor into two items. The space
// above the list stays on its first item and the space below it on its last;
// an item added inside has the space the items have between them.
void splitItem(QTextCursor &cur);
// Return in an empty item: takes it out of its list, which ends at the item
// before, with the space below the list again.
void endListAt(QTextCursor &cur);

// Writes every list item's marker into its paragraph as text and a tab, and
// takes the paragraphs out of their lists: for a copy of the document that the
// toolkit lays out (printing), which numbers lists its own way.
void markersToText(QTextDocument *doc);

} // namespace qtrich
