"""How the program starts, connects at start, stays single and ends."""

import time
import unittest

import harness
from harness import DRIVE, SUCCESS, BenchCase, holds_for, scaled, wait_for


def setUpModule():
    harness.start_bench("lifetime")


def tearDownModule():
    harness.stop_bench()


class FirstStart(BenchCase):
    def test_nothing_stored_shows_only_the_tray_icon(self):
        b = self.bench
        program = b.start_program()
        program.wait_idle()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        self.assertFalse(b.icon_shown(1), "a second icon in the tray")
        self.assert_quiet(program)
        self.assertEqual(b.standins.net_runs(), [])
        self.assertEqual(b.standins.explorer_runs(), [])

        windows = program.windows()
        self.assertEqual([w for w in windows if w["visible"]], [], "visible windows")
        self.assertEqual([w for w in windows if w["taskbar"]], [], "taskbar buttons")
        by_class = {w["class"]: w for w in windows}
        for cls in ("QLXDriveApp", "QLXDriveTray", "TfmDrive"):
            self.assertIn(cls, by_class, f"the program's windows: {[w['class'] for w in windows]}")
        self.assertEqual(by_class["QLXDriveApp"]["title"], "Qlxdrive")
        self.assertEqual(by_class["TfmDrive"]["title"], "Parametri di connessione")
        # Loading at start creates the settings key and stores nothing.
        self.assertEqual(b.registry()["settings"], {})
        self.assertTrue(program.alive())


class AutomaticConnection(BenchCase):
    def test_success_disconnects_pauses_connects_opens_explorer_and_announces(self):
        b = self.bench
        b.store(DRIVE, "mario.rossi", "segreto", autoconnect=True)
        program = b.start_program()
        delete, connect = self.wait_net_runs(2)
        self.assertEqual((delete.command, delete.code), (self.delete_line(), "0"))
        self.assertEqual((connect.command, connect.code),
                         (self.connect_line(DRIVE, "mario.rossi", "segreto"), "0"))
        # net.exe stamps its line as it ends, so the gap holds the pause
        # and the connect command's own start.
        gap = connect.ms - delete.ms
        self.assertGreaterEqual(gap, 500, "pause between the delete and the connect command")
        self.assertLess(gap, 500 + scaled(4000), "pause between the delete and the connect command")
        self.wait_balloon(SUCCESS)
        explorer = b.standins.explorer_runs()
        self.assert_explorer_on(DRIVE, explorer)
        self.assertGreaterEqual(explorer[0][0], connect.ms)
        self.assertTrue(b.drive_defined())
        self.assertEqual(program.visible_windows(), [])
        self.assertEqual(len(b.standins.net_runs()), 2)

    def test_failed_connect_shows_nothing(self):
        b = self.bench
        b.store(DRIVE, "mario.rossi", "segreto", autoconnect=True)
        b.standins.net_exit(2)
        program = b.start_program()
        delete, connect = self.wait_net_runs(2)
        self.assertEqual(delete.command, self.delete_line())
        self.assertEqual((connect.command, connect.code), (self.connect_line(DRIVE, "mario.rossi", "segreto"), "2"))
        self.assert_quiet(program)
        self.assertEqual(b.standins.explorer_runs(), [])
        self.assertEqual(len(b.standins.net_runs()), 2)

    def test_incomplete_settings_only_disconnect(self):
        b = self.bench
        b.store(DRIVE, "mario.rossi", "", autoconnect=True)
        program = b.start_program()
        (delete,) = self.wait_net_runs(1)
        self.assertEqual(delete.command, self.delete_line())
        self.assert_quiet(program)
        self.assertEqual(len(b.standins.net_runs()), 1)


