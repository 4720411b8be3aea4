#!/usr/bin/python3
"""Drives the desktop window the way a screen reader would, over GTK's
accessibility bus (AT-SPI): no hook in the window itself.

  atspi_driver.py press NAME   activate the first widget called NAME
  atspi_driver.py show         print every widget's name and text
Exit status 1 when the window (or the widget) cannot be found."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def window_app():
    for _ in range(50):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == "vela-window":
                return app
        time.sleep(0.2)
    return None


def nodes(node):
    yield node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from nodes(child)


def text_of(node):
    text = node.get_text_iface()
    return text.get_text(0, text.get_character_count()) if text else ""


def main(command, argument=None):
    app = window_app()
    if app is None:
        return 1
    if command == "show":
        for node in nodes(app):
            print(node.get_role_name(), repr(node.get_name()), text_of(node))
        return 0
    for node in nodes(app):  # press
        if node.get_name() == argument and node.get_action_iface() is not None:
            return 0 if node.get_action_iface().do_action(0) else 1
    return 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
