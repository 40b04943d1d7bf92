"""The parameters dialog, driven with the mouse and the keyboard."""

import unittest

import harness
from harness import (BS_DEFPUSHBUTTON, BS_LEFTTEXT, BS_TYPEMASK, BS_AUTOCHECKBOX, BS_CHECKBOX, CBS_DROPDOWN,
                     CBS_TYPEMASK, DRIVE, SS_ICON, SS_TYPEMASK, WS_BORDER, WS_CAPTION,
                     WS_EX_CLIENTEDGE, WS_EX_STATICEDGE, WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU,
                     WS_THICKFRAME, BenchCase, DialogView, holds_for, wait_for)


def setUpModule():
    harness.start_bench("dialog")


def tearDownModule():
    harness.stop_bench()


# Left, top, width, height at 96 DPI, relative to the client area, or to
# the button panel for the four buttons. The names are the C++ dialog's
# parts (DialogPart).
LAYOUT = {
    "UserLabel": (10, 20, 42, 16), "PasswordLabel": (10, 50, 60, 16), "DriveLabel": (10, 88, 34, 16),
    "UserField": (90, 17, 263, 24), "PasswordField": (90, 47, 135, 24), "DriveField": (90, 85, 71, 24),
    "AutoRunBox": (192, 89, 161, 17), "AutoConnectBox": (192, 112, 161, 17),
    "ButtonPanel": (0, 151, 379, 41),
}
PANEL_LAYOUT = {"ConnectButton": (52, 8, 75, 25), "ApplyButton": (134, 8, 75, 25),
                "SaveButton": (215, 8, 75, 25), "CancelButton": (296, 8, 75, 25)}
CLIENT = (379, 192)
TAB_ORDER = ["SaveButton", "ApplyButton", "ConnectButton", "CancelButton", "UserField", "PasswordField",
             "DriveField", "AutoRunBox", "AutoConnectBox"]
TEXTS = {"UserLabel": "Utente:", "PasswordLabel": "Password:", "DriveLabel": "Drive:",
         "ConnectButton": "Connetti", "ApplyButton": "Applica", "SaveButton": "Salva", "CancelButton": "Annulla",
         "AutoRunBox": "Esecuzione automatica", "AutoConnectBox": "Connessione automatica"}


def expected_layout(scale):
    """Every control's rectangle relative to the dialog's client area."""
    rects = {name: tuple(v * scale for v in rect) for name, rect in LAYOUT.items()}
    px, py = LAYOUT["ButtonPanel"][:2]
    for name, (x, y, w, h) in PANEL_LAYOUT.items():
        rects[name] = ((px + x) * scale, (py + y) * scale, w * scale, h * scale)
    return rects


def check_layout(case, view, window, screen, scale):
    """The layout table, the frame and the centring; `scale` is DPI / 96.
    Positions may differ from the scaled figures by the rounding, within
    a pixel."""
    tolerance = 0 if scale == 1 else 1
    problems = []
    expected = expected_layout(scale)
    fields_left = expected["UserField"][0]
    drive_right = expected["DriveField"][0] + expected["DriveField"][2]
    for name, rect in expected.items():
        got = view.client_rect(name)
        near = [abs(g - e) <= tolerance for g, e in zip(got, rect)]
        if name.endswith("Label"):
            # A caption wider in this system's font than the layout allowed
            # for widens its label to the right, short of the fields.
            near[2] = got[2] >= rect[2] - tolerance and got[0] + got[2] < fields_left
        elif name in ("AutoRunBox", "AutoConnectBox"):
            # ... and its check box to the left, past the drive field, the
            # square staying at the right edge.
            right, want_right = got[0] + got[2], rect[0] + rect[2]
            near[0] = drive_right < got[0] <= rect[0] + tolerance
            near[2] = abs(right - want_right) <= tolerance
        if not all(near):
            problems.append(f"{name}: {got}, expected {tuple(round(v, 1) for v in rect)}")
    l, t, r, b = window["client"]
    for got, want, what in ((r - l, CLIENT[0] * scale, "client width"), (b - t, CLIENT[1] * scale, "client height")):
        if abs(got - want) > tolerance:
            problems.append(f"{what}: {got}, expected {want}")
    case.assertEqual(problems, [], "layout")

    # Centred on the whole desktop.
    vx, vy, vw, vh = screen["virtual"]
    wl, wt, wr, wb = window["rect"]
    case.assertLessEqual(abs(wl - (vx + (vw - (wr - wl)) / 2)), 1, f"window {window['rect']} on {screen['virtual']}")
    case.assertLessEqual(abs(wt - (vy + (vh - (wb - wt)) / 2)), 1, f"window {window['rect']} on {screen['virtual']}")
    case.assertTrue(wl >= vx and wt >= vy)


