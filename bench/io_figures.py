#!/usr/bin/env python3
"""The input and output side of a large render, measured on the whole process.

Usage:  python3 bench/io_figures.py [--glimmark BIN] [--base BIN] [--scenes DIR]
                                    [--size 2560x1920] [--runs 5] [--only a,b]

DIR holds the benchmark scenes (default build/bench/gmk, made by bench/run.sh
or gen_mesh.py). Three figures, each from the fastest of --runs runs (noise on
a shared machine only ever adds time), in processor time (user + system) and
wall time:

  parse   the building parse of the mesh scene in MB of text a second:
          `glimmark check --strict mesh.gmk` less the same scene without its
          INCLUDE FILE line (start-up and the rest of the scene), against the
          size of mesh_data.gmk
  png     what writing the PNG adds to `glimmark render SCENE -W W -H H -o
          x.png` over the same render to x.ppm, as a share of the PNG run,
          and the file's size
  memory  the render's peak resident memory (the PNG run) less that of
          `glimmark check --strict` (the scene built, nothing traced), in
          units of the picture's 4-byte pixels; `check` alone is shown too

--base BIN measures a second program the same way, its runs interleaved with
the first's, and prints both (before and after a change). The load average is
printed first and last: runs under load are not comparable.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

SCENES = ["showcase", "showcase_noaa", "many_spheres", "mesh"]


def run(cmd, cwd):
    """Runs cmd; returns (wall s, cpu s, max RSS kB)."""
    start = time.monotonic()
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.monotonic() - start
    err = p.stderr.read().decode(errors="replace")
    p.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("io_figures: %s failed:\n%s" % (" ".join(cmd), err))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def fastest(programs, make_cmd, cwd, runs):
    """Runs every program `runs` times, interleaved; the fastest of each."""
    best = {name: [float("inf"), float("inf"), 0] for name in programs}
    for _ in range(runs):
        for name, binary in programs.items():
            wall, cpu, rss = run(make_cmd(binary), cwd)
            b = best[name]
            b[0], b[1], b[2] = min(b[0], wall), min(b[1], cpu), max(b[2], rss)
    return best


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--glimmark", default="build/glimmark")
    ap.add_argument("--base", help="a second glimmark to compare with")
    ap.add_argument("--scenes", default="build/bench/gmk")
    ap.add_argument("--size", default="2560x1920")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", help="scenes for the png and memory figures")
    a = ap.parse_args()
    width, height = (int(v) for v in a.size.split("x"))
    scenes_dir = os.path.abspath(a.scenes)
    programs = {"new": os.path.abspath(a.glimmark)}
    if a.base:
        programs = {"base": os.path.abspath(a.base), **programs}
    scenes = a.only.split(",") if a.only else SCENES
    print("load average before: %s; %d runs each, the fastest kept" % (load(), a.runs))

    with tempfile.TemporaryDirectory() as tmp:
        # parse: the mesh scene with and without its triangles
        with open(os.path.join(scenes_dir, "mesh.gmk")) as f:
            lines = [l for l in f if "INCLUDE FILE" not in l]
        empty = os.path.join(tmp, "mesh_empty.gmk")
        with open(empty, "w") as f:
            f.writelines(lines)
        text_mb = os.path.getsize(os.path.join(scenes_dir, "mesh_data.gmk")) / 1e6
        full = fastest(programs, lambda b: [b, "check", "--strict", "mesh.gmk"], scenes_dir, a.runs)
        bare = fastest(programs, lambda b: [b, "check", "--strict", empty], scenes_dir, a.runs)
        plain = fastest(programs, lambda b: [b, "check", "mesh.gmk"], scenes_dir, a.runs)
        print("\nparse: check --strict mesh.gmk (%.1f MB of text) less the scene without it" %
              text_mb)
        print("%-5s %9s %9s %10s %10s" % ("", "cpu s", "wall s", "MB/s cpu", "MB/s wall"))
        for name in programs:
            cpu = full[name][1] - bare[name][1]
            wall = full[name][0] - bare[name][0]
            print("%-5s %9.3f %9.3f %10.1f %10.1f" %
                  (name, cpu, wall, text_mb / cpu if cpu > 0 else 0, text_mb / wall if wall > 0 else 0))

        # png and memory: each scene to PNG and to PPM
        print("\npng and memory: render SCENE -W %d -H %d -q -o x.png / x.ppm" % (width, height))
        print("%-14s %-5s %8s %8s %8s %8s %7s %7s %10s %8s %8s %8s" %
              ("scene", "", "png cpu", "ppm cpu", "png wal", "ppm wal", "cpu %", "wall %",
               "png bytes", "rss MB", "strictMB", "pixels x"))
        pixels_mb = 4.0 * width * height / 1e6
        for scene in scenes:
            size = ["-W", str(width), "-H", str(height), "-q"]
            outputs = {}

            def cmd(ext):
                def make(binary):
                    name = "base" if a.base and binary == programs["base"] else "new"
                    out = os.path.join(tmp, "%s_%s.%s" % (scene, name, ext))
                    outputs[(name, ext)] = out
                    return [binary, "render", scene + ".gmk", "-o", out] + size
                return make
            png = fastest(programs, cmd("png"), scenes_dir, a.runs)
            ppm = fastest(programs, cmd("ppm"), scenes_dir, a.runs)
            strict = fastest(programs, lambda b: [b, "check", "--strict", scene + ".gmk"],
                             scenes_dir, 1)
            for name in programs:
                p, q, s = png[name], ppm[name], strict[name]
                print("%-14s %-5s %8.3f %8.3f %8.3f %8.3f %7.1f %7.1f %10d %8.1f %8.1f %8.2f" %
                      (scene, name, p[1], q[1], p[0], q[0], 100 * (p[1] - q[1]) / p[1],
                       100 * (p[0] - q[0]) / p[0], os.path.getsize(outputs[(name, "png")]),
                       p[2] / 1e3, s[2] / 1e3, (p[2] - s[2]) / 1e3 / pixels_mb))
        for name in programs:
            print("check mesh.gmk (%s): peak %.1f MB" % (name, plain[name][2] / 1e3))
    print("\nload average after: %s" % load())


if __name__ == "__main__":
    main()
