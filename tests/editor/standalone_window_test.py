#!/usr/bin/python3
"""Drives the Standalone's real window on a private Xvfb display with xdotool.

    standalone_window_test.py STANDALONE_BINARY [SCREENSHOT_FOLDER]

Drags the Depth knob by its value label and types a value into it, clicks the bypass face (the
overlay covers the window) and clicks again (it goes), opens the information overlay and follows
its manual link with an opener that fails, closes the overlay, and picks "Front Air" from the
preset menu with a quick click, measuring the menu's text contrast on the way. After each step it
takes a screenshot and checks pixels at known places of the 720 x 480 editor.
Needs Xvfb, xdotool and ImageMagick's import; uses only the standard library.
"""

import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

WINDOW = (0x3C, 0x3C, 0x43)
DEPTH_CENTRE = (360.5, 238.5)
DEPTH_START, DEPTH_END = 3.7070794, 8.906415
EQ_CENTRE = (540 - 181.8, 70 + 170.0)
EQ_START, EQ_END = 2.0483184, 1.0681415
DEPTH_LABEL = (360, 280)
MENU_PANEL = (0x1F, 0x1F, 0x24)
MANUAL_LINK = (360, 274)
MANUAL_NOTE = (240, 288, 480, 322)      # where a failed link's message goes, over the footer


class Screen:
    def __init__(self, data):
        # A binary PPM: "P6\n<w> <h>\n<max>\n" then RGB bytes.
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        assert fields[0] == b"P6" and fields[3] == b"255", fields
        self.w, self.h = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]
        self.origin = (0, 0)

    def at(self, x, y):
        x, y = int(x) + self.origin[0], int(y) + self.origin[1]
        i = 3 * (y * self.w + x)
        return tuple(self.pixels[i:i + 3])

    def find_editor(self):
        """The editor's flat window colour reaches its left and bottom edges."""
        xs = []
        for y in range(0, self.h, 4):
            row = self.pixels[3 * y * self.w:3 * (y + 1) * self.w]
            xs += [x for x in range(self.w) if tuple(row[3 * x:3 * x + 3]) == WINDOW]
        assert xs, "no editor on screen"
        left, right = min(xs), max(xs)
        # The outermost column and row may come out a shade off the window colour after scaling.
        assert right - left + 1 in (719, 720), "editor width %d" % (right - left + 1)
        column = left + 5
        bottom = max(y for y in range(self.h)
                     if distance(self.pixels[3 * (y * self.w + column):][:3], WINDOW) <= 3)
        return left, bottom - 479


def distance(a, b):
    return sum(abs(p - q) for p, q in zip(a, b))


def is_window(c, tolerance=6):
    return distance(c, WINDOW) <= tolerance


def is_orange(c):
    return c[0] > 200 and c[0] > c[2] + 60


def luminance(c):
    def linear(v):
        v /= 255.0
        return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(v) for v in c)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)))
    return (lb + 0.05) / (la + 0.05)


def text_contrast(screen, x0, y0, x1, y1):
    """The strongest contrast of any pixel in the box against the box's commonest colour."""
    counts = {}
    pixels = [screen.at(x, y) for y in range(y0, y1) for x in range(x0, x1)]
    for p in pixels:
        counts[p] = counts.get(p, 0) + 1
    background = max(counts, key=counts.get)
    return max(contrast(p, background) for p in pixels)


def on_circle(centre, r, a):
    return centre[0] + r * math.sin(a), centre[1] - r * math.cos(a)


def depth_point(value):
    return on_circle(DEPTH_CENTRE, 112.5, DEPTH_START + (value + 15) / 30 * (DEPTH_END - DEPTH_START))


def eq_point(value):
    return on_circle(EQ_CENTRE, 275.0, EQ_START + (value - 1) / 3 * (EQ_END - EQ_START))