class Libraries(BenchCase):
    DIALOG_ONLY = {"comctl32.dll", "dwmapi.dll"}

    def loaded(self, program):
        return {m.lower() for m in self.bench.probe.ask("modules", program.pid)["modules"]}

    def test_common_controls_and_dwmapi_come_with_the_first_opening(self):
        b = self.bench
        program = b.start_program()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        program.wait_idle()
        before = self.loaded(program)
        # The snapshot is of the program itself, not an empty or foreign list.
        self.assertIn(program.exe_name.lower(), before)
        self.assertIn("user32.dll", before)
        self.assertEqual(self.DIALOG_ONLY & before, set(), "loaded by the tray before the dialog was opened")

        view = b.open_dialog(program)
        window = b.dialog_window(program)
        b.wait_drawn(window["rect"], "the dialog")
        b.screenshot("dialog-first-opening", crop=window["rect"])
        self.assertEqual(self.DIALOG_ONLY - self.loaded(program), set(), "missing once the dialog is open")
        self.assertEqual(view.text("SaveButton"), "Salva")
        self.assertEqual(view.focus(), "SaveButton")


class Layout(BenchCase):
    def test_first_opening_layout_texts_focus_and_tab_order(self):
        b = self.bench
        program = b.start_program()
        view = b.open_dialog(program)
        window = b.dialog_window(program)
        # Each group is checked even when an earlier one fails.
        with self.subTest("frame and layout"):
            self.assertEqual(window["title"], "Parametri di connessione")
            style = window["style"]
            self.assertEqual(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU)
            self.assertEqual(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0, "only the close button")
            self.assertTrue(window["taskbar"], "the open dialog has its own taskbar button")
            self.assertEqual([w["class"] for w in program.windows() if w["taskbar"]], ["TfmDrive"])
            b.wait_drawn(window["rect"], "the dialog")
            b.screenshot("dialog-96dpi", crop=window["rect"])
            check_layout(self, view, window, b.probe.ask("screen"), 1)

        with self.subTest("controls"):
            for name, text in TEXTS.items():
                self.assertEqual(view.text(name), text, name)
            self.assertEqual(view.text("UserField"), "")
            self.assertEqual(view.text("DriveField"), "")
            self.assertEqual(view["PasswordField"]["password_char"], ord("*"))
            self.assertEqual(view["DriveField"]["style"] & CBS_TYPEMASK, CBS_DROPDOWN, "editable combo with a list")
            self.assertEqual(view["DriveField"]["items"], [chr(c) + ":" for c in range(ord("A"), ord("Z") + 1)])
            for name in ("AutoRunBox", "AutoConnectBox"):
                control = view[name]
                self.assertIn(control["style"] & BS_TYPEMASK, (BS_CHECKBOX, BS_AUTOCHECKBOX), name)
                self.assertTrue(control["style"] & BS_LEFTTEXT, f"{name}: caption left of the box")
                self.assertFalse(view.checked(name), name)
            for name in ("ConnectButton", "ApplyButton", "SaveButton", "CancelButton"):
                self.assertNotEqual(view[name]["style"] & BS_TYPEMASK, BS_DEFPUSHBUTTON, f"{name} is a default button")
                self.assertEqual(view[name]["parent"], view["ButtonPanel"]["hwnd"], f"{name} lies in ButtonPanel")
            panel = view["ButtonPanel"]
            self.assertFalse(panel["style"] & WS_BORDER or panel["exstyle"] & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE),
                             "ButtonPanel has no border")

        with self.subTest("focus and tab order"):
            # Focus starts on "Salva"; Tab walks the order and comes back;
            # the dialog manager's own walk agrees with the keys.
            self.assertEqual(view.focus(), "SaveButton")
            walk = b.probe.ask("tab", view.hwnd, view["SaveButton"]["hwnd"], "next")["tab"]
            self.assertEqual([view.name_of(h) for h in walk], TAB_ORDER[1:] + ["SaveButton"])
            seen = []
            for _ in TAB_ORDER:
                b.keys_to(view, "Tab")
                seen.append(self.focus_moved(view, seen[-1] if seen else "SaveButton"))
            self.assertEqual(seen, TAB_ORDER[1:] + ["SaveButton"])
            b.keys_to(view, "shift+Tab")
            self.assertEqual(self.focus_moved(view, "SaveButton"), "AutoConnectBox")

        with self.subTest("Enter and Esc do nothing"):
            b.click_control(view, "UserField")
            wait_for("the user field focused", lambda: DialogView(b, view.hwnd).focus() == "UserField")
            b.keys_to(view, "Return", "Escape")
            program.wait_idle()
            holds_for("the dialog staying open", lambda: b.dialog_window(program)["visible"], 1.0)
            self.assertEqual(b.registry()["settings"], {}, "Enter or Esc saved something")

    def focus_moved(self, view, previous):
        return wait_for(f"the focus to leave {previous}", lambda: (lambda f: f if f != previous else None)(
            DialogView(self.bench, view.hwnd).focus()), 10)

    def test_drive_field_completes_typed_letter(self):
        b = self.bench
        program = b.start_program()
        view = b.open_dialog(program)
        b.click_control(view, "DriveField")
        b.type_text("q")
        view = wait_for("the completed drive", lambda: (lambda v: v if v.text("DriveField") == "q:" else None)(
            DialogView(b, view.hwnd)))
        b.keys("BackSpace")  # deletes the completed, selected colon
        wait_for("the colon removed", lambda: DialogView(b, view.hwnd).text("DriveField") == "q")
        b.click_control(view, "SaveButton")
        b.wait_dialog_hidden(program)
        self.assertEqual(b.stored()["PathDrive"], "q", "a drive text that is no entry is saved unchanged")