class Ending(BenchCase):
    def test_esci_disconnects_then_ends_with_code_0_and_a_new_copy_starts(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw")
        program = b.start_program()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        b.choose(program, "Esci")
        self.assertEqual(program.wait_exit(), 0)
        runs = b.standins.net_runs()
        self.assertEqual([(r.command, r.code) for r in runs], [(self.delete_line(), "0")])
        wait_for("the icon to leave the tray", lambda: not b.icon_shown(0))
        self.assertEqual(b.program_pids(), [])
        # The name is free again: the next copy runs and stays.
        again = b.start_program()
        again.wait_idle()
        holds_for("the new copy running", again.alive, 3.0)

    def test_taskkill_without_force_ends_without_disconnecting(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw")
        program = b.start_program()
        program.wait_idle()
        code, out, err = b.wine(["taskkill", "/PID", str(program.pid)])
        self.assertEqual(code, 0, (out, err))
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(b.standins.net_runs(), [])
        self.assertEqual(b.program_pids(), [])


    def test_the_sessions_end_takes_the_icon_away_and_leaves_the_mapping(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw")
        program = b.start_program()
        program.wait_idle()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        answer = b.probe.ask("end-session", program.window("QLXDriveTray")["hwnd"])
        self.assertTrue(answer["asked"] and answer["consent"], answer)
        self.assertEqual(program.wait_exit(), 0)
        wait_for("the icon to leave the tray", lambda: not b.icon_shown(0))
        self.assertEqual(b.standins.net_runs(), [], "the mapping is left to the system")
        self.assertEqual(b.program_pids(), [])


class StartUpError(BenchCase):
    def test_a_stored_value_that_cannot_be_read_is_shown_and_the_program_runs_on(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw", autoconnect=True)
        # USER of a type the store cannot read.
        self.assertTrue(b.probe.ask("set-dword", r"Software\PELMORA\QLXDrive", "USER", 1)["ok"])
        program = b.start_program()
        box = wait_for("the error box", lambda: next(
            (w for w in program.windows() if w["class"] == "#32770" and w["visible"]), None), 30)
        self.assertEqual(box["title"], "Qlxdrive")
        b.wait_drawn(box["rect"], "the error box")
        b.screenshot("startup-error-box", crop=box["rect"])
        self.assertEqual(b.standins.net_runs(), [], "no command before the box")
        self.assertTrue(b.probe.ask("close", box["hwnd"], 5000)["ok"])
        wait_for("the box to close", lambda: not any(
            w["class"] == "#32770" and w["visible"] for w in program.windows()))
        # The program runs on, idle in the tray, and answers its menu.
        program.wait_idle()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        holds_for("the program running", program.alive, 2.0)
        self.assertEqual(b.standins.net_runs(), [], "start-up stopped before connecting")
        b.choose(program, "Esci")
        self.assertEqual(program.wait_exit(), 0)


class SecondCopy(BenchCase):
    def test_second_copy_shows_its_icon_for_two_seconds_then_ends(self):
        b = self.bench
        b.store(DRIVE, "mario", "pw")
        first = b.start_program()
        first.wait_idle()
        wait_for("the first icon", lambda: b.icon_shown(0))
        registry = b.registry()
        first_windows = sorted((w["hwnd"], w["visible"]) for w in first.windows())

        second = b.start_program(wait_tray=False)
        shown = wait_for("the second copy's icon", lambda: b.icon_shown(1) and time.monotonic(), 20, 0.05)

        def ended_quietly():
            self.assertEqual(second.visible_windows(), [], "the second copy showed a window")
            return not second.alive()

        wait_for("the second copy to end", ended_quietly, 20, 0.05)
        ended = time.monotonic()
        self.assertEqual(second.wait_exit(), 0)
        gone = wait_for("the second icon to leave", lambda: not b.icon_shown(1) and time.monotonic(), 10, 0.05)
        self.assertGreaterEqual(ended - second.started, 2.0, "the second copy's life")
        self.assertGreaterEqual(gone - shown, 1.5, "time the second icon was shown")
        self.assertLess(gone - shown, 2.0 + scaled(4.0), "time the second icon was shown")

        # The first copy goes on as it was.
        self.assertTrue(first.alive())
        first.wait_idle()
        self.assertTrue(b.icon_shown(0))
        self.assertEqual(sorted((w["hwnd"], w["visible"]) for w in first.windows()), first_windows)
        self.assertEqual(b.registry(), registry)
        self.assertEqual(b.standins.net_runs(), [])
        self.assertEqual(b.program_pids(), [first.pid])


if __name__ == "__main__":
    unittest.main()