class Session:
    def __init__(self, binary, shots):
        self.binary = binary
        self.shots = shots
        self.home = tempfile.mkdtemp(prefix="lumbrane-window-")
        # An opener that fails as xdg-open does when the desktop has no browser.
        tools = os.path.join(self.home, "bin")
        os.makedirs(tools)
        with open(os.path.join(tools, "xdg-open"), "w") as opener:
            opener.write("#!/bin/sh\nexit 3\n")
        os.chmod(os.path.join(tools, "xdg-open"), 0o755)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                        PATH=tools + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"))
        self.xvfb = None
        self.app = None
        self.origin = (0, 0)
        self.failures = []
        self.passed = 0

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                                      "-nolisten", "tcp"], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        display = b""
        while not display.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            display += chunk
        os.close(read_end)
        self.env["DISPLAY"] = ":" + display.decode().strip()
        self.app = subprocess.Popen([self.binary], env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *exc):
        for process in (self.app, self.xvfb):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(self.home, ignore_errors=True)

    def run(self, *args):
        return subprocess.run(args, env=self.env, check=True, capture_output=True, timeout=30).stdout

    def wait_for_window(self):
        deadline = time.time() + 60
        while time.time() < deadline:
            found = subprocess.run(["xdotool", "search", "--name", "Lumbrane"], env=self.env,
                                   capture_output=True, timeout=10)
            if found.returncode == 0 and found.stdout.strip():
                time.sleep(1.0)
                try:
                    self.origin = self.screenshot(None).find_editor()
                except AssertionError:
                    continue                         # not painted yet
                print("editor at", self.origin)
                return
            time.sleep(0.3)
        raise RuntimeError("the Standalone's window did not appear")

    def screenshot(self, name):
        screen = Screen(self.run("import", "-window", "root", "-depth", "8", "ppm:-"))
        screen.origin = self.origin
        if name and self.shots:
            x, y = self.origin
            self.run("import", "-window", "root", "-crop", "720x480+%d+%d" % (x, y), "+repage",
                     os.path.join(self.shots, name + ".png"))
        return screen

    def click(self, x, y, settle=0.8):
        self.run("xdotool", "mousemove", str(int(self.origin[0] + x)), str(int(self.origin[1] + y)))
        time.sleep(0.3)
        self.run("xdotool", "click", "1")
        time.sleep(settle)

    def drag(self, start, end, steps=10):
        x0, y0 = self.origin[0] + start[0], self.origin[1] + start[1]
        self.run("xdotool", "mousemove", str(x0), str(y0))
        time.sleep(0.3)
        self.run("xdotool", "mousedown", "1")
        for i in range(1, steps + 1):
            self.run("xdotool", "mousemove", str(int(x0 + (end[0] - start[0]) * i / steps)),
                     str(int(y0 + (end[1] - start[1]) * i / steps)))
            time.sleep(0.05)
        self.run("xdotool", "mouseup", "1")
        time.sleep(0.6)

    def defunct_children(self):
        found = []
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as stat:
                        fields = stat.read().rsplit(")", 1)[1].split()
                except OSError:
                    continue
                if fields[0] == "Z" and int(fields[1]) == self.app.pid:
                    found.append(int(entry))
        return found

    def check(self, what, ok):
        print(("ok   " if ok else "FAIL ") + what)
        if ok:
            self.passed += 1
        else:
            self.failures.append(what)


