#!/usr/bin/env python3
"""Whole-process times of vqdinst.exe under Wine, as ratios to the floor.

    winetime.py --exe VQDINST --floor FLOOR --reg DRIVEDB.REG --work DIR [--pairs N]
                [--against OLDVQDINST [--against-name NAME]]

Run by bench/run.sh with the Wine settings of tools/wine-env.sh, a prefix of
its own and a persistent wineserver. Each round runs "/CHECK", "/MANIFEST",
"/INSTALL", one registry-editor import of the drive database and "/REMOVE"
(which leaves the system as the round found it), each paired with a run of
the floor right before it (even rounds) or right after it (odd rounds), and
divides each time by its pair's floor; "/INSTALL" is also divided by its
floor plus the round's registry-editor run. The table shows medians over the
rounds. Nothing is asserted: the targets are printed beside the ratios.

With --against, another build's "/INSTALL" and "/REMOVE" ("old") run in the
same rounds, each paired with a floor run too: after the new "/REMOVE" in
even rounds, before the new "/INSTALL" in odd ones. A second table gives the medians of
both and the ratio new/old: of the medians, and the median of the rounds'.
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
    parser.add_argument("--against", help="another vqdinst.exe whose /INSTALL and /REMOVE run in the same rounds")
    parser.add_argument("--against-name", default="the other build", help="how the table names it")
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
    old_steps = []
    if args.against:
        old = os.path.abspath(args.against)
        old_steps = [("old /INSTALL", [old, "/INSTALL"], {6}), ("old /REMOVE", [old, "/REMOVE"], {6})]

    def run(step):
        name, argv, codes = step
        seconds, rc = timed(argv, args.work)
        if rc not in codes:
            sys.exit(f"{name}: exit code {rc}, expected one of {sorted(codes)}")
        return seconds

    # One round to warm the caches and to see that every step does its work.
    run(floor_step)
    for step in steps + old_steps:
        run(step)
    times = {name: [] for name in ["floor"] + [s[0] for s in steps + old_steps]}
    ratios = {name: [] for name, _, _ in steps + old_steps}
    install_vs = []
    for round_number in range(args.pairs):
        got = {}
        # The old build's pair after the new one's in even rounds, before it
        # in odd ones.
        order = steps + old_steps if round_number % 2 == 0 else steps[:2] + old_steps + steps[2:]
        for step in order:
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
    if args.against:
        print()
        print(f"Against {args.against_name} ({args.against}), the same rounds, medians")
        print(f"{'run':<12}{'new ms':>9}{'old ms':>9}{'new/old':>9}{'rounds':>9}  target")
        for name in ("/INSTALL", "/REMOVE"):
            new, old = times[name], times["old " + name]
            each = statistics.median(n / o for n, o in zip(new, old))
            target = ""
            if name == "/INSTALL":
                target = "<= 1.10 " + ("met" if each <= 1.10 else "MISSED")
            print(f"{name:<12}{ms(new):>9.1f}{ms(old):>9.1f}{ms(new) / ms(old):>9.2f}{each:>9.2f}  {target}")


if __name__ == "__main__":
    main()
