#!/usr/bin/python3
"""What a screen reader finds, read through AT-SPI, against what the window program says it
must find (see accessibility_main.cpp): in the main window the role, name and description of
the window and of every shown control; in the window "Getriebe" the picture's description and
every cell of the table. Run inside a D-Bus session with a display.

Usage: accessibility_test.py PROGRAM FILE
"""
import collections
import os
import subprocess
import sys
import time

import pyatspi


def tree(node):
    """Every (role, name, description) below node, node included."""
    found = [(node.getRoleName(), node.name, node.description)]
    for child in node:
        found += tree(child)
    return found


def find(node, role, name):
    if node.getRoleName() == role and node.name == name:
        return node
    for child in node:
        found = find(child, role, name)
        if found is not None:
            return found
    return None


def frame(app, title):
    frames = [w for w in app if w.getRoleName() == "frame" and w.name == title]
    return frames[0] if frames else None


def chart(app):
    """The picture's description and the table's rows, or None while not all are there."""
    window = frame(app, "Getriebe")
    picture = window and find(window, "image", "Getriebediagramm")
    table = window and find(window, "table", "Gangtabelle")
    if picture is None or table is None:
        return None
    cells = table.queryTable()
    rows = [[cells.getAccessibleAt(r, c).name for c in range(cells.nColumns)]
            for r in range(cells.nRows)]
    return picture.description, rows


def lines(stream):
    """The lines up to one that is "-", each split at its tabs."""
    found = []
    for line in stream:
        if line.rstrip("\n") == "-":
            break
        found.append(line.rstrip("\n").split("\t"))
    return found


def main():
    program, example = sys.argv[1], sys.argv[2]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    window = subprocess.Popen([program, example], stdout=subprocess.PIPE, env=env, text=True)
    try:
        want = collections.Counter(tuple(line) for line in lines(window.stdout))
        title = next(label for role, label, _ in want if role == "frame")
        table = lines(window.stdout)
        want_chart = ("\t".join(table[0]), table[1:])
        # The windows register with the bus after they show; the trees may fill in steps.
        name = os.path.basename(program)
        got, got_chart = collections.Counter(), None
        for _ in range(100):
            apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == name]
            main_window = frame(apps[0], title) if apps else None
            if main_window is not None:
                got, got_chart = collections.Counter(tree(main_window)), chart(apps[0])
                if got == want and got_chart == want_chart:
                    break
            time.sleep(0.1)
        missing, extra = want - got, got - want
        for role, label, description in sorted(missing.elements()):
            print(f"missing: {role} {label!r} {description!r}")
        for role, label, description in sorted(extra.elements()):
            print(f"instead: {role} {label!r} {description!r}")
        print(f"{sum(want.values()) - sum(missing.values())} of {sum(want.values())} found as expected")
        print(f"Getriebe want: {want_chart}\nGetriebe got:  {got_chart}")
        return 0 if not missing and not extra and got_chart == want_chart and want_chart[1] else 1
    finally:
        window.kill()
        window.wait()


if __name__ == "__main__":
    sys.exit(main())
