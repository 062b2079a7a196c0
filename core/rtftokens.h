// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF tokenizer: the bytes of a file as groups, control words, control
// symbols, hex bytes, text and binary data. It knows nothing of what the
// words mean (the reader does); it never looks back, so reading is linear.
#pragma once

#include <cstdint>
#include <string_view>

namespace rtf {

enum class TokenKind : std::uint8_t {
    GroupOpen,
    GroupClose,
    Word,    // \word or \wordN; a '\' before a line end is given as \par
    Symbol,  // \ followed by one other character: \~ \- \_ \* \\ \{ \}...
    HexByte, // \'hh; an escape with fewer than two hex digits is given as Broken
    Broken,
    Text,   // bytes other than '\', braces, CR, LF and NUL, which carry no text
    Binary, // the data of \binN
    End
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text; // Word: the word (at most 32 letters); Text, Binary: the bytes
    long long param = 0;   // clamped to the range of a 32-bit integer
    bool hasParam = false;
    unsigned char byte = 0; // Symbol: the character; HexByte: the value
};

class Tokenizer {
public:
    explicit Tokenizer(std::string_view data)
        : p_(data.data()), begin_(p_), end_(p_ + data.size()) {}
    Token next();
    // The share of the input read, 0 to 1.
    double position() const {
        return end_ == begin_ ? 1.0 : double(p_ - begin_) / double(end_ - begin_);
    }
    // Where the next token starts in the input, and the input itself.
    size_t offset() const { return size_t(p_ - begin_); }
    std::string_view input() const { return std::string_view(begin_, size_t(end_ - begin_)); }

private:
    Token word();
    const char *p_;
    const char *begin_;
    const char *end_;
};

} // namespace rtf
