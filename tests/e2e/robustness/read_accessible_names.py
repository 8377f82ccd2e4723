#!/usr/bin/python3
# Reads every accessible object of the application with the given process id, the way a screen
# reader walks a window: one line per object, "depth<TAB>role<TAB>name<TAB>description".
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def application(pid, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(index)
            if app is not None and app.get_process_id() == pid:
                return app
        time.sleep(0.2)
    return None


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", " ")


def walk(node, depth, out):
    out.write("\t".join([str(depth), node.get_role_name(), clean(node.get_name()),
                         clean(node.get_description())]) + "\n")
    for index in range(node.get_child_count()):
        child = node.get_child_at_index(index)
        if child is not None:
            walk(child, depth + 1, out)


app = application(int(sys.argv[1]), float(sys.argv[2]) if len(sys.argv) > 2 else 10)
if app is None:
    sys.exit("no accessible application with that process id")
walk(app, 0, sys.stdout)
