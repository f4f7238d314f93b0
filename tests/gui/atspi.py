#!/usr/bin/python3
"""Reads the running program through the accessibility bus, as a screen reader would.

  atspi.py wait                      waits until the compare window is on the bus
  atspi.py center ROLE NAME          prints "x y", the centre of the first ROLE named NAME
  atspi.py item LIST TEXT            prints "x y" of the entry TEXT in the list named LIST
  atspi.py items LIST                prints the entries of the list named LIST, one a line
  atspi.py shown LIST TEXT           prints "x y" of entry TEXT when it is inside the list's box;
                                     else prints how many entry heights it lies off and exits 2
                                     when below, 3 when above; exit 1 when there is none
  atspi.py rows PANE                 prints the rows of the grid pane PANE: number, text, text2 (tab-separated)
  atspi.py total PANE                prints the count of the pane's total line
  atspi.py label-after-box BOXNAME   prints the text of the label right of the check box BOXNAME
  atspi.py text ROLE NAME            exit 0 when a ROLE named NAME exists
  atspi.py value ROLE NAME           prints the text held by the first ROLE named NAME
  atspi.py focused                   prints "ROLE<tab>NAME" of the object that has the keyboard focus
  atspi.py describe ROLE NAME        prints the description of the first ROLE named NAME
  atspi.py boxes ROLE PANE           prints "x y width height" of each ROLE inside the pane PANE,
                                     one a line (its table, its scroll bars)
  atspi.py row-shown PANE N          exit 0 when row N of the grid pane PANE lies inside the pane's
                                     box, 1 when it is scrolled out of sight
  atspi.py watch SECONDS             prints "ready", then for SECONDS each focus and description
                                     change: "EVENT<tab>ROLE<tab>NAME<tab>DESCRIPTION"
  atspi.py catch PREFIX SHOT SECONDS -- CMD...
                                     runs CMD, then reads the status line until it starts with
                                     PREFIX while the progress bar shows; then grabs the screen
                                     into SHOT and prints "MS<tab>STATUS<tab>PERCENT", MS counted
                                     from just before CMD. Exit 1 when not seen within SECONDS.
                                     With CATCH_KEY set, that key is pressed the moment it is
                                     seen, before the grab
Names are accessible names; a pane's name is its heading ("Source 1", "Similarity", ...).
A grid pane's cells are read through its table, not walked, so long lists stay quick to read.
"""
import os
import sys
import time

import pyatspi


def application():
    for _ in range(100):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == "tovik":
                return app
        time.sleep(0.1)
    sys.exit("no application 'tovik' on the accessibility bus")


def walk(acc):
    yield acc
    if acc.getRoleName() == "table":
        return
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(role, name, root=None):
    for acc in walk(root or application()):
        if acc.getRoleName() == role and (name is None or acc.name == name):
            return acc
    return None


def must(acc, what):
    if acc is None:
        sys.exit("not found: " + what)
    return acc


