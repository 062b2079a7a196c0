// SPDX-License-Identifier: GPL-3.0-or-later
// List markers: the styles of numbering, their formats in RTF's list table
// and the marker text of an item's number.
#pragma once

#include <QString>
#include <cstdint>

namespace rtf {

enum class ListStyle : std::uint8_t {
    None,
    Bullet, // the marker is `prefix` alone
    Decimal,
    DecimalZero, // 01, 02... 10
    LowerAlpha,
    UpperAlpha,
    LowerRoman,
    UpperRoman
};

// The list table's number format (\levelnfc) of a style, and the style of a
// format; a format without a style of its own is decimal.
int levelNfc(ListStyle style);
ListStyle styleOfLevelNfc(int nfc);

// The marker of item number `number` in the style: "3.", "c)", "iv.", "•".
QString markerText(ListStyle style, const QString &prefix, const QString &suffix, int number);

} // namespace rtf
