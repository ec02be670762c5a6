#!/usr/bin/python3
"""The main window as a screen reader sees it: through the accessibility bus (AT-SPI).

Starts an X server (Xvfb), a D-Bus session with the AT-SPI registry, the controller simulator on
a pseudo-terminal and a copy of the utility whose Settings.ini names the simulator's line. Then,
reading only what the bus carries, as Orca does: the eleven settings fields are named by their
labels, the buttons and the status line are readable; Connect, Read and a Write that the
controller does not keep are pressed through the bus, and what is announced (notifications that
become showing, alerts) is checked and printed in order.

Arguments: the utility, the controller simulator, Xvfb. Exits 77 (skipped) only when the bus
cannot start.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
FIELD_LABELS = ["Ua max, V", "Ia max, mA", "Ug max, V", "Ig max, mA", "Time ON", "Time OFF",
                "Time Light", "Time Sleep", "SWR HI", "VOX Delay", "Switch Delay"]


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIPPED)


def start_display(xvfb):
    read_end, write_end = os.pipe()
    server = subprocess.Popen([xvfb, "-displayfd", str(write_end), "-nolisten", "tcp",
                               "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 1)
        if not chunk:
            skip("Xvfb gave no display")
        number += chunk
    os.close(read_end)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return server


def start_session_bus():
    daemon = shutil.which("dbus-daemon")
    if daemon is None:
        skip("dbus-daemon is not installed (Debian package dbus)")
    bus = subprocess.Popen([daemon, "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    address = bus.stdout.readline().decode().strip()
    if not address:
        skip("the D-Bus session did not start")
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
    # What a screen reader says when it starts: toolkits then connect to the accessibility bus.
    for name in ("IsEnabled", "ScreenReaderEnabled"):
        done = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                               "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                               "string:org.a11y.Status", "string:" + name,
                               "variant:boolean:true"], capture_output=True, timeout=30)
        if done.returncode != 0:
            skip("the AT-SPI bus did not start (Debian package at-spi2-core): " +
                 done.stderr.decode().strip())
    return bus


class Reader:
    """What a screen reader hears: the events it speaks, in order."""

    def __init__(self):
        import pyatspi
        from gi.repository import GLib
        self.pyatspi = pyatspi
        self.context = GLib.MainContext.default()
        self.spoken = []
        pyatspi.Registry.registerEventListener(self.heard, "object:state-changed:showing")
        pyatspi.Registry.registerEventListener(self.heard, "window:activate")

    def heard(self, event):
        try:
            role = event.source.getRole()
            if event.type.startswith("object:state-changed:showing"):
                if event.detail1 and role == self.pyatspi.ROLE_NOTIFICATION:
                    self.spoken.append("notification: " + event.source.name)
            elif role == self.pyatspi.ROLE_ALERT:
                self.spoken.append("alert: " + alert_text(event.source))
        except Exception:  # an object gone before it is asked: nothing to speak
            pass

    def pump(self, seconds):
        end = time.time() + seconds
        while time.time() < end:
            while self.context.iteration(False):
                pass
            time.sleep(0.02)

    def wait_for(self, what, condition, seconds=30):
        end = time.time() + seconds
        while time.time() < end:
            self.pump(0.1)
            found = condition()
            if found:
                return found
        raise AssertionError("not seen within %d s: %s\nheard so far:\n  %s" %
                             (seconds, what, "\n  ".join(self.spoken)))


def descendants(node):
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def alert_text(alert):
    return " | ".join([alert.name] + [n.name for n in descendants(alert)
                                      if n.getRoleName() in ("label", "push button") and n.name])


def press(node):
    """Presses a button through its action: "Press", or "Toggle" for a latching one."""
    action = node.queryAction()
    names = [action.getName(index) for index in range(action.nActions)]
    for wanted in ("Press", "Toggle"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    raise AssertionError("%s has no press action: %s" % (node.name, names))


def main():
    utility, simulator, xvfb = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="tolvane-atspi-")
    children = []
    try:
        children.append(start_display(xvfb))
        children.append(start_session_bus())
        try:
            reader = Reader()
        except ImportError as error:
            skip("pyatspi is not installed (Debian package python3-pyatspi): %s" % error)

        line = os.path.join(work, "controller")
        # The controller answers the write of Time Light (0024) but keeps its old value.
        children.append(subprocess.Popen([simulator, "--link", line, "--log",
                                          os.path.join(work, "simulator.log"),
                                          "--unstored-registers", "0024"],
                                         stdout=subprocess.DEVNULL))
        for _ in range(100):
            if os.path.exists(line):
                break
            time.sleep(0.05)
        copy = os.path.join(work, "tolvane")
        shutil.copy(utility, copy)
        os.symlink(os.path.join(os.path.dirname(os.path.abspath(utility)), "locale"),
                   os.path.join(work, "locale"))
        with open(os.path.join(work, "Settings.ini"), "w") as settings:
            settings.write("[ComPort]\nPort=%s\n" % line)
        environment = dict(os.environ, QT_QPA_PLATFORM="xcb", LANG="C", LANGUAGE="",
                           HOME=work, XDG_STATE_HOME=os.path.join(work, "state"),
                           XDG_CONFIG_HOME=os.path.join(work, "config"),
                           # The C++ tests look for leaks; this one reads the bus.
                           ASAN_OPTIONS="detect_leaks=0")
        window = subprocess.Popen([copy], env=environment, cwd=work)
        children.append(window)

        pyatspi = reader.pyatspi
        desktop = pyatspi.Registry.getDesktop(0)

        def application():
            for index in range(desktop.childCount):
                app = desktop.getChildAtIndex(index)
                if app is not None and app.name == "tolvane" and app.childCount > 0:
                    return app
            return None

        app = reader.wait_for("the utility on the bus", application)
        frame = app.getChildAtIndex(0)
        nodes = lambda: list(descendants(frame))

        def find(role, name):
            for node in nodes():
                if node.getRoleName() == role and node.name == name:
                    return node
            return None

        # Every enabled edit field is named by its label and says what it holds.
        fields = [n for n in nodes() if n.getRoleName() == "text" and
                  n.getState().contains(pyatspi.STATE_ENABLED) and
                  n.getState().contains(pyatspi.STATE_SHOWING)]
        assert [f.name for f in fields] == FIELD_LABELS, [f.name for f in fields]
        for field in fields:
            assert field.description, field.name
        connect = reader.wait_for("Connect", lambda: find("check box", "Connect") or
                                  find("toggle button", "Connect"))
        for name in ("Read", "Write"):
            assert find("push button", name) is not None, name
        status = [n for n in nodes() if n.getRoleName() == "status bar"]
        assert status and "Disconnected" in [n.name for n in descendants(status[0])]

        press(connect)
        reader.wait_for("Identified", lambda: "notification: Identified" in reader.spoken)
        assert connect.getState().contains(pyatspi.STATE_CHECKED), "the pressed look"

        start = len(reader.spoken)
        press(find("push button", "Read"))
        reader.wait_for("the result of the Read", lambda: any(
            s.startswith("notification: Read 11 of 11") for s in reader.spoken[start:]))
        assert fields[6].queryText().getText(0, -1) != "", "Time Light was read"

        fields[6].queryEditableText().setTextContents("00009")
        start = len(reader.spoken)
        press(find("push button", "Write"))
        alert = reader.wait_for("the box of the failed Write", lambda: next(
            (n for n in (app.getChildAtIndex(i) for i in range(app.childCount))
             if n is not None and n.getRoleName() == "alert"), None))
        text = alert_text(alert)
        assert "Time Light" in text and "00009" in text, text
        reader.pump(0.5)
        assert any(s.startswith("alert: ") for s in reader.spoken[start:]), reader.spoken[start:]
        ok = [n for n in descendants(alert) if n.getRoleName() == "push button"]
        assert [n.name for n in ok] == ["OK"], [n.name for n in ok]
        press(ok[0])
        reader.wait_for("the result of the Write", lambda: any(
            s.startswith("notification: ") and "Writ" in s for s in reader.spoken[start:]))

        print("What a screen reader is given to speak, in order:")
        for spoken in reader.spoken:
            print("  " + spoken)
        return 0
    finally:
        for child in reversed(children):
            child.send_signal(signal.SIGTERM)
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                child.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
