#!/usr/bin/python3
"""Screen-reader check of the operating program over the accessibility bus.

Starts the real program under a private X server and session bus, then looks for every
control of the four panels the way a screen reader does: by its accessible name (buttons,
numerics, sliders, toggles, graphs) or description (rings, text messages), reads the
values of numerics and sliders and the state of toggles and radio buttons, and switches
the child panels with the toggle buttons' own accessible action.

    tests/panels/a11y_check.py [--program build/bin/kvor-rur-glint] [--timeout 20]

Needs Xvfb (xvfb-run), dbus-run-session and the AT-SPI bus (at-spi2-core) and pyatspi.
Run without a sensor: the values checked are the panels' start values. Exit code 0 when
every check passes, 1 otherwise.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_PROGRAM = os.path.join(HERE, "..", "..", "build", "bin", "kvor-rur-glint")

NAME, DESC = "name", "description"

# (how it is found, the name or description, expected value or None, expected checked state)
MAIN = [
    (DESC, "DropDCom", None, None),
    (NAME, "BTNGet", None, None),
    (NAME, "BTNSend", None, None),
    (NAME, "RBTFile", None, False),
    (NAME, "RBTEeprom", None, False),
    (NAME, "RBTRam", None, True),
    (NAME, "BTNVideo", None, None),
    (NAME, "BTNStop", None, None),
    (NAME, "BTNRun", None, None),
    (NAME, "width display", 0, None),
    (NAME, "centre display", 0, None),
    (DESC, "DROPdatatype", None, None),
    (NAME, "jet maximum display", 0, None),
    (NAME, "video maximum display", 0, None),
    (NAME, "left edge display", 0, None),
    (NAME, "right edge display", 0, None),
    (NAME, "info frame", None, None),
    (DESC, "status line", None, None),
    (NAME, "strip chart", None, None),
    (NAME, "bar graph", None, None),
    (NAME, "logo picture", None, None),
    (NAME, "zoom switch", None, False),
    (NAME, "TOGGBTN_Jet", None, True),
    (NAME, "TOGGBTN_Para2", None, False),
    (NAME, "TOGGBTN_Para1", None, False),
]
# Present but hidden at start: found in the tree, not on screen.
MAIN_HIDDEN = [(NAME, "video graph"), (NAME, "jet graph"), (DESC, "HelpText1"),
               (DESC, "HelpText2")]
PARA1 = [
    (NAME, "NUMtolDelta", 1500, None),
    (NAME, "NEDITTolerance", 100, None),
    (DESC, "RINGanaMode", None, None),
    (DESC, "DROPEvalMode", None, None),
    (DESC, "DROPrs232Mode", None, None),
    (DESC, "DROPopMode", None, None),
    (DESC, "DROPpolarity", None, None),
    (DESC, "DROPaverage", None, None),
    (DESC, "DROPHardwareMode", None, None),
    (NAME, "ButtonReset", None, None),
]
PARA2 = [
    (NAME, "ButtonTeach", None, None),
    (NAME, "SLIDEVideoThreshold", 512, None),
    (NAME, "SLIDEpower", 500, None),
    (NAME, "setpoint numeric", 512, None),
    (NAME, "NEDITEdgeLeft", 1, None),
    (NAME, "NEDITEdgeRight", 1024, None),
    (NAME, "NUMteach", 0, None),
]
JET = [
    (NAME, "BTNFreezeProfile", None, None),
    (NAME, "BTNSaveJetProfile", None, None),
    (NAME, "BTNRecfile", None, None),
    (NAME, "jet area display", 0, None),
    (NAME, "record file box", None, None),
]


def inner(args):
    import pyatspi

    failures = []
    report = []

    def fail(text):
        failures.append(text)
        report.append("FAIL " + text)

    def ok(text):
        report.append("ok   " + text)

    # Bring up the registry before the program, so that the program finds it when it
    # registers itself.
    pyatspi.Registry.getDesktop(0).childCount
    datadir = tempfile.mkdtemp(prefix="kvor-a11y-")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)
    program = subprocess.Popen([args.program, "--data-dir", datadir], env=env)
    started = time.time()
    deadline = started + args.timeout

    def find_app():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == os.path.basename(args.program):
                return app
        return None

    def snapshot(app):
        # One pass over the tree; every property read is a bus round trip.
        out = []

        def walk(node):
            out.append((node, node.name, node.description))
            for child in node:
                if child is not None:
                    walk(child)

        walk(app)
        return out

    def lookup(snap, how, key):
        for n, name, description in snap:
            if (name if how == NAME else description) == key:
                return n
        return None

    def showing(n):
        return n.getState().contains(pyatspi.STATE_SHOWING)

    def check(app, items, panel):
        snap = snapshot(app)
        for how, key, value, checked in items:
            n = lookup(snap, how, key)
            if n is None:
                fail(f"{panel}: no control with accessible {how} '{key}'")
                continue
            if not showing(n):
                fail(f"{panel}: '{key}' found but not on screen")
                continue
            detail = n.getRoleName()
            if value is not None:
                try:
                    got = n.queryValue().currentValue
                except NotImplementedError:
                    fail(f"{panel}: '{key}' has no readable value")
                    continue
                if int(got) != value:
                    fail(f"{panel}: '{key}' reads {got}, expected {value}")
                    continue
                detail += f" = {int(got)}"
            if checked is not None:
                state = n.getState().contains(pyatspi.STATE_CHECKED)
                if state != checked:
                    fail(f"{panel}: '{key}' checked is {state}, expected {checked}")
                    continue
                detail += " checked" if state else " unchecked"
            if how == DESC:
                detail += f" ('{n.name}')"
            ok(f"{panel}: {key}: {detail}")

    def wait_until(predicate, seconds=None):
        until = min(deadline, time.time() + seconds) if seconds else deadline
        while time.time() < until:
            if predicate():
                return True
            time.sleep(0.1)
        return False

    def on_screen(app, how, key):
        n = lookup(snapshot(app), how, key)
        return n is not None and showing(n)

    def click(app, name):
        n = lookup(snapshot(app), NAME, name)
        box = n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(box.x + box.width // 2, box.y + box.height // 2,
                                            pyatspi.MOUSE_B1C)

    def press(app, toggle):
        n = lookup(snapshot(app), NAME, toggle)
        if n is None:
            fail(f"no toggle '{toggle}' to press")
            return False
        action = n.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        index = next((i for i, a in enumerate(names) if a in ("Press", "press", "Toggle", "toggle")),
                     0)
        action.doAction(index)
        return True

    try:
        app = None
        # The program is ready once the jet panel's controls are on screen.
        if not wait_until(lambda: find_app() is not None):
            fail("program did not appear on the accessibility bus")
            return failures, report
        app = find_app()
        if not wait_until(lambda: on_screen(app, NAME, "BTNFreezeProfile")):
            fail("panels did not appear")
            return failures, report
        ok(f"program on screen after {time.time() - started:.1f} s")
        check(app, MAIN, "main")
        snap = snapshot(app)
        for how, key in MAIN_HIDDEN:
            n = lookup(snap, how, key)
            if n is None:
                fail(f"main: no control with accessible {how} '{key}'")
            elif showing(n):
                fail(f"main: '{key}' is on screen at start")
            else:
                ok(f"main: {key}: {n.getRoleName()} (hidden at start)")
        check(app, JET, "jet panel")
        for toggle, items, panel, probe in (("TOGGBTN_Para1", PARA1, "first parameter panel", "NUMtolDelta"),
                                            ("TOGGBTN_Para2", PARA2, "second parameter panel", "SLIDEpower"),
                                            ("TOGGBTN_Jet", JET, "jet panel", "BTNFreezeProfile")):
            if not press(app, toggle):
                continue
            if not wait_until(lambda: on_screen(app, NAME, probe), seconds=3):
                fail(f"the screen reader's action on {toggle} does not bring up the {panel}")
                # Go on with an operator's click so that the panel's controls are checked.
                click(app, toggle)
                if not wait_until(lambda: on_screen(app, NAME, probe), seconds=3):
                    fail(f"a click on {toggle} does not bring up the {panel}")
                    continue
            check(app, items, panel)
        return failures, report
    finally:
        program.terminate()
        try:
            program.wait(timeout=5)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", default=DEFAULT_PROGRAM)
    parser.add_argument("--timeout", type=float, default=20.0)
    parser.add_argument("--inner", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    if not os.access(args.program, os.X_OK):
        print(f"a11y_check: program not found: {args.program}", file=sys.stderr)
        return 1
    if not args.inner:
        # A private X server and session bus; the session bus starts the AT-SPI bus.
        cmd = ["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", "dbus-run-session", "--",
               sys.executable, os.path.abspath(__file__), "--inner", "--program", args.program,
               "--timeout", str(args.timeout)]
        return subprocess.call(cmd, stderr=subprocess.DEVNULL if os.environ.get("A11Y_QUIET") else None)
    start = time.time()
    failures, report = inner(args)
    print("\n".join(report))
    print(f"a11y_check: {len(report) - len(failures)} passed, {len(failures)} failed "
          f"in {time.time() - start:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
