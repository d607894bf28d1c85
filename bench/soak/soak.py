#!/usr/bin/env python3
"""The program driven for many rounds through its own controls, as a teacher uses it.

Runs on the X display in DISPLAY (soak.sh gives it one of its own, with a window manager). The
program starts on the synthetic devices with a save folder and a home of its own (removed at the
end, also when this script is stopped), and each round, by mouse clicks and keys sent as a person
sends them (XTest, through xdotool), it records a camera movie (Record, Camera Only, about 3 s,
stop), a screen recording (Record, Screen, about 3 s, stop), takes a snapshot, turns
picture-in-picture on and off (View Option, PIP), opens and closes the archive list, and exports a
GIF from the archive list's GIF maker (the round's snapshot, which is then deleted as the maker
offers). Every step waits for what it should bring about (a finished movie in videos/, a picture
in images/, a GIF, windows that open and close, the picture on screen) and the run stops with the
reason when one does not come.

After the first round (the warm-up) and after the last it reads the program's open descriptors,
threads and resident memory from /proc and prints them with the difference. The target: no more
descriptors or threads than after the warm-up, and resident memory within 50 MB of it; the exit
code is 1 when it is missed, 2 when a step failed.

    soak.py --build BUILD_DIR [--rounds N] [--program PATH] [--shots DIR]
"""
import argparse
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RSS_BUDGET_MB = 50
RECORDING_SECONDS = 3


class StepFailed(Exception):
    pass


