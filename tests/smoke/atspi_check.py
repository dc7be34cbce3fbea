#!/usr/bin/python3
"""What a screen reader meets, through the real accessibility bus.

Starts the program, finds its window on the AT-SPI bus and checks that it is
announced as a dialog (or frame) named "Velmora". Then ticks "Home" through its
accessibility action, which must run the rules like a click ("Show menus tabs
on the left of home tab" is cleared), and presses Cancel the same way.
Run inside dbus-run-session, with DISPLAY set. Usage: atspi_check.py PROGRAM
"""
import os
import subprocess
import sys
import time

import pyatspi

LEFT = "Show menus tabs on the left of home tab"

program = sys.argv[1]
# Qt joins the accessibility bus once assistive technology is announced; this
# says so without a screen reader's settings daemon.
env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
process = subprocess.Popen([program], env=env)


def fail(message):
    process.kill()
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = probe()
        except Exception:  # the bus or the tree is still coming up
            found = None
        if found:
            return found
        if process.poll() is not None:
            fail("the program ended (status %d) while waiting for %s" % (process.returncode, what))
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def find(node, role, name):
    for child in children(node):
        if child is None:
            continue
        if child.getRole() == role and child.name == name:
            return child
        hit = find(child, role, name)
        if hit:
            return hit
    return None


def ticked(box):
    return box.getState().contains(pyatspi.STATE_CHECKED)


def act(node, action):
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        fail("%s offers %s, not %s" % (node.name, names, action))
    actions.doAction(names.index(action))


def application():
    for app in children(pyatspi.Registry.getDesktop(0)):
        if app is not None and app.get_process_id() == process.pid and app.childCount > 0:
            return app
    return None


app = wait_for("the program on the accessibility bus", application)
window = wait_for("its window", lambda: children(app)[0])
if window.getRole() not in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME):
    fail("the window is announced as %s, not as a dialog" % window.getRoleName())
if window.name != "Velmora":
    fail("the window is named %r, not 'Velmora'" % window.name)
announced = window.getRoleName()

home = find(window, pyatspi.ROLE_CHECK_BOX, "Home")
left = find(window, pyatspi.ROLE_CHECK_BOX, LEFT)
if home is None or left is None:
    fail("the Home or the Left box is not on the bus")
if ticked(home) or not ticked(left):
    fail("a first start should show Left ticked and Home clear")
act(home, "Toggle")
wait_for("Home ticked and Left cleared", lambda: ticked(home) and not ticked(left))

act(find(window, pyatspi.ROLE_PUSH_BUTTON, "Cancel"), "Press")
try:
    status = process.wait(30)
except subprocess.TimeoutExpired:
    fail("Cancel did not end the program")
if status != 0:
    fail("exit status %d after Cancel" % status)
print("a %s named Velmora; Home toggled, Left cleared" % announced)
