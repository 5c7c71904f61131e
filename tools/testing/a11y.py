#!/usr/bin/python3
"""Drives and checks a program through the AT-SPI accessibility bus, as assistive technology does.

Module (import it from /usr/bin/python3, which has python3-gi):

    import a11y
    app = a11y.wait_for_app("vantrel-a11y-probe")
    ok = a11y.find_one(app, role="push button", name="Apply")
    a11y.press(ok)
    a11y.wait_until(lambda: a11y.find(app, role="label", name="Last: pressed Apply 1"))

Command line (inside a private desktop, see desktop.py; APP is the application's accessible
name, by default its program name):

    a11y.py wait APP [--timeout S]
    a11y.py tree APP [--json]
    a11y.py find APP [--role R] [--name N] [--label L] [--json]
    a11y.py press|toggle|focus APP --role R --name N
    a11y.py choose APP --label COMBO-LABEL ITEM
    a11y.py set-value APP --role slider --name N VALUE
    a11y.py set-text APP --role text --name N TEXT
    a11y.py type APP --role text --name N TEXT   focus the field, then real key events (xdotool)
    a11y.py key KEYS...                      real key events, xdotool names (ctrl+s, Tab)
    a11y.py tab-order APP [--steps N]        focus order by real Tab presses
    a11y.py audit APP                        controls without an accessible name (status 1 if any)

Roles are AT-SPI role names as libatspi spells them: "push button", "check box", "combo box",
"slider", "text", "page tab", "dialog", "label". Names match exactly; a name starting with "~"
is a regular expression searched for in the name. --label matches the name of the object's
label (its buddy QLabel: the labelled-by relation), the way to find a combo box, whose name is
its current text.

Nothing is cached between calls: every question goes to the application, so what a test reads
is what the program shows at that moment.
"""

import argparse
import json
import re
import signal
import subprocess
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

DEFAULT_TIMEOUT = 10.0

# Roles of controls that a user operates; each needs a name that says what it does.
CONTROL_ROLES = {
    "push button", "toggle button", "check box", "radio button", "combo box", "slider",
    "spin button", "text", "password text", "entry", "page tab", "menu item",
    "check menu item", "radio menu item", "link", "list item", "table cell", "tree item",
    "dial", "icon",
}
# Roles that only group; a focusable one counts as a control only when nothing inside it is one
# (a widget that draws itself, not a tab widget that hands its focus on to its tab bar).
CONTAINER_ROLES = {
    "filler", "panel", "layered pane", "scroll pane", "viewport", "frame", "window", "dialog",
    "application", "page tab list", "tool bar", "menu bar", "status bar", "split pane",
    "internal frame", "section", "form", "grouping", "list", "table", "tree", "tree table",
    "menu", "popup menu",
}
# Never asked for a name: text shown to the user, and scroll bars (read by their orientation).
NEVER_CONTROLS = {"label", "static", "scroll bar", "separator", "heading", "paragraph", "image"}


class A11yError(RuntimeError):
    pass


# -- reading -------------------------------------------------------------------------------
def _fresh(acc):
    """Drops what libatspi remembers of the object, so the next question asks the program."""
    try:
        acc.clear_cache()
    except Exception:
        pass
    return acc


def applications():
    """The applications registered on the accessibility bus."""
    return children(Atspi.get_desktop(0))


def app_named(name):
    for a in applications():
        try:
            if a.get_name() == name:
                return a
        except gi.repository.GLib.Error:
            continue
    return None


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, interval=0.02, what="condition"):
    """Calls predicate until it gives something true; returns that, or raises A11yError."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = predicate()
            if result:
                return result
        except gi.repository.GLib.Error as e:  # an object went away while being read
            last_error = e
        if time.monotonic() >= deadline:
            detail = f" ({last_error.message})" if last_error else ""
            raise A11yError(f"timed out after {timeout:.1f}s waiting for {what}{detail}")
        time.sleep(interval)


def wait_for_app(name, timeout=DEFAULT_TIMEOUT):
    """The application's accessible root, once it is registered and shows a window."""
    def ready():
        app = app_named(name)
        if app is None:
            return None
        for w in children(app):
            if "showing" in states(w):
                return app
        return None
    return wait_until(ready, timeout, what=f"application {name!r} with a window")


