// SPDX-License-Identifier: GPL-3.0-or-later
// The parsers of outside input, each as one function over raw bytes, shared by
// the libFuzzer targets and the test that replays every input that ever failed.
#pragma once

#include "core/textcodec.h"

#include <QString>
#include <cstddef>
#include <cstdint>

// True when the text holds something no document may: what cleanText would
// change.
inline bool holdsForbidden(const QString &text) {
    return textcodec::cleanText(text) != text;
}

// RTF reader, then the writer on what it read, then the reader again. (These
// two need the document core only.)
void FuzzRtf(const std::uint8_t *data, std::size_t size);
// Plain-text decoding and the CR LF encoder.
void FuzzPlainText(const std::uint8_t *data, std::size_t size);
// Pasting into the editor: the first byte picks RTF, HTML or plain text.
// Needs a QApplication.
void FuzzPaste(const std::uint8_t *data, std::size_t size);
