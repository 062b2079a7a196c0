#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What LibreOffice read from each document, from the ODT files it wrote.

Usage: odtcontent.py FOLDER...  Prints one JSON object: for every *.odt of the
folders, its name without extension -> what it holds (see read()), or
{"error": "..."} when the file can't be read. Lengths are in twips."""

import json
import os
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
    "svg": "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0",
}


def q(name):
    prefix, local = name.split(":")
    return "{%s}%s" % (NS[prefix], local)


# The elements that stand for a field's value in the text.
FIELDS = [
    "page-number", "page-count", "page-continuation", "date", "time",
    "creation-date", "creation-time", "modification-date", "modification-time",
    "print-date", "print-time", "author-name", "author-initials", "creator",
    "initial-creator", "printed-by", "title", "subject", "description",
    "keywords", "file-name", "template-name", "chapter", "sequence",
    "sequence-ref", "bookmark-ref", "reference-ref", "note-ref",
    "user-field-get", "user-defined", "variable-get", "expression",
    "text-input", "drop-down", "hidden-text", "conditional-text",
    "database-display", "word-count", "character-count", "paragraph-count",
    "table-count", "image-count", "object-count", "placeholder",
    "sender-firstname", "sender-lastname", "sender-company",
]
FIELD_TAGS = {q("text:" + f): f for f in FIELDS}

SPACE = re.compile(r"\s+")


def normalised(s):
    return SPACE.sub(" ", s.replace("\ufeff", "")).strip()


def twips(length):
    m = re.match(r"^(-?[0-9.]+)(in|cm|mm|pt|pc|px)?$", length or "")
    if not m:
        return None
    factor = {"in": 1440, "cm": 1440 / 2.54, "mm": 144 / 2.54, "pt": 20,
              "pc": 240, "px": 15, None: 1}[m.group(2)]
    return round(float(m.group(1)) * factor)


# Character formats compared, by attribute of style:text-properties: the
# name each is counted under, and its value as compared (None: not set).
def _font_weight(v):
    return "bold" if v == "bold" or (v.isdigit() and int(v) >= 600) else None


def _position(v):
    p = v.split()[0]
    if p in ("0%", "0"):
        return None
    return "sub" if p == "sub" or p.startswith("-") else "super"


def _color(v):
    # Black and automatic look the same; LibreOffice reads a colour number
    # missing from the file's table as black.
    return None if v.lower() == "#000000" else v.lower()


def _unless(*plain):
    return lambda v: None if v in plain else v


TEXT_PROPERTIES = [
    ("fo:font-weight", "bold", _font_weight),
    ("fo:font-style", "italic", lambda v: "italic" if v in ("italic", "oblique") else None),
    ("style:text-underline-style", "underline", _unless("none")),
    ("style:text-underline-type", "underline-type", _unless("none", "single")),
    ("style:text-line-through-style", "strike", _unless("none")),
    ("fo:font-variant", "variant", _unless("normal")),
    ("fo:text-transform", "transform", _unless("none")),
    ("fo:letter-spacing", "spacing", lambda v: None if v == "normal" or not twips(v) else str(twips(v))),
    ("style:text-position", "position", _position),
    ("text:display", "hidden", lambda v: "yes" if v == "none" else None),
    ("style:text-outline", "outline", _unless("false")),
    ("fo:text-shadow", "shadow", _unless("none")),
    ("fo:color", "color", _color),
    ("fo:font-size", "size", lambda v: str(twips(v)) if twips(v) is not None else v),
    ("style:font-name", "font", lambda v: v),
    ("fo:background-color", "background", lambda v: None if v == "transparent" else v.lower()),
    ("style:text-scale", "scale", _unless("100%")),
]
# A font LibreOffice names for text the file gives no font (its default
# style's), or for a font number the file's table lacks (the number).
UNNAMED_FONT = "?"


class Styles:
    """The styles of a document: each one's parent and text properties, the
    paragraph family's default, and which are automatic (a paragraph's own
    formats, not a style the user sees)."""

    def __init__(self, *roots):
        self.styles = {}
        self.default = {}
        self.automatic = set()
        for root in roots:
            for group in root:
                for e in group:
                    if e.tag == q("style:style"):
                        props = e.find("style:text-properties", NS)
                        name = e.get(q("style:name"))
                        self.styles[(e.get(q("style:family")), name)] = (
                            e.get(q("style:parent-style-name")),
                            dict(props.attrib) if props is not None else {},
                            e.get(q("style:display-name")) or name)
                        if group.tag == q("office:automatic-styles"):
                            self.automatic.add(name)
                    elif e.tag == q("style:default-style") and e.get(q("style:family")) == "paragraph":
                        props = e.find("style:text-properties", NS)
                        self.default = dict(props.attrib) if props is not None else {}
        # The default style's font is no font the file named.
        if q("style:font-name") in self.default:
            self.default[q("style:font-name")] = UNNAMED_FONT

    def text_properties(self, family, name, seen=()):
        entry = self.styles.get((family, name))
        if entry is None or (family, name) in seen:
            return {}
        out = self.text_properties(family, entry[0], seen + ((family, name),))
        out.update(entry[1])
        return out

    def shown_name(self, name):
        """A paragraph style's name as the user sees it: an automatic
        style's is its parent's."""
        seen = set()
        while name in self.automatic and name not in seen:
            seen.add(name)
            entry = self.styles.get(("paragraph", name))
            if entry is None or entry[0] is None:
                break
            name = entry[0]
        entry = self.styles.get(("paragraph", name))
        return entry[2] if entry else name