def children(acc):
    _fresh(acc)
    out = []
    for i in range(acc.get_child_count()):
        c = acc.get_child_at_index(i)
        if c is not None:
            out.append(c)
    return out


def walk(acc):
    """acc and everything below it, in tree order."""
    stack = [acc]
    while stack:
        a = stack.pop()
        yield a
        stack.extend(reversed(children(a)))


def role(acc):
    return acc.get_role_name()


def name(acc):
    return acc.get_name() or ""


def states(acc):
    return {Atspi.StateType(s).value_nick for s in acc.get_state_set().get_states()}


def interfaces(acc):
    return set(acc.get_interfaces())


def actions(acc):
    if "Action" not in interfaces(acc):
        return []
    with warnings.catch_warnings():  # libatspi 2.46 calls get_action_name deprecated, with no
        warnings.simplefilter("ignore", DeprecationWarning)  # replacement in its bindings
        return [Atspi.Action.get_action_name(acc, i) for i in range(Atspi.Action.get_n_actions(acc))]


def value(acc):
    if "Value" not in interfaces(acc):
        return None
    return {"current": Atspi.Value.get_current_value(acc),
            "minimum": Atspi.Value.get_minimum_value(acc),
            "maximum": Atspi.Value.get_maximum_value(acc),
            "step": Atspi.Value.get_minimum_increment(acc)}


def text(acc):
    if "Text" not in interfaces(acc):
        return None
    return Atspi.Text.get_text(acc, 0, Atspi.Text.get_character_count(acc))


def extents(acc):
    if "Component" not in interfaces(acc):
        return None
    r = Atspi.Component.get_extents(acc, Atspi.CoordType.SCREEN)
    return {"x": r.x, "y": r.y, "width": r.width, "height": r.height}


def labels(acc):
    """Names of the objects that label this one (the labelled-by relation: a QLabel buddy)."""
    out = []
    for r in acc.get_relation_set():
        if r.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            out.extend(r.get_target(i).get_name() or "" for i in range(r.get_n_targets()))
    return out


def describe(acc):
    """A plain dictionary of what assistive technology learns about one object."""
    d = {"role": role(acc), "name": name(acc), "description": acc.get_description() or "",
         "states": sorted(states(acc)), "actions": actions(acc)}
    lab = labels(acc)
    if lab:
        d["labelled_by"] = lab
    v = value(acc)
    if v is not None:
        d["value"] = v
    t = text(acc)
    if t is not None:
        d["text"] = t
    return d


def tree(acc):
    """describe() of acc with its children, recursively."""
    d = describe(acc)
    d["children"] = [tree(c) for c in children(acc)]
    return d


def format_tree(node, depth=0):
    parts = [f"{'  ' * depth}[{node['role']}] {node['name']!r}"]
    if node["description"]:
        parts.append(f"desc={node['description']!r}")
    if node.get("labelled_by"):
        parts.append(f"label={' / '.join(node['labelled_by'])!r}")
    if node["states"]:
        parts.append("{" + ",".join(node["states"]) + "}")
    if node["actions"]:
        parts.append("actions=" + ",".join(node["actions"]))
    if "value" in node:
        v = node["value"]
        parts.append(f"value={v['current']:g} ({v['minimum']:g}..{v['maximum']:g})")
    if "text" in node:
        parts.append(f"text={node['text']!r}")
    lines = [" ".join(parts)]
    for c in node["children"]:
        lines.extend(format_tree(c, depth + 1))
    return lines


