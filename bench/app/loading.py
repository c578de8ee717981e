#!/usr/bin/env python3
"""How the window fares while a big file loads, and what a loaded model costs in memory.

Runs the scriptable build of the program (marionette-lab-scripted) under a virtual X
server. Sheets are written by the fixture tool (make-fixtures --sheet) into a
temporary folder.

  gap     the fixture arm plays; then a 1,000,000-triangle GLB is opened. Reported:
          the longest time between two frames of the main window from the open
          command to openSourceEnd (the load), the time from then to the first
          frame that draws the model, the median frame time with the model drawn
          (what drawing a million triangles costs, loading aside), and the open's
          total time (command to openSourceEnd), also with no playback beside it;
          and the window's frames a second while the arm plays before the open (a
          frame for each playback tick: about 60). Medians of five runs.
  memory  resident memory of the program holding a 5,120,000-triangle GLB (peak and
          settled), of the same program empty, and the peak of Assimp's own read
          of the file (bench_read_peak), with the ratio of the model's cost (loaded
          minus empty) to Assimp's peak.

Usage: bench/app/loading.py [build directory] [gap|memory]...   (default: build, both)
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time

OPEN_AT = 3000


def run_program(build, script, model=None, until="quit"):
    program = os.path.join(build, "marionette-lab-scripted")
    env = dict(os.environ, MARIONETTE_LAB_SCRIPT=script)
    process = subprocess.Popen([program] + ([model] if model else []), env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                               bufsize=1)
    events = []
    memory = {}

    def read():
        for line in process.stdout:
            line = line.rstrip("\n")
            # Lines the program timed itself end in that time: this reader may be
            # scheduled late on a machine the program keeps busy.
            event, _, stamp = line.partition(" ")
            if re.fullmatch(r"\d+\.\d+", stamp):
                events.append((float(stamp), event))
            else:
                events.append((time.monotonic(), line))
            if line.startswith("memory"):
                memory.update(status(process.pid))

    reader = threading.Thread(target=read)
    reader.start()
    process.wait()
    reader.join()
    return events, memory


def status(pid):
    values = {}
    with open(f"/proc/{pid}/status") as lines:
        for line in lines:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0]) / 1024
    return values


def frame_gap(build, sheet, play=True):
    playback = [f"{OPEN_AT - 1000}:call=findAnimatedModel", f"{OPEN_AT - 900}:call=playToggle"]
    script = ";".join((playback if play else []) + [f"{OPEN_AT - 500}:frames=1",
                       f"{OPEN_AT}:open={sheet}", f"{OPEN_AT + 15000}:quit=0"])
    events, _ = run_program(build, script, os.path.join(build, "fixtures", "arm_two_clips.glb"))
    start = next(t for t, line in events if line == "open")
    ends = [t for t, line in events if line == "openSourceEnd" and t > start]
    if not ends:
        sys.exit("the open did not end; is the program built, and under an X server?")
    end = ends[0]
    frames = [t for t, line in events if line == "frame"]
    during = [start] + [t for t in frames if start < t <= end] + [end]
    after = [t for t in frames if t > end]
    gap = max(b - a for a, b in zip(during, during[1:]))
    if not play:
        return end - start
    drawn = statistics.median(b - a for a, b in zip(after, after[1:]))
    playing = [t for t in frames if t <= start]
    rate = (len(playing) - 1) / (playing[-1] - playing[0])
    return gap, after[0] - end, drawn, end - start, rate


def memory(build, sheet):
    script = f"{8000}:print=modelNames;{8100}:print=memory;{8300}:quit=0"
    _, loaded = run_program(build, script, sheet)
    _, empty = run_program(build, f"{3000}:print=memory;{3200}:quit=0")
    reader = os.path.join(build, "bench", "importer", "bench_read_peak")
    assimp = float(subprocess.run([reader, sheet, "assimp"], capture_output=True, text=True,
                                  check=True).stdout.split()[-1])
    importer = float(subprocess.run([reader, sheet, "importer"], capture_output=True, text=True,
                                    check=True).stdout.split()[-1])
    return loaded, empty, assimp, importer


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    parts = sys.argv[2:] or ["gap", "memory"]
    fixtures = os.path.join(build, "tools", "fixtures", "make-fixtures")
    with tempfile.TemporaryDirectory() as folder:
        if "gap" in parts:
            sheet = os.path.join(folder, "sheet_1M.glb")
            subprocess.run([fixtures, "--sheet", "710", sheet], check=True)
            runs = [frame_gap(build, sheet) for _ in range(5)]
            gap, first, drawn, total, rate = (statistics.median(column) for column in zip(*runs))
            idle = statistics.median(frame_gap(build, sheet, play=False) for _ in range(5))
            print(f"1M-triangle open: longest frame gap while loading {gap * 1000:.0f} ms, "
                  f"first frame with the model {first * 1000:.0f} ms after the end, frames "
                  f"with it {drawn * 1000:.0f} ms, total open {total * 1000:.0f} ms while the "
                  f"arm plays, {idle * 1000:.0f} ms in an idle window; {rate:.0f} frames a "
                  f"second while the arm plays")
        if "memory" in parts:
            sheet = os.path.join(folder, "sheet_5M.glb")
            subprocess.run([fixtures, "--sheet", "1601", sheet], check=True)
            loaded, empty, assimp, importer = memory(build, sheet)
            cost = loaded["VmHWM"] - empty["VmRSS"]
            print(f"5M-triangle GLB ({os.path.getsize(sheet) / 1e6:.0f} MB): program peak "
                  f"{loaded['VmHWM']:.0f} MB, settled {loaded['VmRSS']:.0f} MB, empty "
                  f"{empty['VmRSS']:.0f} MB; Assimp's read peak {assimp:.0f} MB, the importer's "
                  f"read and conversion peak {importer:.0f} MB; the model's peak cost "
                  f"{cost:.0f} MB = {cost / assimp:.2f} x Assimp's peak, the program's peak "
                  f"{loaded['VmHWM'] / assimp:.2f} x")


if __name__ == "__main__":
    main()
