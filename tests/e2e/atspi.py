# SPDX-License-Identifier: GPL-3.0-or-later
# Run by atspi.sh inside its display and session bus: the program's
# accessible tree, read and driven as a screen reader would.
import os
import re
import subprocess
import sys
import time

import pyatspi

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAIL: ") + what)
    if not ok:
        failures.append(what)


def key(*keys):
    subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=True)
    time.sleep(0.4)


def typed(text):
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)
    time.sleep(0.4)


def click(node):
    # A click where the screen shows it (an action would wait for the modal
    # dialog it opens to close).
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(e.x + e.width // 2), str(e.y + e.height // 2),
                    "click", "1"], check=True)
    time.sleep(0.4)


def walk(node, depth=0):
    yield node
    if depth > 40:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def wait_for(find, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.2)
    return None


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "tavrolle":
            return app
    return None


def window(name):
    app = application()
    if app is None:
        return None
    for w in app:
        if w is not None and w.name == name and w.getState().contains(pyatspi.STATE_SHOWING):
            return w
    return None


def labels_of(node):
    # The names a screen reader gives a field: its own, and its labels'.
    names = [node.name or ""]
    for r in node.getRelationSet():
        if r.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(r.getNTargets()):
                names.append((r.getTarget(i).name or "").replace(" :", ""))
    return names


def text_of(node):
    t = node.queryText()
    return t.getText(0, t.characterCount)


def ink_box(x, y, w, h, pad=5):
    # The dark pixels the screen shows in a rectangle widened by pad on each
    # side, as (left, top, right, bottom) on the screen; None without ink.
    shot = subprocess.run(["import", "-window", "root", "-crop",
                           "%dx%d+%d+%d" % (w + 2 * pad, h, x - pad, y), "-depth", "8", "ppm:-"],
                          capture_output=True, check=True).stdout
    fields, at = [], 0
    while len(fields) < 4:  # P6, width, height, maximum
        while shot[at:at + 1].isspace():
            at += 1
        end = at
        while not shot[end:end + 1].isspace():
            end += 1
        fields.append(shot[at:end])
        at = end
    at += 1
    cw, ch = int(fields[1]), int(fields[2])
    box = None
    for row in range(ch):
        for col in range(cw):
            r, g, b = shot[at + 3 * (row * cw + col):at + 3 * (row * cw + col) + 3]
            if (r * 11 + g * 16 + b * 5) // 32 < 128:
                px, py = x - pad + col, y + row
                box = (px, py, px, py) if box is None else (
                    min(box[0], px), min(box[1], py), max(box[2], px), max(box[3], py))
    return box


app = wait_for(application)
if app is None:
    print("FAIL: the program is not on the accessibility bus")
    sys.exit(1)
main = wait_for(lambda: window("Pavelin"))
if main is None:
    print("FAIL: no window Pavelin in the accessible tree")
    sys.exit(1)

# The tree: one text area, named after the document; no hidden buffer; no
# separator named "-".
nodes = list(walk(main))
texts = [n for n in nodes if n.getRole() == pyatspi.ROLE_TEXT]
check(len(texts) == 1, "one text area in the window (found %d: %s)"
      % (len(texts), [t.name for t in texts]))
doc = texts[0] if texts else None
check(doc is not None and doc.name == "Document",
      "the text area is named Document (%r)" % (doc.name if doc else None))
hidden = [n for n in nodes if "Memo1" in (n.name or "")
          or (n.getRole() == pyatspi.ROLE_TEXT and "Memo1" in text_of(n))]
check(not hidden, "no Memo1 in the tree")
named_dash = [n for n in nodes if n.name == "-"]
check(not named_dash, "no entry named \"-\" (%d found)" % len(named_dash))
separators = [n for n in nodes if n.getRole() == pyatspi.ROLE_SEPARATOR]
check(len(separators) >= 4, "the menu separators are in the tree as separators (%d)"
      % len(separators))

# Alt with a letter types nothing; a plain letter still does.
if doc is not None:
    doc.queryComponent().grabFocus()
    time.sleep(0.3)
    for k in ("alt+f", "alt+e", "alt+a", "alt+z"):
        key(k)
        key("Escape")
    check(text_of(doc) == "", "Alt+F, Alt+E, Alt+A, Alt+Z type nothing (%r)" % text_of(doc))
    typed("x")
    check(text_of(doc).endswith("x"), "a plain x is typed (%r)" % text_of(doc))
    key("BackSpace")

# A short paragraph and a long one (laid out in segments): the line read at
# an offset is the visual line, Down, End and Page Down move by line and by
# screen, and a character's rectangle holds its ink on the screen.
if doc is not None:
    words = " ".join("mot%d" % i for i in range(5000))
    para = "   M   \n" + words[:15000] + "   M   " + words[15000:]
    doc.queryEditableText().insertText(0, para, len(para))
    time.sleep(1)
    text = doc.queryText()
    check(text.characterCount == len(para), "the long paragraph is in (%d characters of %d)"
          % (text.characterCount, len(para)))
    start = para.index("\n") + 1
    text.setCaretOffset(start + 1)
    time.sleep(0.5)
    line, s1, e1 = text.getTextAtOffset(start + 1, pyatspi.TEXT_BOUNDARY_LINE_START)
    check(20 < len(line) < 200 and s1 == start,
          "the line at the paragraph's second character is the first line shown (%d-%d)" % (s1, e1))
    key("Down")
    caret = text.caretOffset
    line, s2, e2 = text.getTextAtOffset(caret, pyatspi.TEXT_BOUNDARY_LINE_START)
    check(e1 < s2 <= e1 + 1 and caret - s2 <= 3,
          "Down goes to the next line (caret %d, line %d-%d, after %d-%d)" % (caret, s2, e2, s1, e1))
    key("End")
    check(text.caretOffset == e2, "End goes to the line's end (%d, line ends at %d)"
          % (text.caretOffset, e2))
    key("Page_Down")
    caret = text.caretOffset
    check(e2 + 10 * (e2 - s2) < caret < len(para) - 100,
          "Page Down goes a screen on within the paragraph (caret %d)" % caret)
    for m in (para.index("M"), para.rindex("M")):
        text.setCaretOffset(m)  # shows it (the caret at its left edge)
        time.sleep(0.8)
        x, y, w, h = text.getCharacterExtents(m, pyatspi.DESKTOP_COORDS)
        box = ink_box(x, y, w, h) if w > 0 and h > 0 else None
        # The whole letter: inside the rectangle across, more than half its
        # height down.
        check(box is not None and x - 1 <= box[0] and box[2] <= x + w and
              box[3] - box[1] >= h // 2,
              "the rectangle of the M at %d (%d,%d %dx%d) holds its ink (%s)" % (m, x, y, w, h, box))
    doc.queryEditableText().deleteText(0, text.characterCount)
    time.sleep(0.5)