def main():
    binary = sys.argv[1]
    shots = sys.argv[2] if len(sys.argv) > 2 else None
    if shots:
        os.makedirs(shots, exist_ok=True)

    with Session(binary, shots) as s:
        s.wait_for_window()
        s.run("xdotool", "mousemove", "0", "0")
        time.sleep(0.5)

        screen = s.screenshot("1-opened")
        s.check("window colour beside the faders", is_window(screen.at(10, 300)))
        s.check("Depth track lit below its default of 0", is_orange(screen.at(*depth_point(-8))))
        s.check("Depth track dark above 0", is_window(screen.at(*depth_point(8)), 10))
        s.check("Depth EQ lit only at its lower end", not is_orange(screen.at(*eq_point(2.5))))

        # A drag that starts on the value label over the cap turns the knob: 100 pixels up from 0
        # is +12 on the knob's 250-pixel travel for its 30 dB.
        s.drag(DEPTH_LABEL, (DEPTH_LABEL[0], DEPTH_LABEL[1] - 100))
        s.run("xdotool", "mousemove", "0", "0")
        time.sleep(0.5)
        screen = s.screenshot("1a-label-dragged")
        s.check("a drag from the Depth label turns the knob up", is_orange(screen.at(*depth_point(10))))
        s.check("... by as much as a drag on the knob", is_window(screen.at(*depth_point(14)), 10))

        # A click without a drag still opens the label for typing.
        s.run("xdotool", "mousemove", str(s.origin[0] + 300), str(s.origin[1] + 238))
        time.sleep(0.3)
        s.click(*DEPTH_LABEL)
        s.run("xdotool", "key", "--delay", "50", "minus", "8")
        s.run("xdotool", "key", "Return")
        time.sleep(0.5)
        s.run("xdotool", "mousemove", "0", "0")
        time.sleep(0.5)
        screen = s.screenshot("1b-label-typed")
        s.check("a typed -8 sets the knob", is_orange(screen.at(*depth_point(-10)))
                and is_window(screen.at(*depth_point(-6)), 10))

        s.click(576, 45)
        screen = s.screenshot("2-bypassed")
        s.check("bypass overlay dims the window", sum(screen.at(10, 300)) < 90)
        s.check("bypass face stays visible", sum(screen.at(576, 45)) > 120)

        s.click(300, 450)
        screen = s.screenshot("3-bypass-off")
        s.check("a click anywhere ends bypass", is_window(screen.at(10, 300)))

        s.click(617, 458)
        screen = s.screenshot("4-information")
        panel = screen.at(232, 318)
        s.check("information panel drawn in the middle", not is_window(panel) and distance(panel, (0x2A, 0x2A, 0x30)) < 24)

        footer = [screen.at(x, y) for x, y in ((x, y) for y in range(MANUAL_NOTE[1], MANUAL_NOTE[3], 2)
                                                for x in range(MANUAL_NOTE[0], MANUAL_NOTE[2], 2))]
        s.click(*MANUAL_LINK, settle=1.5)
        screen = s.screenshot("4a-manual-not-opened")
        note = [screen.at(x, y) for x, y in ((x, y) for y in range(MANUAL_NOTE[1], MANUAL_NOTE[3], 2)
                                              for x in range(MANUAL_NOTE[0], MANUAL_NOTE[2], 2))]
        changed = sum(1 for a, b in zip(footer, note) if distance(a, b) > 60)
        s.check("a manual that cannot be opened is reported on the panel (%d pixels)" % changed, changed > 150)
        s.check("... legibly", text_contrast(screen, *MANUAL_NOTE) >= 4.5)
        s.check("the failed opener is not left defunct", not s.defunct_children())

        s.click(100, 450)
        screen = s.screenshot("5-information-closed")
        s.check("a click outside the panel closes it", is_window(screen.at(232, 318)))

        s.click(108, 45, settle=1.2)
        screen = s.screenshot("6-preset-menu")
        menu_top = None
        for y in range(48, 240):
            if distance(screen.at(165, y), MENU_PANEL) <= 3:     # right of the button's face
                menu_top = y - 1                                   # below the one-pixel edge
                break
        s.check("preset menu opens below the button", menu_top is not None and 50 <= menu_top <= 70)
        if menu_top is not None:
            left = next(x for x in range(60, 165) if distance(screen.at(x, menu_top + 12), MENU_PANEL) <= 3)
            worst = min(text_contrast(screen, left + 6, menu_top + 7 + 25 * row + 3, left + 85,
                                      menu_top + 7 + 25 * row + 22) for row in range(5))
            s.check("every preset row reads at 4.5:1 or better (worst %.1f:1)" % worst, worst >= 4.5)
        if menu_top is not None:
            # Rows: a 7-pixel spacer, then Default, Front Kick, Front Vocal, Front Air, More Color.
            s.click(130, menu_top + 7 + 3 * 25 + 12, settle=1.2)
            s.run("xdotool", "mousemove", "0", "0")
            time.sleep(0.6)
            screen = s.screenshot("7-front-air")
            s.check("Front Air lights Depth up to 11", is_orange(screen.at(*depth_point(10))))
            s.check("Front Air leaves Depth dark past 11", is_window(screen.at(*depth_point(13)), 10))
            s.check("Front Air lights Depth EQ to its top", is_orange(screen.at(*eq_point(3.8))))
            s.check("menu closed after the choice", distance(screen.at(165, menu_top + 30), MENU_PANEL) > 3)

        s.check("the Standalone is still running", s.app.poll() is None)

    print("%d passed, %d failed" % (s.passed, len(s.failures)))
    return 1 if s.failures else 0


if __name__ == "__main__":
    sys.exit(main())