def run(*args, check=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise StepFailed(f"{' '.join(args)} failed: {result.stderr.strip()}")
    return result.stdout


def wait_for(what, condition, timeout, interval=0.1):
    """Polls `condition` until it returns something true; that value, or StepFailed after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise StepFailed(f"{what}: not within {timeout} s")
        time.sleep(interval)


# --- The screen -------------------------------------------------------------------------------

class Region:
    """Pixels of a rectangle of the screen, RGB."""

    def __init__(self, x, y, width, height, data, stride):
        self.x, self.y, self.width, self.height = x, y, width, height
        self.data, self.stride = data, stride

    def pixel(self, x, y):
        i = (y - self.y) * self.stride + (x - self.x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def crop(self, x0, x1):
        """The columns from x0 to x1 (screen coordinates)."""
        rows = [self.data[r * self.stride + (x0 - self.x) * 3:r * self.stride + (x1 - self.x) * 3]
                for r in range(self.height)]
        return Region(x0, self.y, x1 - x0, self.height, b"".join(rows), (x1 - x0) * 3)

    def pixels(self, step=2):
        for y in range(self.y, self.y + self.height, step):
            for x in range(self.x, self.x + self.width, step):
                yield self.pixel(x, y)

    def fraction(self, test, step=2):
        values = [test(p) for p in self.pixels(step)]
        return sum(values) / max(1, len(values))

    def differing(self, other, tolerance=40, step=2):
        """The share of pixels that differ from the same place in `other` by more than `tolerance`."""
        count = total = 0
        for y in range(self.y, self.y + self.height, step):
            for x in range(self.x, self.x + self.width, step):
                a, b = self.pixel(x, y), other.pixel(x, y)
                total += 1
                count += max(abs(a[i] - b[i]) for i in range(3)) > tolerance
        return count / max(1, total)


def grab(x, y, width, height):
    """The screen's pixels in a rectangle, read through GStreamer's X image source."""
    with tempfile.NamedTemporaryFile(suffix=".rgb") as f:
        run("gst-launch-1.0", "-q", "ximagesrc", f"startx={x}", f"starty={y}", f"endx={x + width - 1}",
            f"endy={y + height - 1}", "num-buffers=1", "use-damage=false", "show-pointer=false", "!",
            "videoconvert", "!", "video/x-raw,format=RGB", "!", "filesink", f"location={f.name}")
        data = open(f.name, "rb").read()
    if not data or len(data) % height:
        raise StepFailed(f"screen grab of {width}x{height} at {x},{y} gave {len(data)} bytes")
    return Region(x, y, width, height, data, len(data) // height)


def screenshot(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    run("gst-launch-1.0", "-q", "ximagesrc", "num-buffers=1", "use-damage=false", "!", "videoconvert", "!",
        "pngenc", "!", "filesink", f"location={path}")


# --- Windows, pointer and keys ----------------------------------------------------------------

def visible_windows(name, by="--name"):
    """The mapped windows whose name (or with by="--class", class) matches a pattern."""
    out = run("xdotool", "search", "--onlyvisible", by, name, check=False)
    return out.split()


def geometry(window):
    values = {}
    for line in run("xdotool", "getwindowgeometry", "--shell", window, check=False).splitlines():
        key, _, value = line.partition("=")
        values[key] = value
    if "X" not in values:
        return None
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def pointer():
    fields = dict(item.split(":", 1) for item in run("xdotool", "getmouselocation").split())
    return int(fields["x"]), int(fields["y"])


def click(x, y):
    """A left click where a person would put the pointer (moved there first, as a hand does)."""
    x, y = int(x), int(y)
    # xdotool's --sync waits for the pointer to move: where it already is, it would wait for
    # its own time-out (about 15 s), which would be counted against the program.
    if pointer() != (x, y):
        run("xdotool", "mousemove", "--sync", str(x), str(y))
    time.sleep(0.05)
    run("xdotool", "click", "1")


def keys(*combos):
    for combo in combos:
        run("xdotool", "key", "--clearmodifiers", combo)


def type_text(text):
    run("xdotool", "type", "--delay", "20", text)


# --- Files --------------------------------------------------------------------------------------

def mp4_boxes(data, start=0, end=None):
    """The boxes of an MP4 file's bytes between two offsets: (type, offset of its content, end)."""
    end = len(data) if end is None else end
    boxes, at = [], start
    while at + 8 <= end:
        size, kind, content = int.from_bytes(data[at:at + 4], "big"), data[at + 4:at + 8].decode("latin-1"), at + 8
        if size == 1:
            size, content = int.from_bytes(data[at + 8:at + 16], "big"), at + 16
        elif size == 0:
            size = end - at
        if size < content - at or at + size > end:
            break
        boxes.append((kind, content, at + size))
        at += size
    return boxes


def mp4_seconds(path):
    """The duration a finished MP4 file gives in its movie header, or None (no movie header: the
    file is not finished)."""
    data = contents(path)
    boxes = {kind: (content, end) for kind, content, end in mp4_boxes(data)}
    if "ftyp" not in boxes or "moov" not in boxes:
        return None
    for kind, content, end in mp4_boxes(data, *boxes["moov"]):
        if kind == "mvhd":
            if data[content] == 1:  # version 1: 64-bit times
                scale = int.from_bytes(data[content + 20:content + 24], "big")
                duration = int.from_bytes(data[content + 24:content + 32], "big")
            else:
                scale = int.from_bytes(data[content + 12:content + 16], "big")
                duration = int.from_bytes(data[content + 16:content + 20], "big")
            return duration / scale if scale else None
    return None


def contents(path):
    """A file's bytes; empty when it cannot be read (not there yet, or gone)."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def finished_png(path):
    data = contents(path)
    return data.startswith(b"\x89PNG\r\n\x1a\n") and data[-12:-8] == b"\x00\x00\x00\x00" and data[-8:-4] == b"IEND"


def gif_size(path):
    """Width and height of a complete GIF file (header and trailer), else None."""
    data = contents(path)
    if data[:6] not in (b"GIF89a", b"GIF87a") or not data.endswith(b"\x3b"):
        return None
    return int.from_bytes(data[6:8], "little"), int.from_bytes(data[8:10], "little")


def files(folder, extension):
    try:
        return {n for n in os.listdir(folder) if n.lower().endswith(extension) and not n.startswith(".")}
    except FileNotFoundError:
        return set()


# --- The program --------------------------------------------------------------------------------

def usage(pid):
    """Open descriptors, threads and resident memory (MB) of a process."""
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    threads = len(os.listdir(f"/proc/{pid}/task"))
    rss_kb = 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss_kb = int(line.split()[1])
    return fds, threads, rss_kb / 1024


def settled_usage(pid, quiet=3.0, timeout=30.0):
    """The counts once descriptors and threads have stood still for `quiet` seconds (work that a
    step started in the background has ended), or the last reading after `timeout`."""
    last, since = usage(pid), time.monotonic()
    deadline = since + timeout
    while time.monotonic() < deadline:
        time.sleep(0.5)
        now = usage(pid)
        if now[:2] != last[:2]:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return now
    return usage(pid)


class Program:
    def __init__(self, program, work):
        self.program = program
        self.work = work
        self.home = os.path.join(work, "home")
        self.save = os.path.join(work, "save")
        self.log_path = os.path.join(work, "program.log")
        os.makedirs(os.path.join(self.home, "config", "Quorvane"))
        os.makedirs(self.save)
        # A stored save folder: the program opens on it without asking.
        folder = base64.b64encode(self.save.encode()).decode()
        with open(os.path.join(self.home, "config", "Quorvane", os.path.basename(program) + ".json"), "w") as f:
            json.dump({"bookmark_folder": {"base64": folder}}, f)
        self.root = os.path.join(self.save, "Quorvane")
        self.videos = os.path.join(self.root, "videos")
        self.images = os.path.join(self.root, "images")
        self.process = None

    def start(self):
        env = dict(os.environ)
        env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_RUNTIME_DIR": os.path.join(self.home, "runtime"),
            "QT_QPA_PLATFORM": "xcb",
            "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu",
            "QUORVANE_SYNTHETIC_DEVICES": os.path.join(ROOT, "tests", "fixtures", "synthetic-devices.json"),
            "QV_RESOURCES_DIR": os.environ.get("QV_RESOURCES_DIR", os.path.join(ROOT, "resources")),
        })
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        if os.geteuid() == 0:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        env.pop("WAYLAND_DISPLAY", None)
        self.log = open(self.log_path, "w")
        # A process group of its own: the web engine's helpers end with it.
        self.process = subprocess.Popen(["stdbuf", "-oL", "-eL", self.program], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        note(self.work, "program.pid", self.process.pid)

    @property
    def pid(self):
        return self.process.pid

    def alive(self):
        return self.process.poll() is None

    def output(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def stop(self):
        if not self.process or self.process.poll() is not None:
            return
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait(5)
        except ProcessLookupError:
            pass


# --- The soak -----------------------------------------------------------------------------------

class Soak:
    def __init__(self, program, layout, shots):
        self.p = program
        self.layout = layout
        self.shots = shots
        self.round = 0
        self.thumbnail = False  # the bar shows the last capture in its first place
        self.gifs = 0

    def fail(self, message):
        if self.shots:
            try:
                screenshot(os.path.join(self.shots, f"failed-round-{self.round}.png"))
            except StepFailed:
                pass
        raise StepFailed(f"round {self.round}: {message}")

    def check(self, what, condition, timeout, interval=0.1):
        try:
            return wait_for(what, lambda: self.alive_and(condition), timeout, interval)
        except StepFailed as e:
            self.fail(str(e))

    def alive_and(self, condition):
        if not self.p.alive():
            raise StepFailed(f"the program ended (exit {self.p.process.returncode})")
        return condition()

    def shot(self, name):
        if self.shots and self.round == 1:
            screenshot(os.path.join(self.shots, f"{name}.png"))

    # Where things are. The main window covers the screen (it opens full screen); the root view
    # lays the bar at the bottom centre, the archive list at the left edge, vertically centred,
    # and the GIF maker in the middle.

    def centre(self, r, origin=(0, 0)):
        return origin[0] + r["x"] + r["width"] / 2, origin[1] + r["y"] + r["height"] / 2

    def bar_button(self, icon):
        bar = self.layout["bar.thumbnail" if self.thumbnail else "bar.files"]
        size = bar["size"]
        origin = ((self.screen[2] - size["width"]) // 2, self.screen[3] - size["height"])
        return self.centre(bar[icon], origin)

    def popover(self, name):
        """Waits for the popover of that name (a window of its own over the bar) and returns its place."""
        size = self.layout[f"popover.{name}"]["size"]

        def shown():
            for w in visible_windows(f"^{os.path.basename(self.p.program)}$", "--class"):
                g = geometry(w)
                if g and (g[2], g[3]) == (size["width"], size["height"]):
                    return w, g
            return None
        return self.check(f"the {name} popover opens", shown, 10)

    def popover_gone(self, window):
        return window not in visible_windows(f"^{os.path.basename(self.p.program)}$", "--class")

    def archive_rect(self):
        items = len(files(self.p.images, ".png")) + len(files(self.p.videos, ".mp4"))
        archive = self.layout[f"archive.{min(items, 5)}"]
        top = (self.screen[3] - 1) // 2 - archive["size"]["height"] // 2
        return archive, top

    def archive_state(self):
        """"open" when the archive list's top rows stand fully in view (the right end of its
        grey ground, beyond the rows' titles, is at its place), "closed" when none of them is in
        view (left of it, only the handle's rim), else "moving"."""
        archive, top = self.archive_rect()
        band = grab(0, top + 4, 140, 56)
        grey = lambda p: all(abs(c - 160) <= 6 for c in p)  # the list's ground
        right = band.crop(126, 136).fraction(grey)
        rest = band.crop(20, 126).fraction(grey)
        if right > 0.9 and rest > 0.5:
            return "open"
        if right < 0.05 and rest < 0.05:
            return "closed"
        return "moving"

    # The steps.

    def start(self):
        self.p.start()
        windows = self.check("the main window opens",
                             lambda: visible_windows("^Quorvane$"), 90, 0.3)
        self.window = windows[-1]
        self.check("the first camera frame is shown", lambda: "First camera frame shown" in self.p.output(), 60, 0.2)
        # Full screen, as it opens.
        self.screen = self.check("the window covers the screen", lambda: (
            (g := geometry(self.window)) and g[0] == 0 and g[1] == 0 and g[2] > 1000 and g), 30, 0.2)
        # The archive list slides away 3 s after it appears.
        self.check("the archive list slides away after it first appeared", lambda: self.archive_state() == "closed", 20, 0.3)

    def recording(self, kind, entry, announcement):
        before = files(self.p.videos, ".mp4")
        log_before = len(self.p.output())
        click(*self.bar_button("toolbar_record"))
        window, g = self.popover("Record")
        if kind == "camera":
            self.shot("record-popover")
        click(*self.centre(self.layout["popover.Record"][entry], g))
        # Recording: the bar shows its stop button and the popover closes.
        self.check(f"the Record popover closes when the {kind} recording starts", lambda: self.popover_gone(window), 10)
        time.sleep(RECORDING_SECONDS)
        if kind == "screen":
            self.shot("screen-recording")
        click(*self.bar_button("toolbar_record"))  # the stop button stands in its place

        def finished():
            lines = self.p.output()[log_before:].splitlines()
            names = [os.path.basename(line.split("file://", 1)[1]) for line in lines
                     if line.startswith(announcement + " file://")]
            new = [n for n in names if n in files(self.p.videos, ".mp4") - before]
            return new
        new = self.check(f"the {kind} recording is finished in videos/", finished, 60, 0.2)
        path = os.path.join(self.p.videos, new[0])
        seconds = mp4_seconds(path)
        if seconds is None or seconds < RECORDING_SECONDS - 1:
            self.fail(f"{path} is not a finished movie of about {RECORDING_SECONDS} s (it says {seconds} s)")
        self.thumbnail = True
        return path

    def snapshot(self):
        before = files(self.p.images, ".png")
        click(*self.bar_button("toolbar_snapshot"))
        new = self.check("a snapshot appears in images/", lambda: [
            n for n in files(self.p.images, ".png") - before if finished_png(os.path.join(self.p.images, n))], 30)
        self.thumbnail = True
        return os.path.join(self.p.images, new[0])

    def pip(self):
        # The floating camera window's place: 20 points in from the camera area's top left corner,
        # 320 x 180.
        box = (40, 40, 280, 140)
        before = grab(*box)
        for on in (True, False):
            click(*self.bar_button("toolbar_view"))
            window, g = self.popover("ViewOption")
            if on:
                self.shot("view-option-popover")
            click(*self.centre(self.layout["popover.ViewOption"]["toolbar_pip"], g))
            self.check("the View Option popover closes after PIP", lambda: self.popover_gone(window), 10)
            if on:
                # The second camera's picture over the main one.
                self.check("the picture-in-picture camera shows", lambda: grab(*box).differing(before) > 0.5, 30, 0.3)
                self.shot("pip-on")
            else:
                self.check("the picture-in-picture window goes", lambda: grab(*box).differing(before) < 0.02, 30, 0.3)

    def open_archive(self):
        archive, top = self.archive_rect()
        handle = archive["handle"]
        # Collapsed, the list is 140 to the left: only the handle's right rim is in view.
        click(8, top + handle["y"] + handle["height"] / 2)
        self.check("the archive list slides in", lambda: self.archive_state() == "open", 10, 0.2)
        return archive, top

    def archive(self):
        archive, top = self.open_archive()
        self.shot("archive-open")
        handle = archive["handle"]
        click(handle["x"] + handle["width"] - 8, top + handle["y"] + handle["height"] / 2)
        self.check("the archive list slides away", lambda: self.archive_state() == "closed", 10, 0.2)

    def gif(self, snapshot):
        archive, top = self.open_archive()
        click(*self.centre(archive["generateGif"], (0, top)))
        gif = self.layout["gif"]
        origin = ((self.screen[2] - gif["size"]["width"]) // 2, (self.screen[3] - gif["size"]["height"]) // 2)
        button = gif["exportGif"]
        area = (origin[0] + button["x"] + 3, origin[1] + button["y"] + 3, 14, button["height"] - 6)

        def export_button():
            """How much of the "Export GIF" button's ground (blue at 60 %) is in view: it shows once
            the maker's preview has its first frame."""
            return grab(*area).fraction(lambda p: p[2] - p[0] > 80 and p[2] - p[1] > 80)
        self.check("the GIF maker opens with the round's snapshot as its frame", lambda: export_button() > 0.6, 20, 0.3)
        self.shot("gif-maker")
        click(*self.centre(button, origin))
        dialog = self.check("the export panel opens", lambda: visible_windows("^Export GIF$"), 20, 0.2)[-1]
        self.gifs += 1
        name = f"soak-{self.gifs:03d}.gif"
        target = os.path.join(self.p.root, name)
        # The name field has the keyboard, holding "export.gif": replaced by a name of the round.
        run("xdotool", "windowactivate", "--sync", dialog, check=False)
        keys("ctrl+a")
        type_text(name)
        self.shot("export-panel")
        keys("Return")
        size = self.check(f"the GIF {name} is written", lambda: gif_size(target), 60, 0.2)
        if size[0] < 16 or size[1] < 16:
            self.fail(f"{name} is {size[0]} x {size[1]}")
        # "Export Successful!": the question whether to delete the snapshots, "Keep" the default;
        # Tab goes to "DELETE" and Space presses it.
        alert = self.check("the export alert comes", lambda: [
            w for w in visible_windows(f"^{os.path.basename(self.p.program)}$", "--class")
            if w not in (self.window, dialog) and self.transient_for_main(w)], 20, 0.2)[-1]
        self.shot("export-alert")
        run("xdotool", "windowactivate", "--sync", alert, check=False)
        keys("Tab", "space")
        # "DELETE" removes exactly the GIF's frames: the round's snapshot was its one frame.
        self.check("the snapshot in the GIF is deleted and the GIF maker closes",
                   lambda: not os.path.exists(snapshot) and export_button() < 0.2, 20, 0.3)
        self.shot("after-export")

    def transient_for_main(self, window):
        out = run("xprop", "-id", window, "WM_TRANSIENT_FOR", check=False)
        return "window id #" in out and int(out.rsplit("#", 1)[1].strip(), 16) == int(self.window)

    def one_round(self):
        """Runs the round's steps; the seconds each took and how much the RSS changed over it (MB,
        read as the step ends: a pointer to where memory goes, not a settled figure)."""
        times = {}

        def step(name, action):
            start, rss = time.monotonic(), usage(self.p.pid)[2]
            result = action()
            times[name] = (time.monotonic() - start, usage(self.p.pid)[2] - rss)
            return result
        step("movie", lambda: self.recording("camera", "toolbar_record_camera", "recorded"))
        step("screen", lambda: self.recording("screen", "toolbar_record_screen", "screen recorded at"))
        snapshot = step("snapshot", self.snapshot)
        step("pip", self.pip)
        step("archive", self.archive)
        step("gif", lambda: self.gif(snapshot))
        return times


def note(work, name, pid):
    with open(os.path.join(work, name), "w") as f:
        f.write(str(pid))


def table(first, last, rounds):
    rows = [("descriptors", first[0], last[0], "{:d}"), ("threads", first[1], last[1], "{:d}"),
            ("RSS (MB)", first[2], last[2], "{:.1f}")]
    print(f"\n{'':12} | {'after round 1':>14} | {f'after round {rounds}':>14} | {'difference':>10}")
    for name, a, b, fmt in rows:
        diff = b - a
        print(f"{name:12} | {fmt.format(a):>14} | {fmt.format(b):>14} | {('+' if diff >= 0 else '') + fmt.format(diff):>10}")
    problems = []
    if last[0] > first[0]:
        problems.append(f"{last[0] - first[0]} more descriptors")
    if last[1] > first[1]:
        problems.append(f"{last[1] - first[1]} more threads")
    if last[2] - first[2] > RSS_BUDGET_MB:
        problems.append(f"RSS grew by {last[2] - first[2]:.1f} MB")
    verdict = "PASS" if not problems else "FAIL (" + ", ".join(problems) + ")"
    print(f"\nTarget: no more descriptors or threads than after round 1, RSS within {RSS_BUDGET_MB} MB of it: {verdict}")
    return not problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="the build folder (the program and qv_soak_layout)")
    parser.add_argument("--rounds", type=int, default=30)
    parser.add_argument("--program", help="the program (default: BUILD/quorvane-wendle, the edition with the GIF maker)")
    parser.add_argument("--shots", help="a folder for screenshots of the first round (and of a failure)")
    parser.add_argument("--work", help="an empty folder for the run's home and save folder, removed at the end "
                        "(default: a new temporary one); the driver's and the program's ids are noted in it")
    args = parser.parse_args()
    if args.rounds < 2:
        parser.error("at least 2 rounds: the first is the warm-up")
    program = os.path.abspath(args.program or os.path.join(args.build, "quorvane-wendle"))
    layout_tool = os.path.join(args.build, "bench", "soak", "qv_soak_layout")

    work = os.path.abspath(args.work) if args.work else tempfile.mkdtemp(prefix="qv-soak-")
    note(work, "soak.pid", os.getpid())
    p = None

    def stopped(signum, frame):
        raise SystemExit(128 + signum)
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(s, stopped)
    try:
        # The controls' places, from the program's own widgets in its style on this display.
        env = dict(os.environ, HOME=work, XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="xcb")
        edition = "vemo" if os.path.basename(program) == "quorvane" else "wendle"
        layout = json.loads(subprocess.run([layout_tool, edition], env=env, capture_output=True, text=True,
                                           check=True).stdout)
        if "generateGif" not in layout["archive.0"]:
            raise StepFailed(f"{program} has no GIF maker in its archive list (the Wendle edition has)")
        p = Program(program, work)
        soak = Soak(p, layout, os.path.abspath(args.shots) if args.shots else None)
        soak.start()
        print(f"program {program}, pid {p.pid}, {args.rounds} rounds", flush=True)
        first = None
        began = time.monotonic()
        for n in range(1, args.rounds + 1):
            soak.round = n
            start = time.monotonic()
            times = soak.one_round()
            steps = ", ".join(f"{name} {t:.1f} s {mb:+.0f} MB" for name, (t, mb) in times.items())
            print(f"round {n}: {time.monotonic() - start:.1f} s ({steps})", flush=True)
            if n == 1:
                first = settled_usage(p.pid)
                print(f"  after warm-up: {first[0]} descriptors, {first[1]} threads, {first[2]:.1f} MB", flush=True)
                began = time.monotonic()
        last = settled_usage(p.pid)
        per_round = (time.monotonic() - began) / (args.rounds - 1)
        print(f"\n{args.rounds - 1} rounds after the warm-up, {per_round:.1f} s per round")
        ok = table(first, last, args.rounds)
        return 0 if ok else 1
    except StepFailed as e:
        print(f"\nsoak FAILED: {e}", file=sys.stderr)
        if p:
            tail = p.output().splitlines()[-25:]
            print("last lines of the program's output:\n  " + "\n  ".join(tail), file=sys.stderr)
        return 2
    finally:
        if p:
            p.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
