#!/usr/bin/python3
# read_accessible_names.py PID: prints every accessible object of the application with that
# process id as a screen reader walks it, one line each: depth, role, name (tabs between).
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(node, depth):
    print(f"{depth}\t{node.get_role_name()}\t{node.get_name()}")
    for index in range(node.get_child_count()):
        walk(node.get_child_at_index(index), depth + 1)


for attempt in range(50):
    desktop = Atspi.get_desktop(0)
    apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
    found = [app for app in apps if app.get_process_id() == int(sys.argv[1])]
    if found:
        sys.exit(walk(found[0], 0))
    time.sleep(0.2)
sys.exit("no accessible application with that process id")
