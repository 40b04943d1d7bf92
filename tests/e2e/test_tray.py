"""The tray icon, its menu and the outcome balloons."""

import unittest

import harness
from harness import DRIVE, FAILURE, SUCCESS, BenchCase, wait_for


def setUpModule():
    harness.start_bench("tray")


def tearDownModule():
    harness.stop_bench()


class Icon(BenchCase):
    def test_menu_opens_at_the_cursor_and_the_tooltip_is_the_title(self):
        b = self.bench
        program = b.start_program()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        icon = b.pixels(b.tray_cell(0))
        # Blue cloud: the icon's most blue pixels are clearly blue.
        bluest = max(icon, key=lambda p: p[2] - max(p[0], p[1]))
        self.assertGreater(bluest[2] - max(bluest[0], bluest[1]), 60, f"no blue in the icon: {bluest}")

        menu, (x, y) = b.open_tray_menu(program)
        self.assertEqual(menu["rect"][:2], [x, y], "the menu's top-left corner is at the cursor")
        b.wait_drawn(menu["rect"], "the menu")
        l, t, r, bottom = menu["rect"]
        b.screenshot("tray-menu", crop=(0, 0, r + 40, bottom + 40))
        b.keys("Escape")
        wait_for("the menu to close", lambda: not any(w["class"] == "#32768" and w["visible"]
                                                      for w in program.windows()))

        # Hovering shows the application title.
        cell = b.tray_cell(0)
        b.move(cell[0] + 3, cell[1] + 3)
        b.move((cell[0] + cell[2]) // 2, (cell[1] + cell[3]) // 2)
        wait_for("the tooltip", lambda: any(w.get("text") == "Qlxdrive" for w in b.tooltips()))
        # After all this the icon is still the same image.
        self.assertEqual(b.pixels(b.tray_cell(0)), icon)


class Taskbar(BenchCase):
    def test_the_icon_comes_back_when_the_taskbar_is_created_again(self):
        b = self.bench
        program = b.start_program()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        tray = program.window("QLXDriveTray")
        # The new taskbar of a restarted Explorer knows no icons.
        self.assertTrue(b.probe.ask("forget-icon", tray["hwnd"])["ok"])
        wait_for("the icon to leave the tray", lambda: not b.icon_shown(0))
        self.assertTrue(program.alive())
        self.assertTrue(b.probe.ask("taskbar-created")["ok"])
        wait_for("the icon back in the tray", lambda: b.icon_shown(0))
        l, t, r, bottom = b.tray_cell(0)
        b.screenshot("tray-icon-back", crop=(0, 0, r + 40, bottom + 40))
        # It answers as before.
        menu, _ = b.open_tray_menu(program)
        b.keys("Escape")
        wait_for("the menu to close", lambda: not any(w["class"] == "#32768" and w["visible"]
                                                      for w in program.windows()))
        self.assertFalse(b.icon_shown(1), "the icon twice in the tray")

    def test_a_taskbar_that_still_holds_the_icon_keeps_it_once(self):
        b = self.bench
        program = b.start_program()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        # Announced as at a change of the display's scale: the shell has not
        # forgotten the icon, and refuses to add it again.
        self.assertTrue(b.probe.ask("taskbar-created")["ok"])
        program.wait_idle("the program to have handled the announcement")
        self.assertTrue(b.icon_shown(0), "the icon left the tray")
        self.assertFalse(b.icon_shown(1), "the icon twice in the tray")
        # Still the blue cloud. Wine's tray draws a changed image over the
        # old one, so its soft edges darken a little: no pixel-exact match.
        bluest = max(b.pixels(b.tray_cell(0)), key=lambda p: p[2] - max(p[0], p[1]))
        self.assertGreater(bluest[2] - max(bluest[0], bluest[1]), 60, f"no blue in the icon: {bluest}")
        l, t, r, bottom = b.tray_cell(0)
        b.screenshot("tray-icon-kept", crop=(0, 0, r + 40, bottom + 40))
        b.open_tray_menu(program)
        b.keys("Escape")
        wait_for("the menu to close", lambda: not any(w["class"] == "#32768" and w["visible"]
                                                      for w in program.windows()))


class Connetti(BenchCase):
    def test_success_disconnects_pauses_connects_opens_explorer_then_the_balloon(self):
        b = self.bench
        # Blanks, quotes and a closing backslash: the password must reach
        # net.exe as one word.
        user, password = "anna.bianchi", 'pass "wörd" €1\\'

        b.store(DRIVE, user, password)
        program = b.start_program()
        b.choose(program, "Connetti")
        balloon = self.wait_balloon(SUCCESS)
        delete, connect = b.standins.net_runs()
        self.assertEqual((delete.command, delete.code), (self.delete_line(), "0"))
        self.assertEqual((connect.command, connect.code), (self.connect_line(DRIVE, user, password), "0"))
        self.assertGreaterEqual(connect.ms - delete.ms, 1000, "pause between the delete and the connect command")
        # Both run hidden (STARTF_USESHOWWINDOW with SW_HIDE).
        self.assertEqual([(flags & 1, show) for flags, show in b.standins.net_startups()], [(1, 0), (1, 0)])
        explorer = b.standins.explorer_runs()
        self.assert_explorer_on(DRIVE, explorer)
        self.assertGreaterEqual(explorer[0][0], connect.ms)
        self.assertTrue(b.drive_defined())
        b.wait_drawn(balloon["rect"], "the balloon")
        l, t, r, bottom = balloon["rect"]
        b.screenshot("balloon-success", crop=(0, 0, max(r, 200) + 40, bottom + 40))
        self.assertEqual(program.visible_windows(), [])
        self.assertEqual([p for p in b.processes() if p["exe"].lower() == "net.exe"], [], "net.exe left running")

    def test_failing_net_use_reports_the_error(self):
        b = self.bench
        b.store(DRIVE, "anna", "pw")
        b.standins.net_exit(2)
        program = b.start_program()
        b.choose(program, "Connetti")
        balloon = self.wait_balloon(FAILURE)
        runs = b.standins.net_runs()
        self.assertEqual([(r.command, r.code) for r in runs],
                         [(self.delete_line(), "2"), (self.connect_line(DRIVE, "anna", "pw"), "2")])
        self.assertEqual(b.standins.explorer_runs(), [])
        b.wait_drawn(balloon["rect"], "the balloon")
        l, t, r, bottom = balloon["rect"]
        b.screenshot("balloon-failure", crop=(0, 0, max(r, 200) + 40, bottom + 40))

    def test_nothing_stored_runs_nothing_and_reports_the_error(self):
        b = self.bench
        program = b.start_program()
        b.choose(program, "Connetti")
        self.wait_balloon(FAILURE)
        self.assertEqual(b.standins.net_runs(), [])
        self.assertEqual(b.standins.explorer_runs(), [])
        self.assertTrue(program.alive())


class Disconnetti(BenchCase):
    def test_disconnetti_removes_the_mapping(self):
        b = self.bench
        b.store(DRIVE, "anna", "pw")
        program = b.start_program()
        b.choose(program, "Connetti")
        self.wait_balloon(SUCCESS)
        self.assertTrue(b.drive_defined())
        b.choose(program, "Disconnetti")
        runs = self.wait_net_runs(3)
        self.assertEqual((runs[2].command, runs[2].code), (self.delete_line(), "0"))
        wait_for("the drive to go", lambda: not b.drive_defined())
        self.assertEqual(len(b.standins.explorer_runs()), 1)

    def test_disconnetti_with_no_drive_runs_nothing(self):
        b = self.bench
        program = b.start_program()
        b.choose(program, "Disconnetti")
        # The menu's commands run in order: once the dialog of a later
        # command is up, "Disconnetti" has been handled.
        view = b.open_dialog(program)
        self.assertEqual(b.standins.net_runs(), [])
        self.assertEqual(b.balloons(), [])
        b.click_control(view, "CancelButton")
        b.wait_dialog_hidden(program)


if __name__ == "__main__":
    unittest.main()
