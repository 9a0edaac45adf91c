#!/usr/bin/python3
"""a11y_check.py --program <kvor-rur-glint>: a screen reader finds each control of controls.h."""
import os, re, subprocess, sys, tempfile, time

ROW = re.compile(r'C\((\w+),\s*(\w+),\s*(\w+),\s*(\d+),\s*"([^"]*)",\s*\d,\s*(\d)')
with open(os.path.join(os.path.dirname(__file__), "controls.h")) as table:
    CONTROLS = [m.groups() for m in map(ROW.search, table) if m]
# The panels on screen at start, then each brought up by its toggle.
STEPS = [("MAINPANEL", None), ("JETPANEL", None), ("PARA1", "TOGGBTN_Para1"),
         ("PARA2", "TOGGBTN_Para2"), ("JETPANEL", "TOGGBTN_Jet")]


def check(app, pyatspi):
    def tree():  # {(by description, text): node} in one pass: a property read is a bus round trip
        found, nodes = {}, [a for a in pyatspi.Registry.getDesktop(0) if a and a.name == app]
        while nodes:
            node = nodes.pop()
            found.setdefault((False, node.name), node)
            found.setdefault((True, node.description), node)
            nodes.extend(child for child in node if child is not None)
        return found

    def showing(node): return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)

    def wait_shown(name, seconds):  # None if it does not come up in time
        for _ in range(int(seconds * 10)):
            if showing(tree().get((False, name))):
                return True
            time.sleep(0.1)

    if not wait_shown("BTNFreezeProfile", 20):
        return ["the panels did not come up on the accessibility bus"]
    failures = []
    for panel, toggle in STEPS:
        rows = [row for row in CONTROLS if row[0] == panel]
        if toggle:
            tree()[(False, toggle)].queryAction().doAction(0)
            if not wait_shown(rows[0][1], 3):
                failures.append(f"the action of {toggle} does not bring up {panel}")
        found = tree()
        for _, name, kind, start, accessible, on_screen in rows:
            node = found.get((kind in ("Ring", "Text"), accessible or name))
            if node is None:
                failures.append(f"{panel}: nothing found as '{accessible or name}'")
            elif showing(node) != (on_screen == "1"):
                failures.append(f"{panel}: {name} is{' not' * (on_screen == '1')} on screen")
            elif kind in ("Num", "Slider") and int(node.queryValue().currentValue) != int(start):
                failures.append(f"{panel}: {name} reads {node.queryValue().currentValue}")
            elif kind in ("Button", "Radio", "Switch") and \
                    node.getState().contains(pyatspi.STATE_CHECKED) != (start == "1"):
                failures.append(f"{panel}: {name} is{' not' * (start == '1')} checked")
    return failures


def main():
    program = os.path.abspath(sys.argv[sys.argv.index("--program") + 1])
    if not os.environ.get("A11Y_CHECK_INNER"):  # a private X server and session bus (+ AT-SPI bus)
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", "dbus-run-session",
                                "--", sys.executable, __file__, "--program", program],
                               env=dict(os.environ, A11Y_CHECK_INNER="1"))
    import pyatspi
    pyatspi.Registry.getDesktop(0).childCount  # the registry first, for the program to find
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    running = subprocess.Popen([program, "--data-dir", tempfile.mkdtemp()], env=env)
    try:
        failures = check(os.path.basename(program), pyatspi)
    finally:
        running.kill()
    print(*[f"FAIL {f}" for f in failures], f"a11y_check: {len(failures)} failures", sep="\n")
    return int(bool(failures))


if __name__ == "__main__":
    sys.exit(main())