def center(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x + e.width // 2, e.y + e.height // 2


def list_items(name):
    lst = must(find("list", name), "list " + name)
    return [lst.getChildAtIndex(i) for i in range(lst.childCount)]


def pane(name):
    frame = must(find("frame", name), "pane " + name)
    return frame


def pane_rows(name):
    table = must(find("table", None, pane(name)), "table of " + name)
    t = table.queryTable()
    rows = []
    for r in range(t.nRows):
        cells = []
        for c in range(t.nColumns):
            cell = t.getAccessibleAt(r, c)
            cells.append(cell.name if cell is not None else "")
        rows.append("\t".join(cells))
    return rows


def row_shown(name, n):
    table = must(find("table", None, pane(name)), "table of " + name)
    cell = table.queryTable().getAccessibleAt(n - 1, 1)
    if cell is None:
        sys.exit("no row %d in %s" % (n, name))
    box = table.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    _, y = center(cell)
    return box.y <= y <= box.y + box.height


def watch(seconds):
    def told(event):
        source = event.source
        print("\t".join([event.type, source.getRoleName(), source.name, source.description]), flush=True)

    pyatspi.Registry.registerEventListener(
        told, "object:property-change:accessible-description", "object:state-changed:focused")
    print("ready", flush=True)
    from gi.repository import GLib
    GLib.timeout_add(int(seconds * 1000), lambda: pyatspi.Registry.stop())
    pyatspi.Registry.start()
    return 0


def catch(prefix, shot, seconds, command):
    import subprocess
    status = bar = None
    for acc in walk(application()):
        role = acc.getRoleName()
        if role == "label" and acc.description == "Status":
            status = acc
        elif role == "progress bar" and acc.name == "Progress":
            bar = acc
    must(status, "the status line")
    must(bar, "the progress bar")
    start = time.monotonic()
    subprocess.run(command, check=True)
    while time.monotonic() - start < seconds:
        text = status.name
        if text.startswith(prefix) and bar.getState().contains(pyatspi.STATE_SHOWING):
            ms = int((time.monotonic() - start) * 1000)
            if os.environ.get("CATCH_KEY"):
                subprocess.run(["xdotool", "key", os.environ["CATCH_KEY"]], check=True)
            percent = int(bar.queryValue().currentValue)
            subprocess.run(["import", "-window", "root", shot], check=True)
            print("%d\t%s\t%d" % (ms, text, percent))
            return 0
        time.sleep(0.01)
    print("not seen; the status line read: " + status.name, file=sys.stderr)
    return 1


def main(argv):
    cmd = argv[1] if len(argv) > 1 else ""
    if cmd == "wait":
        for _ in range(100):
            if find("frame", "Drag file to the middle windows") is not None:
                return 0
            time.sleep(0.1)
        return 1
    if cmd == "center":
        print(*center(must(find(argv[2], argv[3]), argv[2] + " " + argv[3])))
        return 0
    if cmd == "item":
        for item in list_items(argv[2]):
            if item.name == argv[3]:
                print(*center(item))
                return 0
        sys.exit("no entry " + argv[3])
    if cmd == "shown":
        lst = must(find("list", argv[2]), "list " + argv[2])
        box = lst.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        for item in list_items(argv[2]):
            if item.name == argv[3]:
                x, y = center(item)
                e = item.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                step = max(e.height, 1)
                if y >= box.y + box.height - 4:
                    print((y - (box.y + box.height // 2)) // step + 1)
                    return 2
                if y <= box.y + 4:
                    print(((box.y + box.height // 2) - y) // step + 1)
                    return 3
                print(x, y)
                return 0
        return 1
    if cmd == "items":
        for item in list_items(argv[2]):
            print(item.name)
        return 0
    if cmd == "rows":
        for row in pane_rows(argv[2]):
            print(row)
        return 0
    if cmd == "total":
        labels = [a for a in walk(pane(argv[2])) if a.getRoleName() == "label"]
        print(labels[-1].name if labels else "")
        return 0
    if cmd == "label-after-box":
        box = must(find("check box", argv[2]), "check box " + argv[2])
        bx, by = center(box)
        best = None
        for acc in walk(application()):
            if acc.getRoleName() != "label":
                continue
            x, y = center(acc)
            if abs(y - by) < 12 and x > bx and (best is None or x < best[0]):
                best = (x, acc.name)
        print(best[1] if best else "")
        return 0
    if cmd == "value":
        acc = must(find(argv[2], argv[3]), argv[2] + " " + argv[3])
        text = acc.queryText()
        print(text.getText(0, text.characterCount))
        return 0
    if cmd == "focused":
        for acc in walk(application()):
            if acc.getState().contains(pyatspi.STATE_FOCUSED):
                print(acc.getRoleName() + "\t" + acc.name)
        return 0
    if cmd == "describe":
        print(must(find(argv[2], argv[3]), argv[2] + " " + argv[3]).description)
        return 0
    if cmd == "boxes":
        for acc in walk(pane(argv[3])):
            if acc.getRoleName() == argv[2]:
                e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                print(e.x, e.y, e.width, e.height)
        return 0
    if cmd == "row-shown":
        return 0 if row_shown(argv[2], int(argv[3])) else 1
    if cmd == "watch":
        return watch(float(argv[2]))
    if cmd == "text":
        return 0 if find(argv[2], argv[3]) is not None else 1
    if cmd == "catch" and len(argv) > 6 and argv[5] == "--":
        return catch(argv[2], argv[3], float(argv[4]), argv[6:])
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
