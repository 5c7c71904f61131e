#!/usr/bin/python3
"""The assignment editor on a real X display, through the accessibility bus and real key
presses, inside a private desktop (tools/testing/desktop.py run):

    desktop.py run -- /usr/bin/python3 edit_desktop_test.py PATH/TO/vantrel_edit_demo
"""

import os
import plistlib
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "tools", "testing"))

import a11y  # noqa: E402

DEMO = None
APP = "vantrel_edit_demo"


class Editor:
    """The demo program showing the editor for one button; its output once the dialog ends."""

    def __init__(self, code, device=0, button=2, lang="en_US.UTF-8", args=None, profile=None):
        env = dict(os.environ, LANG=lang, LC_ALL="", VANTREL_DEMO_PROFILE=profile or "")
        self.proc = subprocess.Popen([DEMO, *(args or [str(code), str(device), str(button)])],
                                     stdout=subprocess.PIPE, env=env)
        self.app = a11y.wait_for_app(APP)
        self.dialog = a11y.wait_until(lambda: a11y.windows(self.app), what="the editor's window")[0]
        a11y.activate_window(self.dialog.get_name())

    def find(self, role, name):
        return a11y.find_one(self.app, role=role, name=name)

    def finish(self):
        """The stored button dictionary (None when cancelled) and the snippets array."""
        out, _ = self.proc.communicate(timeout=20)
        parts = out.split(b"<?xml")
        documents = [plistlib.loads(b"<?xml" + p) for p in parts[1:]]
        if out.startswith(b"cancelled"):
            return None, documents[0]
        return documents[0], documents[1]

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()


class EditorOnTheDesktop(unittest.TestCase):
    def start(self, *args, **kw):
        editor = Editor(*args, **kw)
        self.addCleanup(editor.close)
        return editor

    def test_every_control_is_named_and_reached_by_tab(self):
        editor = self.start(10)
        self.assertEqual(a11y.audit(editor.app), [])
        order = [(o.get_role_name(), o.get_name()) for o in a11y.tab_order(editor.app)]
        self.assertEqual(order, [
            ("list item", "Keystrokes and editing"), ("list item", "Keystroke"),
            ("text", "Label"), ("text", "Keystroke"),
            ("check box", "Keystroke: Control"), ("check box", "Keystroke: Option"),
            ("check box", "Keystroke: Command"), ("check box", "Keystroke: Shift"),
            ("push button", "Cancel"), ("push button", "OK")])

    def test_keystroke_typed_on_the_keyboard_is_stored(self):
        editor = self.start(10)
        field = editor.find("text", "Keystroke")
        a11y.focus(field)
        a11y.key("super+shift+k")
        a11y.wait_until(lambda: a11y.text(field) == "⌘⇧K", what="the keystroke's name")
        a11y.key("Tab")  # leaves the field, is not recorded
        a11y.wait_until(lambda: a11y.focused(editor.app).get_name() != "Keystroke",
                        what="the focus to leave the field")
        a11y.press(editor.find("push button", "OK"))
        button, _ = editor.finish()
        self.assertEqual((button["cmd"], button["key"], button["mod"]), (10, 40, 0x0300))

    def test_click_modifiers_label_and_cancel(self):
        editor = self.start(2)
        a11y.toggle(editor.find("check box", "Click: Option"))  # the demo starts with Option
        a11y.toggle(editor.find("check box", "Click: Command"))  # and Control
        label = editor.find("text", "Label")
        a11y.focus(label)
        a11y.type_text("Back")
        a11y.press(editor.find("push button", "OK"))
        button, _ = editor.finish()
        self.assertEqual(button["mod"], 0x1100)
        self.assertEqual(button["label"], "Back")

        editor = self.start(183, lang="de_DE.UTF-8")
        self.assertEqual(editor.dialog.get_name(), "Aktion zuweisen")
        text = editor.find("text", "Text des Textbausteins")
        a11y.focus(text)
        a11y.type_text("Bis bald")
        a11y.press(editor.find("push button", "Abbrechen"))
        button, snippets = editor.finish()
        self.assertIsNone(button)
        self.assertEqual(snippets[3]["text"], "Bis bald")  # the snippet edit stays

    def test_editor_item_of_a_popup_edits_its_button(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        saved = os.path.join(folder.name, "profile.plist")
        page = self.start(None, args=["--menus", "0"], profile=saved)
        self.assertEqual(a11y.audit(page.app), [])
        # A screen reader reads the pop-up by its label and its current item.
        chord = a11y.find_one(page.app, role="combo box", label="Chord 1:")
        self.assertEqual(a11y.name(chord), "Type ⌘⇧K")
        a11y.choose(chord, "Other Action…")
        a11y.activate_window("Assign an Action")
        commands = page.find("list", "Actions")
        a11y.wait_until(lambda: any("selected" in a11y.states(i) and a11y.name(i) == "Keystroke"
                                    for i in a11y.children(commands)), what="the keystroke row")
        field = page.find("text", "Keystroke")
        a11y.focus(field)
        a11y.key("ctrl+alt+Left")
        a11y.wait_until(lambda: a11y.text(field) == "⌃⌥←", what="the new keystroke")
        a11y.press(page.find("push button", "OK"))
        a11y.wait_until(lambda: a11y.name(chord) == "Type ⌃⌥←",
                        what="the pop-up showing the new keystroke")
        with open(saved, "rb") as f:
            chord1 = plistlib.load(f)["buttons"]["08"]
        self.assertEqual((chord1["cmd"], chord1["key"], chord1["mod"]), (10, 123, 0x1800))


if __name__ == "__main__":
    DEMO = sys.argv.pop(1)
    unittest.main()
