// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzPlainText(data, size);
    return 0;
}
