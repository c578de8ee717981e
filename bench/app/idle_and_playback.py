#!/usr/bin/env python3
"""What an open window costs, and how fast playback runs, in the real program.

Runs the scriptable build of the program (build/marionette-lab-scripted) on the fixture arm (a clip of 49 frames at 24 fps) under a
virtual X server and reports, from one run:
  idle     CPU seconds per wall second and frames drawn over 10 s, model loaded, paused
  speed 1  clip seconds advanced per wall second, clock steps per second (frames in
           which the view drew) and window frames per second (one a step: the time
           slider moves in the step's frame)
  speed 2  the same at twice the speed
Frames are counted from Qt's render-loop timing log (QSG_RENDER_TIMING).

Usage: bench/app/idle_and_playback.py [build directory]   (default: build)
"""
import os
import re
import subprocess
import sys
import threading
import time

CLIP_SECONDS = 49 / 24  # the fixture arm's "Bend"
IDLE_FROM, IDLE_TO = 3000, 13000
PLAY_PHASES = [(1.0, 14000, 19000), (2.0, 19500, 24500)]


def script():
    steps = [f"{IDLE_FROM}:print=modelNames", f"{IDLE_TO}:print=modelNames",
             f"{IDLE_TO + 100}:call=findAnimatedModel", f"{IDLE_TO + 200}:call=playToggle"]
    for speed, start, end in PLAY_PHASES:
        steps.append(f"{start - 300}:set=speedVal={speed}")
        steps += [f"{t}:print=sliderVal" for t in range(start, end + 1, 100)]
    steps.append(f"{PLAY_PHASES[-1][2] + 200}:quit=0")
    return ";".join(steps)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    program = os.path.join(build, "marionette-lab-scripted")
    model = os.path.join(build, "fixtures", "arm_two_clips.glb")
    env = dict(os.environ, QSG_RENDER_TIMING="1", MARIONETTE_LAB_SCRIPT=script(),
               QT_LOGGING_RULES="qt.scenegraph.time.renderloop=true")
    process = subprocess.Popen([program, model], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, bufsize=1)
    # Each line with the time it arrived; the program's own pid is the child of
    # the X server wrapper when there is one.
    events = []

    def read():
        for line in process.stdout:
            events.append((time.monotonic(), line.rstrip("\n"), cpu_seconds(process.pid)))

    reader = threading.Thread(target=read)
    reader.start()
    process.wait()
    reader.join()

    frames = [t for t, line, _ in events if re.search(r"[Ff]rame rendered", line)]
    # Frames in which the view drew (a clock step); the others drew the window alone.
    view_frames = [t for t, line, _ in events if re.search(r"[Ff]rame rendered.*render=[1-9]", line)]
    names = [(t, cpu) for t, line, cpu in events if line.startswith("modelNames=")]
    if len(names) < 2:
        sys.exit("the program did not run the script; is it built, and under an X server?")
    (idle_start, cpu_start), (idle_end, cpu_end) = names[0], names[1]
    idle_frames = sum(idle_start < t <= idle_end for t in frames)
    print(f"idle: {(cpu_end - cpu_start) / (idle_end - idle_start) * 100:.2f} % of one core, "
          f"{idle_frames} frames in {idle_end - idle_start:.1f} s")

    sliders = [(t, float(line.split("=")[1])) for t, line, _ in events
               if line.startswith("sliderVal=")]
    per_phase = (len(sliders)) // len(PLAY_PHASES)
    for index, (speed, _, _) in enumerate(PLAY_PHASES):
        samples = sliders[index * per_phase:(index + 1) * per_phase]
        advanced = sum((b - a) % 1.0 for (_, a), (_, b) in zip(samples, samples[1:]))
        wall = samples[-1][0] - samples[0][0]
        steps = sum(samples[0][0] < t <= samples[-1][0] for t in view_frames)
        drawn = sum(samples[0][0] < t <= samples[-1][0] for t in frames)
        rate = advanced * CLIP_SECONDS / wall
        print(f"speed {speed}: {rate:.3f} clip s per wall s (ratio to speed {rate / speed:.3f}), "
              f"{steps / wall:.1f} steps and {drawn / wall:.1f} window frames per s")


if __name__ == "__main__":
    main()
