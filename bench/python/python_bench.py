"""The Python module's figures: glimmark.render against the command's own
trace of the same scene, what the passes add, and 1,000 renders of a small
scene in one process (memory and file descriptors).

    PYTHONPATH=build python3 bench/python/python_bench.py [BUILD] [RUNS]

The command is timed as a whole process writing a PPM file (its start and
the file are a few milliseconds); glimmark.render around the call (parse
and trace). Both as wall-clock time and as processor time (user and system,
every thread): on a machine shared with other work the wall-clock figures
wander, the processor time much less.
"""
import os
import pathlib
import resource
import subprocess
import sys
import time

import glimmark

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "build")
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
SHOWCASE = ROOT / "examples" / "showcase.gmk"
SIZE = {"width": 640, "height": 480}


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def command_seconds():
    start, cpu = time.perf_counter(), children_cpu()
    subprocess.run([str(BUILD / "glimmark"), "render", "-q", str(SHOWCASE), "-W", "640", "-H",
                    "480", "-o", "/tmp/gmk_python_bench.ppm"], check=True,
                   stdout=subprocess.DEVNULL)
    return time.perf_counter() - start, children_cpu() - cpu


def python_seconds(passes):
    text = SHOWCASE.read_text()
    start, cpu = time.perf_counter(), time.process_time()
    glimmark.render(text, folder=SHOWCASE.parent, passes=passes, **SIZE)
    return time.perf_counter() - start, time.process_time() - cpu


def rss_kb():
    for line in open("/proc/self/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def main():
    all_passes = ("rgb", "depth", "normal", "object", "linear")
    timings = {"command": [], "render": [], "render_passes": []}
    # Interleaved, so that a busy moment of the machine falls on all three.
    for _ in range(RUNS):
        timings["command"].append(command_seconds())
        timings["render"].append(python_seconds(("rgb",)))
        timings["render_passes"].append(python_seconds(all_passes))
    print(os.getloadavg())
    for kind, at in (("wall-clock", 0), ("processor", 1)):
        best = {k: min(v[at] for v in values) for k, values in timings.items()}
        print(f"showcase 640x480, {kind} time, best of {RUNS}: command {best['command']:.3f} s, "
              f"glimmark.render {best['render']:.3f} s "
              f"({best['render'] / best['command']:.3f} x), with every pass "
              f"{best['render_passes']:.3f} s "
              f"(+{100 * (best['render_passes'] / best['render'] - 1):.1f} %)")
        for name, values in timings.items():
            print(f"  {name}: " + " ".join(f"{v[at]:.3f}" for v in values))

    small = "TRACER WIDTH 64 HEIGHT 48 END_TRACER SCENE LIGHT TRANSLATE 0 5 0 END_LIGHT " \
            "SPHERE TRANSLATE 0 0 5 END_SPHERE END_SCENE"
    fds_before = len(os.listdir("/proc/self/fd"))
    rss = []
    for _ in range(1000):
        frame = glimmark.render(small, passes=all_passes)
        del frame
        rss.append(rss_kb())
    first, last = sum(rss[:100]) / 100, sum(rss[-100:]) / 100
    fds_after = len(os.listdir("/proc/self/fd"))
    print(f"1,000 renders of a 64x48 scene with every pass: RSS first 100 {first / 1024:.1f} MB, "
          f"last 100 {last / 1024:.1f} MB (difference {(last - first) / 1024:+.2f} MB); "
          f"open file descriptors {fds_before} before, {fds_after} after")


if __name__ == "__main__":
    main()