def _name_matches(actual, wanted):
    if wanted is None:
        return True
    if wanted.startswith("~"):
        return re.search(wanted[1:], actual) is not None
    return actual == wanted


def find(root, role=None, name=None, state=None, label=None):
    """Every object below root (root included) with that role, name, state and label (the
    name of an object that labels it)."""
    found = []
    for a in walk(root):
        try:
            if role is not None and a.get_role_name() != role:
                continue
            if not _name_matches(a.get_name() or "", name):
                continue
            if state is not None and state not in states(a):
                continue
            if label is not None and not any(_name_matches(t, label) for t in labels(a)):
                continue
            found.append(a)
        except gi.repository.GLib.Error:
            continue
    return found


def find_one(root, role=None, name=None, state=None, label=None, timeout=DEFAULT_TIMEOUT):
    """The one object that matches; waits for it to appear; raises when several match."""
    what = f"[{role or '*'}] {name!r}" + (f" labelled {label!r}" if label else "")
    hits = wait_until(lambda: find(root, role, name, state, label), timeout, what=what)
    if len(hits) > 1:
        raise A11yError(f"{len(hits)} objects match {what}")
    return hits[0]


def path_of(acc):
    """'frame "Title" > push button "OK"': where an object sits, for messages."""
    parts = []
    a = acc
    while a is not None and a.get_role_name() != "application":
        parts.append(f'{a.get_role_name()} "{a.get_name() or ""}"')
        a = a.get_parent()
    return " > ".join(reversed(parts))


# -- doing ---------------------------------------------------------------------------------
def do_action(acc, *names):
    """Runs the first of the named actions the object offers (names compared without case)."""
    offered = actions(acc)
    lowered = [n.lower() for n in offered]
    for n in names:
        if n.lower() in lowered:
            if not Atspi.Action.do_action(acc, lowered.index(n.lower())):
                raise A11yError(f"{path_of(acc)}: action {n} refused")
            return n
    raise A11yError(f"{path_of(acc)} offers none of {names} (has {offered})")


def press(acc):
    return do_action(acc, "Press", "click", "activate")


def toggle(acc):
    return do_action(acc, "Toggle", "Press", "click")


def focus(acc):
    """Gives the object the keyboard focus (Component.grab_focus). Qt 6.4 grants it only to
    objects that offer the SetFocus action: not to combo boxes, tabs or windows."""
    if "Component" in interfaces(acc) and Atspi.Component.grab_focus(acc):
        return
    raise A11yError(f"{path_of(acc)} cannot be given the focus (actions: {actions(acc)})")


def set_value(acc, number):
    if "Value" not in interfaces(acc):
        raise A11yError(f"{path_of(acc)} has no value")
    if not Atspi.Value.set_current_value(acc, float(number)):
        raise A11yError(f"{path_of(acc)} refused the value {number}")


def set_text(acc, new_text):
    """Replaces the text through EditableText (no key events)."""
    if "EditableText" not in interfaces(acc):
        raise A11yError(f"{path_of(acc)} is not editable text")
    if not Atspi.EditableText.set_text_contents(acc, new_text):
        raise A11yError(f"{path_of(acc)} refused the text")


def combo_items(combo):
    """The combo box's items: the list items of the list inside it."""
    for c in children(combo):
        if c.get_role_name() in ("list", "menu"):
            return [i for i in children(c) if i.get_role_name() in ("list item", "menu item")]
    return []


