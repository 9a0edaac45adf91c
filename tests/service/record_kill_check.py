#!/usr/bin/python3
"""record_kill_check.py --program <kvor-rur-glint>: Record on, RUN, then SIGKILL during RUN.
The recording parses up to its last whole row, its frames are counted from 1 without a gap,
and it lacks at most about the last second of the frames the trace saw on the line."""
import glob, os, signal, subprocess, sys, tempfile, time

COLUMNS = 16


def drive(app, pyatspi, data):
    def find(name):
        nodes = [a for a in pyatspi.Registry.getDesktop(0) if a and a.name == app]
        while nodes:
            node = nodes.pop()
            if node.name == name:
                return node
            nodes.extend(child for child in node if child is not None)

    for _ in range(200):
        record, run = find("Record"), find("BTNRun")
        if record and run and record.getState().contains(pyatspi.STATE_SHOWING):
            break
        time.sleep(0.1)
    else:
        return "the panels did not come up on the accessibility bus"
    time.sleep(1.0)  # the probe has ended
    record.queryAction().doAction(0)
    time.sleep(0.3)
    run.queryAction().doAction(0)
    for _ in range(100):
        if glob.glob(os.path.join(data, "recordings", "run-*.csv")):
            return None
        time.sleep(0.1)
    return "no recording was started"


def check(data, trace):
    files = glob.glob(os.path.join(data, "recordings", "run-*.csv"))
    if len(files) != 1:
        return [f"expected one recording, found {files}"]
    text = open(files[0], encoding="utf-8").read()
    lines = text.split("\n")
    lines.pop()  # after the last newline: empty, or a row cut by the kill, not counted
    header = [l for l in lines if l.startswith("#")]
    body = [l for l in lines if not l.startswith("#")]
    failures = []
    if len(header) != 6 or not body or not body[0].startswith("time,frame,Ledge"):
        return [f"header or column line missing: {lines[:8]}"]
    rows = [r.split(",") for r in body[1:]]
    for i, row in enumerate(rows):
        if len(row) != COLUMNS or row[1] != str(i + 1) or not all(c.isdigit() for c in row[1:]):
            failures.append(f"row {i + 1} does not parse: {row}")
            break
    # Frames the program took from the line until the kill (the trace is written line by line).
    reads = [l for l in open(trace, encoding="utf-8") if " com-read COM1 36: 00 aa 00 08" in l]
    stamps = [int(l.split()[0]) for l in reads]
    last_second = sum(1 for s in stamps if s >= stamps[-1] - 1000) if stamps else 0
    lost = len(reads) - len(rows)
    print(f"record_kill_check: {len(rows)} rows, {len(reads)} frames on the line, "
          f"{last_second} in its last second, {lost} not in the file")
    if len(rows) < 20:
        failures.append(f"only {len(rows)} rows recorded")
    if lost > last_second + 3:
        failures.append(f"{lost} frames lost, more than the last second ({last_second})")
    return failures


def main():
    program = os.path.abspath(sys.argv[sys.argv.index("--program") + 1])
    if not os.environ.get("RECORD_KILL_INNER"):  # a private X server and session bus
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", "dbus-run-session",
                                "--", sys.executable, __file__, "--program", program],
                               env=dict(os.environ, RECORD_KILL_INNER="1"))
    import pyatspi
    pyatspi.Registry.getDesktop(0).childCount
    data = tempfile.mkdtemp()
    trace = os.path.join(data, "trace.log")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    running = subprocess.Popen([program, "--simulate", "--data-dir", data, "--trace", trace], env=env)
    try:
        problem = drive(os.path.basename(program), pyatspi, data)
        if problem is None:
            time.sleep(3.0)  # RUN and recording go on
    finally:
        children = subprocess.run(["pgrep", "-P", str(running.pid)], capture_output=True, text=True)
        running.send_signal(signal.SIGKILL)
        running.wait()
        for pid in children.stdout.split():
            os.kill(int(pid), signal.SIGKILL)
    failures = [problem] if problem else check(data, trace)
    print(*[f"FAIL {f}" for f in failures], f"record_kill_check: {len(failures)} failures", sep="\n")
    return int(bool(failures))


if __name__ == "__main__":
    sys.exit(main())