def formats_of(paragraph, styles, counts):
    """Adds to `counts` ("name=value" -> characters) the character formats of
    a paragraph's own text, spaces not counted."""
    own = {q("text:note"), q("draw:frame"), q("text:p"), q("text:h")}

    def add(text, properties):
        n = sum(1 for c in text if not c.isspace())
        if not n:
            return
        for attr, name, value in TEXT_PROPERTIES:
            v = properties.get(q(attr))
            v = value(v) if v is not None else None
            if name == "font" and v is not None and (not v.strip() or v.isdigit()):
                v = UNNAMED_FONT
            if v is not None:
                counts[name + "=" + v] = counts.get(name + "=" + v, 0) + n

    def walk(element, properties):
        add(element.text or "", properties)
        for child in element:
            if child.tag not in own:
                inner = properties
                if child.tag == q("text:span"):
                    inner = dict(properties)
                    inner.update(styles.text_properties("text", child.get(q("text:style-name"))))
                walk(child, inner)
            add(child.tail or "", properties)

    properties = dict(styles.default)
    properties.update(styles.text_properties("paragraph", paragraph.get(q("text:style-name"))))
    walk(paragraph, properties)


def text_of(element, skip):
    """The text of an element, without what the elements in `skip` hold
    (their tail, the text after them, counts)."""
    out = [element.text or ""]
    for child in element:
        if child.tag == q("text:s"):
            out.append(" " * int(child.get(q("text:c"), "1")))
        elif child.tag == q("text:tab"):
            out.append("\t")
        elif child.tag == q("text:line-break"):
            out.append("\n")
        elif child.tag == q("text:p") or child.tag == q("text:h"):
            out.append(" " + text_of(child, skip) + " ")
        elif child.tag not in skip:
            out.append(text_of(child, skip))
        out.append(child.tail or "")
    return "".join(out)


def read(path):
    with zipfile.ZipFile(path) as z:
        content = ET.fromstring(z.read("content.xml"))
        styles = ET.fromstring(z.read("styles.xml"))
    body = content.find("office:body/office:text", NS)
    if body is None:
        return {"error": "no text body"}
    notes = {q("text:note")}
    # A cell's text holds its nested tables' text, not its notes.
    cells = [normalised(text_of(c, notes)) for c in body.iter(q("table:table-cell"))]
    # A paragraph's own text: not its notes' nor its frames' (their
    # paragraphs are paragraphs of their own).
    own = notes | {q("draw:frame")}
    styles_read = Styles(styles, content)
    paragraphs, paragraph_styles, formats = [], [], {}
    for p in body.iter():
        if p.tag in (q("text:p"), q("text:h")):
            t = normalised(text_of(p, own))
            if t:
                paragraphs.append(t)
                paragraph_styles.append(styles_read.shown_name(p.get(q("text:style-name"))))
            formats_of(p, styles_read, formats)
    images = []
    for frame in body.iter(q("draw:frame")):
        for _ in frame.iter(q("draw:image")):
            images.append([twips(frame.get(q("svg:width"))),
                           twips(frame.get(q("svg:height")))])
            break
    fields = {}
    for root in (content, styles):
        for e in root.iter():
            f = FIELD_TAGS.get(e.tag)
            if f:
                fields[f] = fields.get(f, 0) + 1
    masters = styles.find("office:master-styles", NS)
    headers = footers = 0
    if masters is not None:
        for e in masters.iter():
            if e.tag in (q("style:header"), q("style:header-left"), q("style:header-first")):
                headers += 1
            elif e.tag in (q("style:footer"), q("style:footer-left"), q("style:footer-first")):
                footers += 1
    return {
        "cells": cells,
        "paragraphs": paragraphs,
        "styles": paragraph_styles,
        "formats": formats,
        "images": images,
        "links": sum(1 for _ in body.iter(q("text:a"))),
        "notes": sum(1 for _ in body.iter(q("text:note"))),
        "bookmarks": sum(1 for e in body.iter()
                         if e.tag in (q("text:bookmark-start"), q("text:bookmark"))),
        "fields": fields,
        "headers": headers,
        "footers": footers,
        "page": first_page(content, styles, body),
    }


def first_page(content, styles, body):
    """Size and margins of the page the text starts on: the master page its
    first paragraph or table names, else the default one."""
    master_of = {}
    for s in content.iter(q("style:style")):
        m = s.get(q("style:master-page-name"))
        if m:
            master_of[s.get(q("style:name"))] = m
    master = "Standard"
    for e in body:
        if e.tag in (q("text:p"), q("text:h"), q("table:table")):
            name = e.get(q("text:style-name")) or e.get(q("table:style-name"))
            master = master_of.get(name, master)
            break
    layout = None
    masters = styles.find("office:master-styles", NS)
    for m in (masters if masters is not None else []):
        if m.tag == q("style:master-page") and m.get(q("style:name")) == master:
            layout = m.get(q("style:page-layout-name"))
    for pl in styles.iter(q("style:page-layout")):
        if pl.get(q("style:name")) == layout:
            props = pl.find("style:page-layout-properties", NS)
            if props is None:
                return {}
            page = {}
            for key in ("page-width", "page-height", "margin-top", "margin-bottom",
                        "margin-left", "margin-right"):
                v = twips(props.get(q("fo:" + key)))
                if v is not None:
                    page[key] = v
            return page
    return {}


def main():
    out = {}
    for folder in sys.argv[1:]:
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".odt"):
                continue
            try:
                out[name[:-4]] = read(os.path.join(folder, name))
            except (zipfile.BadZipFile, ET.ParseError, KeyError, OSError) as e:
                out[name[:-4]] = {"error": str(e)}
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