def choose(combo, item_name, timeout=DEFAULT_TIMEOUT):
    """Makes item_name the combo box's current item as a user does: opens its pop-up list
    (ShowMenu), moves to the item with real arrow keys and takes it with Return, so the
    program sees one change. (Qt's Toggle action on a list item only marks it selected; the
    combo box does not take it.)"""
    if combo.get_name() == item_name:
        return
    names = [i.get_name() for i in combo_items(combo)]
    if item_name not in names:
        raise A11yError(f"{path_of(combo)} has no item {item_name!r} (has {names})")
    do_action(combo, "ShowMenu")

    def highlighted():
        items = combo_items(combo)
        for n, item in enumerate(items):
            if "focused" in states(item):
                return n + 1  # 1-based, so that the first item counts as true
        return None
    at = wait_until(highlighted, timeout, what=f"the pop-up list of {path_of(combo)}") - 1
    target = names.index(item_name)
    steps = ["Down"] * (target - at) if target >= at else ["Up"] * (at - target)
    key(*steps, "Return")
    wait_until(lambda: combo.get_name() == item_name, timeout,
               what=f"combo box showing {item_name!r}")


# -- real key events -----------------------------------------------------------------------
def key(*keys, delay_ms=12):
    """Real key presses through the X server (XTEST, xdotool names: Tab, shift+Tab, ctrl+s)."""
    subprocess.run(["xdotool", "key", "--delay", str(delay_ms), *keys], check=True)


def type_text(chars, delay_ms=12):
    """Types the characters as real key presses into whatever has the keyboard focus."""
    subprocess.run(["xdotool", "type", "--delay", str(delay_ms), chars], check=True)


def windows(app):
    """The application's top-level windows (main windows, dialogs) that are showing."""
    return [w for w in children(app) if "showing" in states(w)]


def activate_window(title, timeout=DEFAULT_TIMEOUT):
    """Gives the X keyboard focus to the window with this title (its accessible name); Qt then
    restores the focus inside it. Without a window manager nobody does this after a dialog
    closes, and key presses would go nowhere."""
    pattern = "^" + re.escape(title) + "$"
    def window_id():
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                             capture_output=True, text=True).stdout.split()
        return out[-1] if out else None
    wid = wait_until(window_id, timeout, what=f"an X window named {title!r}")
    subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)


def focused(app):
    """The object of the application that has the keyboard focus, or None.

    Qt 6.4 reports more than that one as focused: the current tab of a tab bar even while the
    focus is elsewhere (so an object whose parent can take the focus but does not have it is
    not counted), and the unnamed inner parts a widget hands its focus to (a text edit's
    viewport: a container whose parent is focused stands for its parent)."""
    hits = []
    for a in walk(app):
        try:
            if "focused" not in states(a):
                continue
            parent = a.get_parent()
            if parent is not None:
                ps = states(parent)
                if "focusable" in ps and "focused" not in ps:
                    continue
                if "focused" in ps and a.get_role_name() in CONTAINER_ROLES:
                    continue
            hits.append(a)
        except gi.repository.GLib.Error:
            continue
    return hits[-1] if hits else None


def tab_order(app, steps=None, settle=3.0):
    """Presses Tab until the focus comes back to where it started (or `steps` times) and
    returns the objects that had the focus, starting with the one before the first Tab."""
    start = wait_until(lambda: focused(app), settle, what="a focused object")
    order = [start]
    for _ in range(steps if steps is not None else 200):
        before = order[-1].path  # an object's path on the bus says which one it is
        key("Tab")
        # The focus moves as the program handles the key; wait for it to settle.
        now = wait_until(lambda: _moved(app, before), settle, what="the focus to move after Tab")
        if steps is None and now.path == start.path:
            break
        order.append(now)
    return order


def _moved(app, before_path):
    now = focused(app)
    if now is not None and now.path != before_path:
        return now
    return None


