# A screen reader's view of one program, for the desktop tests, over the AT-SPI bus of the
# D-Bus session it runs in:
#
#   /usr/bin/python3 -c "$(cat atspi-probe.py)" PID
#
# Each line "tree" read on standard input prints the program's accessible objects (menus left
# out), one line each, then "end":
#   node <TAB> depth <TAB> role <TAB> name <TAB> text
# where text is what the text interface gives (empty without one).
# A line "listen" starts the announcements: from then on what the program announces is printed as
# it comes, after a line "listening":
#   event <TAB> type <TAB> role <TAB> name <TAB> text
# Asked for once the program answers: a program learns of a new listener from the registry's
# notice, and one that is still starting its bridge when the listener comes can miss that
# notice and stay silent.
# Tabs and line breaks inside values are written as spaces. Ends when standard input closes.
import sys

import pyatspi
from gi.repository import GLib

pid = int(sys.argv[1])


def flat(value):
    return (value or "").replace("\t", " ").replace("\n", " ")


def text_of(accessible):
    try:
        text = accessible.queryText()
        return text.getText(0, text.characterCount)
    except Exception:
        return ""


def describe(accessible):
    return "\t".join([accessible.getRoleName(), flat(accessible.name), flat(text_of(accessible))])


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def walk(accessible, depth, out):
    if accessible is None or depth > 40:
        return
    # An object that fails to answer (gone, or busy) is listed as such, and the look goes on
    # with its siblings: one such object must not hide the rest of the window.
    try:
        # What the program answers now: the library keeps what it read of each object (a name
        # among it) and clearing the application's cache does not reach the objects below it,
        # so each object's is cleared as the walk reaches it.
        accessible.clear_cache()
        role = accessible.getRole()
        if role in (pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU):
            return
        out.append("node\t%d\t%s" % (depth, describe(accessible)))
        # A list's items (every font of the machine in the font box) are not read: hundreds of
        # calls over the bus at each look would outlast the tests' patience on a busy machine.
        if role == pyatspi.ROLE_LIST:
            return
        count = accessible.childCount
    except Exception as error:
        out.append("node\t%d\terror\t%s\t" % (depth, flat(str(error))))
        return
    for i in range(count):
        try:
            child = accessible.getChildAtIndex(i)
        except Exception as error:
            out.append("node\t%d\terror\t%s\t" % (depth + 1, flat(str(error))))
            continue
        walk(child, depth + 1, out)


def on_event(event):
    source = event.source
    try:
        if source is None or source.get_process_id() != pid:
            return
        print("event\t%s\t%s" % (event.type, describe(source)), flush=True)
    except Exception:
        pass


def on_input(channel, condition):
    line = sys.stdin.readline()
    if not line:
        pyatspi.Registry.stop()
        return False
    if line.strip() == "tree":
        out = []
        try:
            walk(program(), 0, out)
        except Exception as error:
            out.append("error\t%s" % flat(str(error)))
        print("\n".join(out + ["end"]), flush=True)
    elif line.strip() == "listen":
        pyatspi.Registry.registerEventListener(
            on_event, "object:text-changed:insert", "object:property-change:accessible-name")
        print("listening", flush=True)
    return True


GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, on_input)
print("ready", flush=True)
pyatspi.Registry.start()
