#!/usr/bin/env python3
"""Time POV-Ray and Glimmark on the same benchmark scenes and print the ratios.

Usage:  python3 bench/compare_pov.py [--build BUILD] [--runs N] [--threads 1,2]
                                     [--size WxH] [--format png|ppm] [--stat median|min]
                                     [--only showcase_aa,showcase_noaa,many_spheres,mesh]

Needs BUILD/glimmark, BUILD/glimmark_bench and the generated scenes in
BUILD/bench/gmk and BUILD/bench/pov (bench/run.sh makes them). Every scene is
rendered by both programs with the same thread count and size (--size, or
the scenes' own 640x480), N times (default 3), and the median (or, with
--stat min, the fastest run) is kept:

  wall    the whole process, parse and picture file included, for both:
          povray ... +WT<n>   against   glimmark render SCENE -o OUT.png -q -j <n>
  cpu     the processor time (user + system) of that whole process
  trace   POV-Ray's own "Trace Time" (and its CPU-seconds) against Glimmark's
          pixel loop (from glimmark_bench, which also gives parse and
          hierarchy build times and the loop's processor time)

POV-Ray's command-line front end idles about 0.7 s per run whatever the
scene, so for the small default size its wall time is mostly start-up; the
trace ratio compares the ray tracers themselves. A ratio above 1 means
Glimmark is faster. With 1 among the thread counts, "x1" is Glimmark's own
whole-process wall time on one thread against this many (--format ppm keeps
the picture encoder out of it). The load average is printed with every
scene: runs under load are not comparable. Every run is appended to
BUILD/bench/compare_pov.tsv.
"""

import argparse
import json
import os
import re
import resource
import statistics
import subprocess
import sys
import tempfile
import time

POV_COMMON = ["-D", "+FN", "File_Gamma=1.0"]


def load():
    return " ".join("%.2f" % x for x in os.getloadavg())


