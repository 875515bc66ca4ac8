#!/usr/bin/env python3
"""Whole-process times of vqdinst.exe under Wine, as ratios to the floor.

    winetime.py --exe VQDINST --floor FLOOR --reg DRIVEDB.REG --work DIR [--pairs N]

Run by bench/run.sh with the Wine settings of tools/wine-env.sh, a prefix of
its own and a persistent wineserver. Each round runs, one after another: the
floor, "/CHECK", "/MANIFEST", "/INSTALL", one registry-editor import of the
drive database, "/REMOVE" (which leaves the system as the round found it),
and the floor again. Every time of a round is divided by the mean of that
round's two floors; the table shows medians over the rounds. Nothing is
asserted: the targets are printed beside the ratios.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def timed(argv, cwd):
    start = time.perf_counter()
    done = subprocess.run(["wine"] + argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120)
    return time.perf_counter() - start, done.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--reg", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--pairs", type=int, default=15)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    exe, floor = os.path.abspath(args.exe), os.path.abspath(args.floor)
    steps = [
        ("floor", [floor], {0}),
        ("/CHECK", [exe, "/CHECK"], {10, 11}),
        ("/MANIFEST", [exe, "/MANIFEST"], {8}),
        ("/INSTALL", [exe, "/INSTALL"], {6}),
        ("regedit", ["regedit", "/s", winpath(args.reg)], {0}),
        ("/REMOVE", [exe, "/REMOVE"], {6}),
        ("floor", [floor], {0}),
    ]
    # One round to warm the caches and to see that every step does its work.
    for name, argv, codes in steps:
        _, rc = timed(argv, args.work)
        if rc not in codes:
            sys.exit(f"{name}: exit code {rc}, expected one of {sorted(codes)}")
    times = {name: [] for name, _, _ in steps}
    ratios = {name: [] for name, _, _ in steps if name != "floor"}
    install_vs = []
    for _ in range(args.pairs):
        got = {}
        floors = []
        for name, argv, codes in steps:
            seconds, rc = timed(argv, args.work)
            if rc not in codes:
                sys.exit(f"{name}: exit code {rc}, expected one of {sorted(codes)}")
            if name == "floor":
                floors.append(seconds)
            got[name] = seconds
        base = sum(floors) / len(floors)
        times["floor"].append(base)
        for name in ratios:
            times[name].append(got[name])
            ratios[name].append(got[name] / base)
        install_vs.append(got["/INSTALL"] / (base + got["regedit"]))

    ms = lambda values: statistics.median(values) * 1000
    print(f"Wine whole-process times, median of {args.pairs} rounds (ratio: to the floor of the same round)")
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
