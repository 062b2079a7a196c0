// SPDX-License-Identifier: GPL-3.0-or-later
// HTML pasted from other programs, made into the document model.
#pragma once

#include "core/rtf.h"
#include "platform/classes.h"

namespace qtrich {

// Rich text pasted as HTML, as this editor holds it: paragraphs of formatted
// runs. A table's rows become paragraphs with their cells separated by tabs (a
// nested table's cells go into their cell, separated by spaces); list items
// get their number or bullet and a tab in front; images and other objects
// leave nothing. No character of the toolkit's own remains.
rtf::Document fromHtml(const QString &html, const TFont &defaults);

} // namespace qtrich
