"""The drive list, dropped down: its highlighted entry in the theme's
selection colours, following the pointer."""

import os
import unittest

import harness
from harness import BenchCase, wait_for

THEME_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "obsidian.theme")


def theme_colour(key):
    """(r, g, b) of a key of the committed theme file."""
    with open(THEME_FILE, encoding="utf-8-sig") as f:
        for line in f:
            line = line.split(";", 1)[0].strip()
            if "=" in line:
                name, value = (part.strip() for part in line.split("=", 1))
                if name == key:
                    return tuple(int(value[i:i + 2], 16) for i in (1, 3, 5))
    raise KeyError(key)


def setUpModule():
    harness.start_bench("drive_list")


def tearDownModule():
    harness.stop_bench()


class DroppedDown(BenchCase):
    def test_the_highlight_follows_the_pointer_in_the_selection_colours(self):
        b = self.bench
        selection, field = theme_colour("selection.background"), theme_colour("edit.background")
        program = b.start_program()
        view = b.open_dialog(program)
        dialog = b.dialog_window(program)
        b.wait_drawn(dialog["rect"], "the dialog")

        # The arrow button at the right end of the combo.
        left, top, width, height = view.client_rect("DriveField")
        ox, oy = view.data["origin"]
        b.click(ox + left + width - 5, oy + top + height // 2)
        drop = wait_for("the drive list dropped down", lambda: next(
            (w for w in program.windows() if w["class"] == "ComboLBox" and w["visible"]), None))
        l, t, r, bottom = drop["client"]
        x = r - 4  # right of the entries' text
        pixel = lambda y: b.pixels((x, y, x + 1, y + 1))[0]

        low, high = t + (bottom - t) * 6 // 10, t + (bottom - t) * 3 // 10
        b.move(x, low)
        wait_for("the entry under the pointer highlighted", lambda: pixel(low) == selection)
        self.assertEqual(pixel(t + 1), field, "the first entry, not highlighted")
        b.screenshot("drive-list", crop=(dialog["rect"][0], dialog["rect"][1], max(r, dialog["rect"][2]) + 10,
                                         max(bottom, dialog["rect"][3]) + 10))

        b.move(x, high)
        wait_for("the highlight to follow the pointer", lambda: pixel(high) == selection)
        wait_for("the old entry back on the field's colour", lambda: pixel(low) == field)

        b.click(x, high)
        wait_for("the list to close", lambda: not any(
            w["class"] == "ComboLBox" and w["visible"] for w in program.windows()))
        b.click_control(harness.DialogView(b, view.hwnd), "CancelButton")
        b.wait_dialog_hidden(program)


if __name__ == "__main__":
    unittest.main()