def timed(cmd, cwd):
    """Runs cmd; its output, wall seconds and processor seconds (user + system)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True, errors="replace")
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return proc, wall, cpu


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


def pov_cpu_seconds(label, text):
    m = re.search(label + r":.*?\(([\d.]+) seconds\)\s*\n\s*using \d+ thread\(s\) with "
                  r"([\d.]+) CPU-seconds", text)
    return float(m.group(2)) if m else None


def run_pov(pov_dir, scene, options, threads, size, out):
    cmd = (["povray", "+I" + scene, "+O" + out, "+W%d" % size[0], "+H%d" % size[1]] +
           POV_COMMON + options + ["+WT%d" % threads])
    proc, wall, cpu = timed(cmd, pov_dir)
    if proc.returncode != 0 or "POV-Ray finished" not in proc.stdout:
        sys.stderr.write(proc.stdout[-2000:])
        raise SystemExit("povray failed: " + " ".join(cmd))
    text = proc.stdout
    return {"cmd": " ".join(cmd), "wall": wall, "cpu": cpu,
            "parse": pov_seconds("Parse Time", text), "trace": pov_seconds("Trace Time", text),
            "trace_cpu": pov_cpu_seconds("Trace Time", text)}


def run_glimmark(build, gmk_dir, scene, threads, size, out):
    cmd = [os.path.join(build, "glimmark"), "render", scene + ".gmk", "-o", out, "-q",
           "-j", str(threads)]
    if size is not None:
        cmd += ["-W", str(size[0]), "-H", str(size[1])]
    proc, wall, cpu = timed(cmd, gmk_dir)
    if proc.returncode != 0:
        sys.stderr.write(proc.stdout[-2000:])
        raise SystemExit("glimmark failed: " + " ".join(cmd))
    return {"cmd": " ".join(cmd), "wall": wall, "cpu": cpu}


def run_split(build, gmk_dir, scene, threads, size):
    """Parse, hierarchy build and trace times of one accelerated frame."""
    with tempfile.NamedTemporaryFile(suffix=".json", delete=False) as f:
        out = f.name
    cmd = [os.path.join(build, "glimmark_bench"), "--scenes=" + gmk_dir, "--only=" + scene,
           "--threads=%d" % threads, "--repeat=1",
           "--benchmark_filter=^%s/bvh_all_threads/" % scene,
           "--benchmark_out=" + out, "--benchmark_out_format=json"]
    if size is not None:
        cmd.append("--size=%dx%d" % size)
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    with open(out) as f:
        data = json.load(f)
    os.unlink(out)
    b = data["benchmarks"][0]
    return {"cmd": " ".join(cmd), "parse": b["parse_s"], "build": b["build_s"],
            "trace": b["trace_s"], "trace_cpu": b["trace_cpu_s"],
            "camera_rays": b["camera_rays"]}


def parse_size(text):
    m = re.fullmatch(r"(\d+)x(\d+)", text or "")
    if not m or int(m.group(1)) < 1 or int(m.group(2)) < 1:
        raise argparse.ArgumentTypeError("--size needs WxH, for instance 2560x1920")
    return int(m.group(1)), int(m.group(2))


def ratio(a, b):
    return a / b if a is not None and b else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--threads", default="1,2")
    ap.add_argument("--size", type=parse_size, default=None,
                    help="WxH for both programs (default: the scenes' own 640x480)")
    ap.add_argument("--format", choices=("png", "ppm"), default="png",
                    help="Glimmark's picture file (POV-Ray always writes PNG)")
    ap.add_argument("--only", default="",
                    help="comma-separated configurations (showcase_aa, showcase_noaa, ...)")
    ap.add_argument("--stat", choices=("median", "min"), default="median",
                    help="which of the runs is kept: the median or the fastest")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    pov_dir = os.path.join(build, "bench", "pov")
    gmk_dir = os.path.join(build, "bench", "gmk")
    for d in (pov_dir, gmk_dir):
        if not os.path.isdir(d):
            raise SystemExit("%s is missing: run bench/run.sh first" % d)
    threads_list = [int(t) for t in args.threads.split(",") if t]
    pov_size = args.size or (640, 480)
    size_name = "%dx%d" % pov_size
    keep = statistics.median if args.stat == "median" else min
    tsv = open(os.path.join(build, "bench", "compare_pov.tsv"), "a")
    rows = []
    only = [c for c in args.only.split(",") if c]
    for name, pov_scene, pov_options, gmk_scene in CONFIGS:
        if only and name not in only:
            continue
        for threads in threads_list:
            load_before = load()
            pov, ours, split = [], [], []
            for _ in range(args.runs):
                pov.append(run_pov(pov_dir, pov_scene, pov_options, threads, pov_size,
                                   "out_%s_wt%d.png" % (name, threads)))
                ours.append(run_glimmark(build, gmk_dir, gmk_scene, threads, args.size,
                                         "/tmp/glimmark_cmp_%s_%d.%s" % (name, threads,
                                                                        args.format)))
                split.append(run_split(build, gmk_dir, gmk_scene, threads, args.size))
            for p, o, s in zip(pov, ours, split):
                tsv.write("\t".join([name, str(threads), size_name, args.format,
                                     "%.4f" % p["wall"], "%.4f" % p["cpu"], str(p["parse"]),
                                     str(p["trace"]), str(p["trace_cpu"]), "%.4f" % o["wall"],
                                     "%.4f" % o["cpu"], "%.4f" % s["parse"],
                                     "%.4f" % s["build"], "%.4f" % s["trace"],
                                     "%.4f" % s["trace_cpu"], p["cmd"], o["cmd"]]) + "\n")
            pick = lambda runs, key: keep([r[key] for r in runs if r[key] is not None] or [0.0])
            rows.append({"name": name, "threads": threads,
                         "pw": pick(pov, "wall"), "pc": pick(pov, "cpu"),
                         "pt": pick(pov, "trace"), "ptc": pick(pov, "trace_cpu"),
                         "ow": pick(ours, "wall"), "oc": pick(ours, "cpu"),
                         "op": pick(split, "parse"), "ob": pick(split, "build"),
                         "ot": pick(split, "trace"), "otc": pick(split, "trace_cpu"),
                         "pov_cmd": pov[0]["cmd"], "cmd": ours[0]["cmd"],
                         "load": "%s / %s" % (load_before, load())})
    tsv.close()

    print("%s, %s of %d runs, seconds; ratio = POV-Ray / Glimmark (above 1: Glimmark "
          "faster); Glimmark writes %s" % (size_name, args.stat, args.runs, args.format.upper()))
    print("%-13s %3s | %7s %7s %7s %7s | %7s %7s %6s %6s %7s %7s | %6s %6s %6s %6s | %5s | %s"
          % ("scene", "thr", "pov wal", "pov cpu", "pov trc", "trc cpu", "gmk wal", "gmk cpu",
             "parse", "build", "gmk trc", "trc cpu", "wall x", "cpu x", "trc x", "tcpu x",
             "x1", "load before / after"))
    one = {(r["name"]): r["ow"] for r in rows if r["threads"] == 1}
    for r in rows:
        x1 = ratio(one.get(r["name"]), r["ow"]) if r["threads"] != 1 else float("nan")
        print("%-13s %3d | %7.3f %7.3f %7.3f %7.3f | %7.3f %7.3f %6.3f %6.3f %7.3f %7.3f | "
              "%6.2f %6.2f %6.2f %6.2f | %5.2f | %s" % (
                  r["name"], r["threads"], r["pw"], r["pc"], r["pt"], r["ptc"], r["ow"], r["oc"],
                  r["op"], r["ob"], r["ot"], r["otc"], ratio(r["pw"], r["ow"]),
                  ratio(r["pc"], r["oc"]), ratio(r["pt"], r["ot"]), ratio(r["ptc"], r["otc"]),
                  x1, r["load"]))
    print("\nCommand lines (run in BUILD/bench/pov and BUILD/bench/gmk):")
    for r in rows:
        print("  " + r["pov_cmd"])
        print("  " + r["cmd"])


if __name__ == "__main__":
    main()
