#!/usr/bin/python3
# check_accessible_names.py PID NAME: as a screen reader, fails on a control named after its class,
# by a doubled name or inside a control of its name, or when nothing reads NAME.
import re, sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

CONTROL = re.compile("push button|toggle button|check box|slider|entry|label|image")
UNNAMED = re.compile(r"(Gtk|gtkmm__)\w+|(.+) \2")
names = set()

def amiss(node, outer):
    role, name = node.get_role_name(), node.get_name()
    names.add(name)
    control = CONTROL.fullmatch(role)
    wrong = control and UNNAMED.fullmatch(name) or role != "label" and name in outer
    inner = outer | {name} if control and name else outer
    children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
    return [f"{role}: {name}"] * bool(wrong) + [n for c in children for n in amiss(c, inner)]

for attempt in range(50):
    desktop = Atspi.get_desktop(0)
    apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
    if found := [app for app in apps if app.get_process_id() == int(sys.argv[1])]:
        complaints = amiss(found[0], frozenset())
        complaints += [f"unread: {sys.argv[2]}"] * (sys.argv[2] not in names)
        print(*complaints, sep="\n")
        sys.exit(bool(complaints))
    time.sleep(0.2)
print("no accessible application with that process id")
sys.exit(1)