def audit(app):
    """Every control of the application's windows that has no accessible name, hidden pages
    included, as a list of (path, describe()). A control is an object of CONTROL_ROLES, an
    object of another role (not a container) that takes the focus or offers an action, or a
    focusable container with no control inside it (something drawn by itself). A combo box
    needs a label (labelled-by): Qt names it by its current text, whatever it was given."""
    problems = []

    def visit(acc):  # whether acc or anything below it is a control
        inner = [visit(k) for k in children(acc)]
        r = acc.get_role_name()
        if r in NEVER_CONTROLS:
            control = False
        elif r in CONTROL_ROLES:
            control = True
        elif r in CONTAINER_ROLES:
            control = "focusable" in states(acc) and not any(inner)
        else:
            control = "focusable" in states(acc) or any(a != "SetFocus" for a in actions(acc))
        if control:
            named = any(t.strip() for t in labels(acc))
            if r != "combo box":
                named = named or bool((acc.get_name() or "").strip())
            if not named:
                problems.append((path_of(acc), describe(acc)))
        return control or any(inner)

    for window in children(app):
        visit(window)
    return problems


# -- command line --------------------------------------------------------------------------
def _target(app, args):
    return find_one(app, role=args.role, name=args.name, label=args.label, timeout=args.timeout)


def main(argv=None):
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # `a11y.py tree APP | head` ends quietly
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--timeout", type=float, default=DEFAULT_TIMEOUT)
    sub = parser.add_subparsers(dest="what", required=True)

    def with_app(p):
        p.add_argument("app")
        return p

    def with_target(p, role_required=False):
        with_app(p)
        p.add_argument("--role", required=role_required)
        p.add_argument("--name")
        p.add_argument("--label", help="name of the label (buddy) of the object")
        return p

    with_app(sub.add_parser("wait"))
    t = with_app(sub.add_parser("tree"))
    t.add_argument("--json", action="store_true")
    f = with_target(sub.add_parser("find"))
    f.add_argument("--json", action="store_true")
    for verb in ("press", "toggle", "focus"):
        with_target(sub.add_parser(verb))
    c = with_target(sub.add_parser("choose"))
    c.add_argument("item")
    v = with_target(sub.add_parser("set-value"))
    v.add_argument("value", type=float)
    s = with_target(sub.add_parser("set-text"))
    s.add_argument("text")
    ty = with_target(sub.add_parser("type"))
    ty.add_argument("text")
    k = sub.add_parser("key")
    k.add_argument("keys", nargs="+")
    o = with_app(sub.add_parser("tab-order"))
    o.add_argument("--steps", type=int)
    with_app(sub.add_parser("audit"))
    args = parser.parse_args(argv)

    try:
        if args.what == "key":
            key(*args.keys)
            return 0
        app = wait_for_app(args.app, args.timeout)
        if args.what == "wait":
            print(app.get_name())
        elif args.what == "tree":
            t = tree(app)
            print(json.dumps(t, indent=1) if args.json else "\n".join(format_tree(t)))
        elif args.what == "find":
            hits = find(app, args.role, args.name, label=args.label)
            if args.json:
                print(json.dumps([dict(describe(h), path=path_of(h)) for h in hits], indent=1))
            else:
                for h in hits:
                    print(path_of(h))
            return 0 if hits else 1
        elif args.what == "press":
            press(_target(app, args))
        elif args.what == "toggle":
            toggle(_target(app, args))
        elif args.what == "focus":
            focus(_target(app, args))
        elif args.what == "choose":
            choose(find_one(app, role=args.role or "combo box", name=args.name, label=args.label,
                            timeout=args.timeout), args.item, args.timeout)
        elif args.what == "set-value":
            set_value(_target(app, args), args.value)
        elif args.what == "set-text":
            set_text(_target(app, args), args.text)
        elif args.what == "type":
            target = _target(app, args)
            focus(target)
            wait_until(lambda: "focused" in states(target), args.timeout, what="the field's focus")
            type_text(args.text)
        elif args.what == "tab-order":
            for acc in tab_order(app, args.steps):
                print(path_of(acc))
        elif args.what == "audit":
            problems = audit(app)
            for path, d in problems:
                print(f"no accessible name: {path} ({', '.join(d['actions']) or 'focusable'})")
            print(f"{len(problems)} unnamed control(s)")
            return 1 if problems else 0
    except A11yError as e:
        print(f"a11y.py: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
