#!/usr/bin/env python3
"""Whole-process times of vqdinst.exe under Wine, as ratios to the floor.

    winetime.py --exe VQDINST --floor FLOOR --reg DRIVEDB.REG --work DIR [--pairs N]

Run by bench/run.sh with the Wine settings of tools/wine-env.sh, a prefix of
its own and a persistent wineserver. Each round runs "/CHECK", "/MANIFEST",
"/INSTALL", one registry-editor import of the drive database and "/REMOVE"
(which leaves the system as the round found it), each paired with a run of
the floor right before it (even rounds) or right after it (odd rounds), and
divides each time by its pair's floor; "/INSTALL" is also divided by its
floor plus the round's registry-editor run. The table shows medians over the
rounds. Nothing is asserted: the targets are printed beside the ratios.
"""
import argparse
import os
import statistics
import subprocess
import sys
import threading
import time


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def timed(argv, cwd):
    """Seconds and exit code of one Wine run. The wait blocks: a wait with a
    timeout polls in steps of up to 50 ms and would round the times to them;
    a timer ends a run that hangs instead."""
    start = time.perf_counter()
    process = subprocess.Popen(["wine"] + argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    watchdog = threading.Timer(120, process.kill)
    watchdog.start()
    rc = process.wait()
    seconds = time.perf_counter() - start
    watchdog.cancel()
    return seconds, rc


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--reg", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--pairs", type=int, default=15)
    parser.add_argument("--raw", action="store_true", help="print every pair (ms) as it is measured")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    exe, floor = os.path.abspath(args.exe), os.path.abspath(args.floor)
    steps = [
        ("/CHECK", [exe, "/CHECK"], {10, 11}),
        ("/MANIFEST", [exe, "/MANIFEST"], {8}),
        ("/INSTALL", [exe, "/INSTALL"], {6}),
        ("regedit", ["regedit", "/s", winpath(args.reg)], {0}),
        ("/REMOVE", [exe, "/REMOVE"], {6}),
    ]
    floor_step = ("floor", [floor], {0})

    def run(step):
        name, argv, codes = step
        seconds, rc = timed(argv, args.work)
        if rc not in codes:
            sys.exit(f"{name}: exit code {rc}, expected one of {sorted(codes)}")
        return seconds

    # One round to warm the caches and to see that every step does its work.
    run(floor_step)
    for step in steps:
        run(step)
    times = {name: [] for name in ["floor"] + [s[0] for s in steps]}
    ratios = {name: [] for name, _, _ in steps}
    install_vs = []
    for round_number in range(args.pairs):
        got = {}
        for step in steps:
            # Each run has its own floor beside it, before it in even rounds
            # and after it in odd ones, so that neither gains by its place.
            if round_number % 2 == 0:
                base = run(floor_step)
                seconds = run(step)
            else:
                seconds = run(step)
                base = run(floor_step)
            got[step[0]] = (seconds, base)
            if args.raw:
                print(f"  round {round_number}: {step[0]:<10}{seconds * 1000:8.1f}  floor {base * 1000:8.1f}")
            times["floor"].append(base)
            times[step[0]].append(seconds)
            ratios[step[0]].append(seconds / base)
        install, install_floor = got["/INSTALL"]
        install_vs.append(install / (install_floor + got["regedit"][0]))

    ms = lambda values: statistics.median(values) * 1000
    print(f"Wine whole-process times, median of {args.pairs} rounds (ratio: to the floor run beside it)")
    print(f"{'run':<12}{'ms':>9}{'ratio':>9}  target")
    print(f"{'floor':<12}{ms(times['floor']):>9.1f}{1.0:>9.2f}")
    targets = {"/CHECK": "<= 1.10", "/MANIFEST": "<= 1.10"}
    for name in ("/CHECK", "/MANIFEST", "/INSTALL", "regedit", "/REMOVE"):
        target = targets.get(name, "")
        if target:
            target += " met" if statistics.median(ratios[name]) <= 1.10 else " MISSED"
        print(f"{name:<12}{ms(times[name]):>9.1f}{statistics.median(ratios[name]):>9.2f}  {target}")
    vs = statistics.median(install_vs)
    print(f"{'/INSTALL vs floor+regedit':<30}{vs:>9.2f}  <= 1.10 {'met' if vs <= 1.10 else 'MISSED'}")


if __name__ == "__main__":
    main()
