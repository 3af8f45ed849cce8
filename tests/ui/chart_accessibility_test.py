#!/usr/bin/python3
"""What a screen reader finds in the window "Getriebe", read through AT-SPI: the
picture's description and every cell of the table, against what the chart library gives
(see chart_accessibility_main.cpp). Run inside a D-Bus session with a display.

Usage: chart_accessibility_test.py PROGRAM FILE
"""
import os
import subprocess
import sys
import time

import pyatspi


def find(node, role, name):
    if node.getRoleName() == role and node.name == name:
        return node
    for child in node:
        found = find(child, role, name)
        if found is not None:
            return found
    return None


def read(app):
    """The picture's description and the table's rows, or None while not all are there."""
    charts = [w for w in app if w.getRoleName() == "frame" and w.name == "Getriebe"]
    if not charts:
        return None
    picture = find(charts[0], "image", "Getriebediagramm")
    table = find(charts[0], "table", "Gangtabelle")
    if picture is None or table is None:
        return None
    cells = table.queryTable()
    rows = [[cells.getAccessibleAt(r, c).name for c in range(cells.nColumns)]
            for r in range(cells.nRows)]
    return picture.description, rows


def main():
    program, example = sys.argv[1], sys.argv[2]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    window = subprocess.Popen([program, example], stdout=subprocess.PIPE, env=env, text=True)
    try:
        description = window.stdout.readline().rstrip("\n")
        rows = []
        for line in window.stdout:
            if line.rstrip("\n") == "-":
                break
            rows.append(line.rstrip("\n").split("\t"))
        want = (description, rows)
        name = os.path.basename(program)
        got = None
        for _ in range(100):
            apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == name]
            got = read(apps[0]) if apps else None
            if got == want:
                break
            time.sleep(0.1)
        print(f"want: {want}\ngot:  {got}")
        return 0 if got == want and rows else 1
    finally:
        window.kill()
        window.wait()


if __name__ == "__main__":
    sys.exit(main())
