#!/usr/bin/env python3
"""Time POV-Ray and Glimmark on the same benchmark scenes and print the ratios.

Usage:  python3 bench/compare_pov.py [--build BUILD] [--runs N] [--threads 1,2]

Needs BUILD/glimmark, BUILD/glimmark_bench and the generated scenes in
BUILD/bench/gmk and BUILD/bench/pov (bench/run.sh makes them). Every scene is
rendered at 640x480 by both programs with the same thread count, N times
(default 3), and the median is kept:

  wall    the whole process, parse and picture file included, for both:
          povray ... +WT<n>   against   glimmark render SCENE -o OUT.png -q -j <n>
  trace   POV-Ray's own "Trace Time" against Glimmark's pixel loop (from
          glimmark_bench, which also gives parse and hierarchy build times)

POV-Ray's command-line front end idles about 0.7 s per run whatever the
scene, so for these small scenes its wall time is mostly start-up; the trace
ratio compares the ray tracers themselves. A ratio above 1 means Glimmark is
faster. Every run is appended to BUILD/bench/compare_pov.tsv.
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

POV_COMMON = ["+W640", "+H480", "-D", "+FN", "File_Gamma=1.0"]

# name, POV-Ray scene and options, Glimmark scene (the same picture layout)
CONFIGS = [
    ("showcase_aa", "showcase.pov", ["+A0.0", "+AM1", "+R2", "+J"], "showcase"),
    ("showcase_noaa", "showcase.pov", ["-A"], "showcase_noaa"),
    ("many_spheres", "many_spheres.pov", ["-A"], "many_spheres"),
    ("mesh", "mesh.pov", ["-A"], "mesh"),
]


def pov_seconds(label, text):
    m = re.search(label + r":.*?\(([\d.]+) seconds\)", text)
    return float(m.group(1)) if m else None


def run_pov(pov_dir, scene, options, threads, out):
    cmd = ["povray", "+I" + scene, "+O" + out] + POV_COMMON + options + ["+WT%d" % threads]
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=pov_dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True, errors="replace")
    wall = time.perf_counter() - start
    if proc.returncode != 0 or "POV-Ray finished" not in proc.stdout:
        sys.stderr.write(proc.stdout[-2000:])
        raise SystemExit("povray failed: " + " ".join(cmd))
    text = proc.stdout
    return {"cmd": " ".join(cmd), "wall": wall, "parse": pov_seconds("Parse Time", text),
            "trace": pov_seconds("Trace Time", text)}


def run_glimmark(build, gmk_dir, scene, threads, out):
    cmd = [os.path.join(build, "glimmark"), "render", scene + ".gmk", "-o", out, "-q",
           "-j", str(threads)]
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=gmk_dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True, errors="replace")
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.stderr.write(proc.stdout[-2000:])
        raise SystemExit("glimmark failed: " + " ".join(cmd))
    return {"cmd": " ".join(cmd), "wall": wall}


def run_split(build, gmk_dir, scene, threads):
    """Parse, hierarchy build and trace times of one accelerated frame."""
    with tempfile.NamedTemporaryFile(suffix=".json", delete=False) as f:
        out = f.name
    cmd = [os.path.join(build, "glimmark_bench"), "--scenes=" + gmk_dir, "--only=" + scene,
           "--threads=%d" % threads, "--benchmark_filter=^%s/bvh_all_threads/" % scene,
           "--benchmark_out=" + out, "--benchmark_out_format=json"]
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    with open(out) as f:
        data = json.load(f)
    os.unlink(out)
    b = data["benchmarks"][0]
    return {"cmd": " ".join(cmd), "parse": b["parse_s"], "build": b["build_s"],
            "trace": b["trace_s"], "camera_rays": b["camera_rays"]}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--threads", default="1,2")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    pov_dir = os.path.join(build, "bench", "pov")
    gmk_dir = os.path.join(build, "bench", "gmk")
    for d in (pov_dir, gmk_dir):
        if not os.path.isdir(d):
            raise SystemExit("%s is missing: run bench/run.sh first" % d)
    threads_list = [int(t) for t in args.threads.split(",") if t]
    tsv = open(os.path.join(build, "bench", "compare_pov.tsv"), "a")
    rows = []
    for name, pov_scene, pov_options, gmk_scene in CONFIGS:
        for threads in threads_list:
            pov, ours, split = [], [], []
            for _ in range(args.runs):
                pov.append(run_pov(pov_dir, pov_scene, pov_options, threads,
                                   "out_%s_wt%d.png" % (name, threads)))
                ours.append(run_glimmark(build, gmk_dir, gmk_scene, threads,
                                         "/tmp/glimmark_cmp_%s_%d.png" % (name, threads)))
                split.append(run_split(build, gmk_dir, gmk_scene, threads))
            for p, o, s in zip(pov, ours, split):
                tsv.write("\t".join([name, str(threads), "%.4f" % p["wall"], str(p["parse"]),
                                     str(p["trace"]), "%.4f" % o["wall"], "%.4f" % s["parse"],
                                     "%.4f" % s["build"], "%.4f" % s["trace"], p["cmd"],
                                     o["cmd"]]) + "\n")
            med = lambda runs, key: statistics.median(r[key] for r in runs)
            rows.append((name, threads, med(pov, "wall"), med(pov, "parse"), med(pov, "trace"),
                         med(ours, "wall"), med(split, "parse"), med(split, "build"),
                         med(split, "trace"), pov[0]["cmd"], ours[0]["cmd"]))
    tsv.close()

    print("Medians of %d runs, seconds; ratio = POV-Ray / Glimmark (above 1: Glimmark faster)"
          % args.runs)
    print("%-14s %3s | %8s %8s %8s | %8s %8s %8s %8s | %7s %7s" % (
        "scene", "thr", "pov wall", "pov prs", "pov trc", "gmk wall", "gmk prs", "gmk bvh",
        "gmk trc", "wall x", "trace x"))
    for (name, threads, pw, pp, pt, ow, op, ob, ot, _, _) in rows:
        print("%-14s %3d | %8.3f %8.3f %8.3f | %8.3f %8.3f %8.3f %8.3f | %7.2f %7.2f" % (
            name, threads, pw, pp, pt, ow, op, ob, ot, pw / ow, pt / ot))
    print("\nCommand lines (run in BUILD/bench/pov and BUILD/bench/gmk):")
    for row in rows:
        print("  " + row[9])
        print("  " + row[10])


if __name__ == "__main__":
    main()
