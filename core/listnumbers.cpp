// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/listnumbers.h"

#include <utility>

namespace rtf {

namespace {
QString alphabetic(int n, char16_t a) {
    QString s;
    for (; n > 0; n = (n - 1) / 26)
        s.prepend(QChar(char16_t(a + (n - 1) % 26)));
    return s;
}

QString roman(int n, bool upper) {
    if (n <= 0 || n >= 4000) return QString::number(n);
    static const std::pair<int, const char *> parts[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    QString s;
    for (const auto &[value, letters] : parts) {
        for (; n >= value; n -= value)
            s += QLatin1String(letters);
    }
    return upper ? s.toUpper() : s;
}
} // namespace

namespace {
// The list table's number formats of the styles.
constexpr std::pair<int, ListStyle> LevelNfcs[] = {
    {0, ListStyle::Decimal},    {1, ListStyle::UpperRoman}, {2, ListStyle::LowerRoman},
    {3, ListStyle::UpperAlpha}, {4, ListStyle::LowerAlpha}, {22, ListStyle::DecimalZero},
    {23, ListStyle::Bullet},    {255, ListStyle::None}};
} // namespace

int levelNfc(ListStyle style) {
    for (const auto &[nfc, s] : LevelNfcs)
        if (s == style) return nfc;
    return 0;
}

ListStyle styleOfLevelNfc(int nfc) {
    for (const auto &[n, style] : LevelNfcs)
        if (n == nfc) return style;
    return ListStyle::Decimal;
}

QString markerText(ListStyle style, const QString &prefix, const QString &suffix, int number) {
    switch (style) {
    case ListStyle::None:
        return {};
    case ListStyle::Bullet:
        return prefix;
    case ListStyle::DecimalZero:
        return prefix + QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0')) + suffix;
    case ListStyle::LowerAlpha:
        return prefix + alphabetic(number, u'a') + suffix;
    case ListStyle::UpperAlpha:
        return prefix + alphabetic(number, u'A') + suffix;
    case ListStyle::LowerRoman:
        return prefix + roman(number, false) + suffix;
    case ListStyle::UpperRoman:
        return prefix + roman(number, true) + suffix;
    default:
        return prefix + QString::number(number) + suffix;
    }
}

} // namespace rtf
