// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/rtftokens.h"

#include <algorithm>

namespace rtf {

namespace {
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}
bool isSpecial(char c) {
    return c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n' || c == '\0';
}
} // namespace

Token Tokenizer::next() {
    // Line ends are the file's layout; NUL bytes carry no text.
    while (p_ < end_ && (*p_ == '\r' || *p_ == '\n' || *p_ == '\0'))
        ++p_;
    Token t;
    if (p_ >= end_) return t;
    const char c = *p_;
    if (c == '{' || c == '}') {
        ++p_;
        t.kind = c == '{' ? TokenKind::GroupOpen : TokenKind::GroupClose;
        return t;
    }
    if (c != '\\') {
        const char *start = p_;
        while (p_ < end_ && !isSpecial(*p_))
            ++p_;
        t.kind = TokenKind::Text;
        t.text = std::string_view(start, size_t(p_ - start));
        return t;
    }
    ++p_;
    if (p_ >= end_) return t; // a lone '\' at the very end
    const char d = *p_;
    if (isLetter(d)) return word();
    ++p_;
    if (d == '\'') {
        int value = 0, n = 0;
        while (n < 2 && p_ < end_ && hexValue(*p_) >= 0) {
            value = value * 16 + hexValue(*p_++);
            ++n;
        }
        t.kind = n == 2 ? TokenKind::HexByte : TokenKind::Broken;
        t.byte = static_cast<unsigned char>(value);
        return t;
    }
    if (d == '\r' || d == '\n') {
        t.kind = TokenKind::Word;
        t.text = "par";
        return t;
    }
    t.kind = TokenKind::Symbol;
    t.byte = static_cast<unsigned char>(d);
    return t;
}

Token Tokenizer::word() {
    Token t;
    t.kind = TokenKind::Word;
    const char *w = p_;
    while (p_ < end_ && isLetter(*p_))
        ++p_;
    t.text = std::string_view(w, std::min<size_t>(size_t(p_ - w), 32));
    bool negative = false;
    if (p_ + 1 < end_ && *p_ == '-' && isDigit(p_[1])) {
        negative = true;
        ++p_;
    }
    int digits = 0;
    long long param = 0;
    while (p_ < end_ && isDigit(*p_)) {
        if (digits < 12) param = param * 10 + (*p_ - '0');
        ++digits;
        ++p_;
    }
    t.hasParam = digits > 0;
    t.param = std::clamp<long long>(negative ? -param : param, -2147483647LL, 2147483647LL);
    if (p_ < end_ && *p_ == ' ') ++p_; // the delimiting space belongs to the word
    if (t.text == "bin") {
        // Binary data: so many bytes, whatever they hold.
        const long long n = std::clamp<long long>(t.hasParam ? t.param : 0, 0, end_ - p_);
        t.kind = TokenKind::Binary;
        t.text = std::string_view(p_, size_t(n));
        p_ += n;
    }
    return t;
}

} // namespace rtf
