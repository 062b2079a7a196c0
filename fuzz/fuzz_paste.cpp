// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/targets.h"

#include <QApplication>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_paste";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzPaste(data, size);
    return 0;
}
