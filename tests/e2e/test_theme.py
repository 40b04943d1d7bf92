"""A program file whose theme resource is gone still starts, after a box."""

import os
import shutil
import subprocess
import unittest

import harness
from harness import SS_ICON, SS_TYPEMASK, BenchCase, DialogView, env_path, wait_for


def setUpModule():
    harness.start_bench("theme")


def tearDownModule():
    harness.stop_bench()


class MissingTheme(BenchCase):
    def test_box_then_normal_start(self):
        b = self.bench
        folder = os.path.join(b.prefix, "drive_c", "notheme")
        os.makedirs(folder, exist_ok=True)
        copy = os.path.join(folder, "QLXDrive.exe")
        shutil.copyfile(b.program_exe, copy)
        tool = env_path("QLX_E2E_STRIP")
        b.wine([tool, harness.windows_path(copy), "RCDATA", "OBSIDIAN"], timeout=60)
        with open(copy, "rb") as stripped, open(b.program_exe, "rb") as original:
            self.assertNotEqual(stripped.read(), original.read(), "the strip tool changed nothing")

        program = b.start_program(r"C:\notheme\QLXDrive.exe", wait_tray=False)
        box = wait_for("the missing-theme box", lambda: next(
            (w for w in program.windows() if w["visible"] and w["class"] == "#32770"), None))
        content = DialogView(b, box["hwnd"])
        statics = [c for c in content.controls if harness.kind_of(c) == "static"]
        self.assertIn("Style 'Obsidian' not found", [c.get("text") for c in statics])
        self.assertEqual(len([c for c in statics if c["style"] & SS_TYPEMASK == SS_ICON]), 1, "an error icon")
        buttons = [c for c in content.controls if harness.kind_of(c) == "button" and c["visible"]]
        self.assertEqual([c.get("text") for c in buttons], ["Close"])
        b.wait_drawn(box["rect"], "the box")
        b.screenshot("missing-theme", crop=box["rect"])
        # Nothing else exists before the box is closed.
        self.assertIsNone(program.window("QLXDriveTray"))

        button = buttons[0]
        ox, oy = content.data["origin"]
        b.click(ox + button["rect"][0] + button["rect"][2] // 2, oy + button["rect"][1] + button["rect"][3] // 2)
        wait_for("the tray window after the box", lambda: program.window("QLXDriveTray"))
        program.wait_idle()
        wait_for("the tray icon", lambda: b.icon_shown(0))
        self.assertEqual(program.visible_windows(), [])
        b.choose(program, "Esci")
        self.assertEqual(program.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
