#!/usr/bin/python3
# Reads the running player through AT-SPI, as a screen reader does, and prints what it
# finds: "page: TEXT" for the page's accessible text, "choice: TEXT" for each item of the
# choice list, "current: TEXT" for the one focused. Waits at most TIMEOUT seconds for the
# application to appear. Usage: atspi_read.py TIMEOUT
import sys
import time

import pyatspi


def find_app(deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name and app.name.lower().startswith("sorvane"):
                return app
        time.sleep(0.2)
    return None


def walk(node, depth=0):
    if node is None or depth > 12:
        return
    yield node
    for i in range(min(node.childCount, 300)):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def text_of(node):
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return node.name


def main():
    deadline = time.time() + float(sys.argv[1])
    app = find_app(deadline)
    if app is None:
        print("no application")
        return 1
    for node in walk(app):
        role = node.getRole()
        if role == pyatspi.ROLE_STATIC or role == pyatspi.ROLE_LABEL:
            if node.name == "" and text_of(node) == "":
                continue
            print("text: " + text_of(node).replace("\n", " "))
        elif role == pyatspi.ROLE_LIST_ITEM:
            print("choice: " + node.name)
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                print("current: " + node.name)
    return 0


sys.exit(main())