class Editing(BenchCase):
    # Non-ASCII letters of the Italian keyboard, and a blank in the password.
    USER = "Niccolò Ruà"
    PASSWORD = "però già"

    def test_applica_stores_protected_values_that_read_back(self):
        b = self.bench
        program = b.start_program()
        view = b.open_dialog(program)
        self.type_into(view, "UserField", self.USER)
        self.type_into(view, "PasswordField", self.PASSWORD)
        self.type_into(view, "DriveField", "Q")
        wait_for("the typed user", lambda: DialogView(b, view.hwnd).text("UserField") == self.USER)
        wait_for("the completed drive", lambda: DialogView(b, view.hwnd).text("DriveField") == DRIVE)
        b.click_control(view, "ApplyButton")
        settings = wait_for("the six stored values", lambda: (lambda s: s if s and len(s) == 6 else None)(
            b.registry()["settings"]))
        program.wait_idle()
        self.assertTrue(b.dialog_window(program)["visible"], "Applica keeps the dialog open")
        self.assertEqual(set(settings), {"PATHDRIVE", "ConfigIniFilesPath", "USER", "PASSWORD", "AUTOCONNECT",
                                         "AUTORUN"})
        for name, value in settings.items():
            self.assertEqual(value["type"], 1, f"{name} is REG_SZ")
            self.assertRegex(value["data"], r"^[A-Za-z0-9+/=\r\n]+\x00?$", f"{name} is protected text")
        self.assertEqual(b.stored(), {"PathDrive": DRIVE, "User": self.USER, "Password": self.PASSWORD,
                                      "AutoConnect": "N", "AutoRun": "N"})
        self.assertEqual(b.registry()["run"], {}, "no Run entry without Esecuzione automatica")
        again = DialogView(b, view.hwnd)
        self.assertEqual((again.text("UserField"), again.text("DriveField")), (self.USER, DRIVE))
        self.assertTrue(program.alive())

    def test_salva_stores_and_closes_annulla_leaves_the_registry(self):
        b = self.bench
        b.store("R:", "mario", "pw", autoconnect=True)
        program = b.start_program()
        view = b.open_dialog(program)
        self.assertEqual((view.text("UserField"), view.text("DriveField")), ("mario", "R:"))
        self.assertTrue(view.checked("AutoConnectBox"))
        self.assertFalse(view.checked("AutoRunBox"))

        # Salva: stores and closes; the program stays.
        self.type_into(view, "UserField", "luigi")
        b.click_control(view, "AutoConnectBox")
        wait_for("the box cleared", lambda: not DialogView(b, view.hwnd).checked("AutoConnectBox"))
        b.click_control(view, "SaveButton")
        b.wait_dialog_hidden(program)
        self.assertEqual(b.stored(), {"PathDrive": "R:", "User": "luigi", "Password": "pw", "AutoConnect": "N",
                                      "AutoRun": "N"})
        self.assertTrue(program.alive())

        # Annulla after edits: nothing written; the next opening shows what
        # is stored.
        stored = b.registry()
        view = b.open_dialog(program)
        self.assertEqual(view.text("UserField"), "luigi")
        self.type_into(view, "UserField", "giovanni")
        self.type_into(view, "PasswordField", "altro")
        b.click_control(view, "AutoRunBox")
        wait_for("the box ticked", lambda: DialogView(b, view.hwnd).checked("AutoRunBox"))
        b.click_control(view, "CancelButton")
        b.wait_dialog_hidden(program)
        program.wait_idle()
        self.assertEqual(b.registry(), stored, "Annulla wrote to the registry")
        view = b.open_dialog(program)
        self.assertEqual(view.text("UserField"), "luigi")
        self.assertFalse(view.checked("AutoRunBox"))
        b.click_control(view, "CancelButton")
        b.wait_dialog_hidden(program)

    def test_title_bar_close_keeps_the_program_and_reopening_keeps_position_and_focus(self):
        b = self.bench
        program = b.start_program()
        view = b.open_dialog(program)
        window = b.dialog_window(program)
        self.type_into(view, "PasswordField", "x")
        b.click(*b.close_button(window))
        b.wait_dialog_hidden(program)
        program.wait_idle()
        holds_for("the program running", program.alive, 1.0)
        self.assertTrue(b.icon_shown(0))
        self.assertEqual(b.registry()["settings"], {}, "closing saved something")
        self.assertEqual([w for w in program.windows() if w["taskbar"]], [])
        view = b.open_dialog(program)
        self.assertEqual(b.dialog_window(program)["rect"], window["rect"])
        self.assertEqual(view.focus(), "PasswordField", "the focus of the last closing")
        b.keys_to(view, "alt+F4")
        b.wait_dialog_hidden(program)
        holds_for("the program running", program.alive, 1.0)
        # A close request sent by another process while the dialog is open
        # (nothing else happening) ends the modal loop at once, not at the
        # next message that happens to arrive.
        # The focus goes to a button first: an edit field's caret blinks on a
        # timer, whose messages would wake the loop and hide a fault here.
        view = b.open_dialog(program)
        b.keys_to(view, "Tab", "Tab", "Tab", "Tab")
        wait_for("the focus on Salva", lambda: DialogView(b, view.hwnd).focus() == "SaveButton", 10)
        program.wait_idle()
        sent = b.probe.ask("close", b.dialog_window(program)["hwnd"], 5000)
        self.assertTrue(sent["ok"], sent)
        b.wait_dialog_hidden(program, timeout=3.0)
        holds_for("the program running", program.alive, 1.0)

    def test_parametri_while_open_shows_the_error_and_one_dialog(self):
        b = self.bench
        program = b.start_program()
        view = b.open_dialog(program)
        b.choose(program, "Parametri")
        box = wait_for("the error box", lambda: next(
            (w for w in program.windows() if w["class"] == "#32770" and w["visible"]), None))
        self.assertEqual(box["title"], "Qlxdrive")
        content = DialogView(b, box["hwnd"])
        texts = [c.get("text") for c in content.controls if harness.kind_of(c) == "static"]
        self.assertIn("Cannot make a visible window modal.", texts)
        icons = [c for c in content.controls if harness.kind_of(c) == "static" and c["style"] & SS_TYPEMASK == SS_ICON]
        self.assertEqual(len(icons), 1, "an error icon")
        buttons = [c for c in content.controls if harness.kind_of(c) == "button" and c["visible"]]
        self.assertEqual([harness.shown(c.get("text")) for c in buttons], ["OK"])
        self.assertEqual(len([w for w in program.windows() if w["class"] == "TfmDrive"]), 1)
        b.wait_drawn(box["rect"], "the error box")
        b.screenshot("error-second-dialog", crop=b.dialog_window(program)["rect"])
        ok = buttons[0]
        ox, oy = content.data["origin"]
        b.click(ox + ok["rect"][0] + ok["rect"][2] // 2, oy + ok["rect"][1] + ok["rect"][3] // 2)
        wait_for("the error box to close", lambda: not any(
            w["class"] == "#32770" and w["visible"] for w in program.windows()))
        self.assertTrue(b.dialog_window(program)["visible"], "the open dialog stays")
        b.click_control(DialogView(b, view.hwnd), "CancelButton")
        b.wait_dialog_hidden(program)


class DialogConnetti(BenchCase):
    def test_connetti_uses_the_stored_values_and_discards_edits(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw")
        program = b.start_program()
        view = b.open_dialog(program)
        self.type_into(view, "UserField", "luigi")
        wait_for("the edit", lambda: DialogView(b, view.hwnd).text("UserField") == "luigi")
        b.click_control(view, "ConnectButton")
        delete, connect = self.wait_net_runs(2)
        self.assertEqual((delete.command, connect.command),
                         (self.delete_line(), self.connect_line(DRIVE, "mario", "pw")))
        explorer = wait_for("Explorer", b.standins.explorer_runs)
        self.assert_explorer_on(DRIVE, explorer)
        program.wait_idle()
        view = DialogView(b, view.hwnd)
        self.assertEqual(view.text("UserField"), "mario", "the unsaved edit was not discarded")
        self.assertTrue(b.dialog_window(program)["visible"])
        self.assertEqual(b.stored()["User"], "mario")
        holds_for("no balloon from the dialog", lambda: not b.balloons(), harness.QUIET_SECONDS)
        b.click_control(view, "CancelButton")
        b.wait_dialog_hidden(program)

    def test_esci_while_open_disconnects_and_ends(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw")
        program = b.start_program()
        b.open_dialog(program)
        b.choose(program, "Esci")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual([(r.command, r.code) for r in b.standins.net_runs()], [(self.delete_line(), "0")])


class Autorun(BenchCase):
    def test_saving_sets_and_clears_the_run_entry(self):
        b = self.bench
        program = b.start_program()
        view = b.open_dialog(program)
        b.click_control(view, "AutoRunBox")
        wait_for("the box ticked", lambda: DialogView(b, view.hwnd).checked("AutoRunBox"))
        b.click_control(view, "SaveButton")
        b.wait_dialog_hidden(program)
        path = b.program_path()
        # A path with a blank is quoted, so that Windows finds the program.
        self.assertEqual(b.registry()["run"], {"QLXDrive": {"type": 1, "size": 2 * (len(path) + 3),
                                                            "data": f'"{path}"\x00'}})
        self.assertEqual(b.stored()["AutoRun"], "S")

        view = b.open_dialog(program)
        self.assertTrue(view.checked("AutoRunBox"))
        b.click_control(view, "AutoRunBox")
        wait_for("the box cleared", lambda: not DialogView(b, view.hwnd).checked("AutoRunBox"))
        b.click_control(view, "SaveButton")
        b.wait_dialog_hidden(program)
        self.assertEqual(b.registry()["run"], {"QLXDrive": {"type": 1, "size": 2, "data": "\x00"}})
        self.assertEqual(b.stored()["AutoRun"], "N")


if __name__ == "__main__":
    unittest.main()