# The font dialog: each field named by its label, Alt+T goes to the size.
police = [n for n in nodes if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "Police"]
check(len(police) == 1, "a Police button")
if police:
    click(police[0])
    dialog = wait_for(lambda: window("Police"))
    check(dialog is not None, "the font dialog opens")
    if dialog is not None:
        fields = list(walk(dialog))
        names = {name for n in fields if n.getRole() in (
            pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LIST, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST_BOX)
            for name in labels_of(n)}
        for want in ("Police", "Style", "Taille", "Couleur", "Script"):
            check(want in names, "a field named %s (fields: %s)" % (want, sorted(names)))
        amp = [n.name for n in fields if n.getRole() == pyatspi.ROLE_LABEL and "&" in (n.name or "")]
        check(not amp, "no label shows an & (%s)" % amp)
        key("alt+t")
        focused = [n for n in walk(dialog) if n.getState().contains(pyatspi.STATE_FOCUSED)]
        check(any("Taille" in labels_of(n) or (n.parent is not None and "Taille" in labels_of(n.parent))
                  for n in focused),
              "Alt+T puts the focus on the size (%s)" % [labels_of(n) for n in focused])
        cancel = [b for b in walk(dialog) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON
                  and b.name.replace("&", "") == "Annuler"]
        if cancel:
            click(cancel[0])
        else:
            key("Escape")
        check(wait_for(lambda: None if window("Police") else True, 5) is not None,
              "the font dialog closes")

# Open, several times from different folders: the typed path of an existing
# file enables Open, and Open opens it; sizes are in French.
home = os.environ["HOME"]
files = [("un/premier.txt", "Premier"), ("deux/deuxieme.txt", "Deuxieme"),
         ("deux/trois/troisieme.txt", "Troisieme"), ("un/premier.txt", "Premier"),
         ("deux/trois/troisieme.txt", "Troisieme")]
sizes_seen = set()
# The edits above left the document modified: Nouveau, and No to saving it.
subprocess.run(["xdotool", "windowactivate", "--sync", sys.argv[1]], check=False)
key("ctrl+n")


def prompt():
    for w in application() or []:
        if w is not None and w.getRole() != pyatspi.ROLE_FRAME and \
                w.getState().contains(pyatspi.STATE_SHOWING) and w.name == "Pavelin":
            return w
    return None


box = wait_for(prompt, 5)
if box is not None:
    no = [b for b in walk(box) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON
          and b.name.replace("&", "") == "Non"]
    if no:
        click(no[0])
    check(wait_for(lambda: None if prompt() else True, 5) is not None, "the save prompt closes")
for n, (path, content) in enumerate(files, 1):
    subprocess.run(["xdotool", "windowactivate", "--sync", sys.argv[1]], check=False)
    key("ctrl+o")
    dialog = wait_for(lambda: window("Ouvrir"))
    check(dialog is not None, "open %d: the Open dialog (windows: %s)"
          % (n, [w.name for w in application() or []]))
    if dialog is None:
        break
    time.sleep(0.5)
    key("ctrl+a")
    typed(os.path.join(home, path))
    time.sleep(0.5)
    buttons = [b for b in walk(dialog) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON
               and b.name.replace("&", "") == "Ouvrir"]
    enabled = bool(buttons) and buttons[0].getState().contains(pyatspi.STATE_SENSITIVE)
    check(enabled, "open %d: Ouvrir enabled for %s" % (n, path))
    for cell in walk(dialog):
        if cell.getRole() in (pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LABEL) and cell.name and \
                re.match(r"^[\d.,]+\s*\S+$", cell.name):
            sizes_seen.add(cell.name)
    if enabled:
        click(buttons[0])
        # A first click may only close the name completion's list.
        if wait_for(lambda: None if window("Ouvrir") else True, 1) is None:
            click(buttons[0])
    else:
        key("Escape")
    gone = wait_for(lambda: None if window("Ouvrir") else True, 5)
    check(gone is not None, "open %d: the dialog closes" % n)
    if gone is None:
        key("Escape")
    time.sleep(0.5)
    if enabled and doc is not None:
        check(text_of(doc) == content, "open %d: the document holds %s (%r)"
              % (n, path, text_of(doc)))
print("sizes shown:", sorted(sizes_seen))
check(any("octet" in s for s in sizes_seen), "sizes in octets")
check(not any(re.search(r"bytes|KiB", s) for s in sizes_seen), "no size in English")

sys.exit(1 if failures else 0)
