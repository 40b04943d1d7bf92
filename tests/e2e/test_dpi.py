"""The dialog at 144 DPI: the layout scales by one and a half."""

import unittest

import harness
import test_dialog
from harness import BenchCase


def setUpModule():
    harness.start_bench("dpi")
    bench = BenchCase.bench
    bench.set_logpixels(144)
    bench.restart_server()


def tearDownModule():
    bench = BenchCase.bench
    if bench is not None:
        bench.set_logpixels(None)
    harness.stop_bench()


class HighDpi(BenchCase):
    def test_dialog_scales_and_stays_centred(self):
        b = self.bench
        screen = b.probe.ask("screen")
        self.assertEqual(screen["logpixels"], 144, "the prefix's DPI")
        program = b.start_program()
        view = b.open_dialog(program)
        window = b.dialog_window(program)
        b.wait_drawn(window["rect"], "the dialog")
        b.screenshot("dialog-144dpi", crop=window["rect"])
        self.assertEqual(view.data["dpi"], 144)
        with self.subTest("layout"):
            test_dialog.check_layout(self, view, window, screen, 1.5)
        b.click_control(view, "CancelButton")
        b.wait_dialog_hidden(program)


if __name__ == "__main__":
    unittest.main()
