// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/entry.h"

int main() {
    return PavelinMain();
}
