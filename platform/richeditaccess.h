// SPDX-License-Identifier: GPL-3.0-or-later
// What screen readers, magnifiers and other assistive technology learn of the
// editor's text: answered from the editor's own layout, so that character
// rectangles are where the characters are drawn and a line is the line shown,
// in long paragraphs too.
#pragma once

// Has the editor widgets answer through their own accessible interface;
// called once the application exists, as often as wanted.
void installEditorAccessibility();
