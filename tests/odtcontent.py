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
    paragraphs = []
    for p in body.iter():
        if p.tag in (q("text:p"), q("text:h")):
            t = normalised(text_of(p, own))
            if t:
                paragraphs.append(t)
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
