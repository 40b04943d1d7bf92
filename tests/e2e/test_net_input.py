"""NET USE asking a question in its hidden console never holds the program."""

import time
import unittest

import harness
from harness import DRIVE, SUCCESS, BenchCase, scaled, wait_for


def setUpModule():
    harness.start_bench("net_input")


def tearDownModule():
    harness.stop_bench()


class QuestionOnDisconnect(BenchCase):
    def test_esci_after_connetti_ends_at_once_the_question_answered_by_end_of_input(self):
        b = self.bench
        b.store(DRIVE, "mario.rossi", "segreto")
        program = b.start_program()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        b.choose(program, "Connetti")
        self.wait_balloon(SUCCESS)
        self.assertTrue(b.drive_defined())
        self.assertEqual(b.standins.net_answers(), [], "the connect's own delete found no drive to ask about")

        # Files are open on the drive now (Explorer's window on it, say):
        # the system's NET USE asks before forcing them closed.
        b.standins.net_ask()
        chosen = time.monotonic()
        b.choose(program, "Esci")
        # The command's own bound is 120 s; an unanswered question would
        # hold the program for all of it.
        self.assertEqual(program.wait_exit(timeout=20.0), 0)
        took = time.monotonic() - chosen
        print(f"\nthe program ended {took:.1f}s after Esci")

        runs = b.standins.net_runs()
        self.assertEqual([(r.command, r.code) for r in runs[2:]], [(self.delete_line(), "2")])
        self.assertEqual(b.standins.net_answers(), ["<eof>"])
        # No answer is NET USE's "no": the open files and the mapping stay.
        self.assertTrue(b.drive_defined(), "the mapping was removed without an answer")
        wait_for("the icon to leave the tray", lambda: not b.icon_shown(0))
        self.assertEqual(b.program_pids(), [])
        self.assertEqual([p for p in b.processes() if p["exe"].lower() == "net.exe"], [], "net.exe left running")
        tray = b.tray_window()
        b.screenshot("net-input-after-esci", crop=tray["rect"] if tray and tray["visible"] else None)
        self.assertLess(took, scaled(20.0))


if __name__ == "__main__":
    unittest.main()
