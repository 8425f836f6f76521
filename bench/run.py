#!/usr/bin/env python3
"""Tonvola benchmark: the fill against plain cp, side by side in one run.

  scale       collections of 10,000 / 25,000 / 50,000 small files, the player folder holding a
              tenth of them: a whole `tonvola --fill` against `cp` of exactly the files that run
              copied; peak resident memory of the fill
  throughput  about 300 MB of 3-8 MB files into an empty player folder: `--fill` against `cp`
              of the same files
  window      the longest event-loop stall of the real main window during a fill of the
              largest scale case
  naive       for comparison only: the fill as first conceived (player folder re-read and its
              whole list compared for every candidate) against the engine, on small collections

Builds a Release of its own in build/bench, keeps its data in a fresh folder under build/ (a few
hundred MB at most, on the normal disk; --data-dir puts it elsewhere, e.g. /dev/shm to leave the
disk out) and deletes the data at the end. Each case runs several rounds; the best counts, since
other work on the machine only ever adds time.

usage: bench/run.py [--quick] [--rounds N] [--data-dir DIR]
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
BUILD = TOP / "build" / "bench"
DATA_PARENT = TOP / "build"
TONVOLA = BUILD / "bin" / "tonvola"
HELPER = BUILD / "bench" / "tonvola_bench"


def build():
    subprocess.run(["cmake", "-S", str(TOP), "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DTONVOLA_BUILD_TESTS=OFF", "-DTONVOLA_BUILD_BENCH=ON"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "tonvola", "tonvola-window", "tonvola_bench"], check=True,
                   stdout=subprocess.DEVNULL)


class Run:
    def __init__(self, seconds, peak_kib, code, out, err):
        self.seconds, self.peak_kib, self.code, self.out, self.err = seconds, peak_kib, code, out, err


def timed(command, cwd=None, stdin_path=None, env=None):
    """Runs a command to its end; wall time, peak resident memory and output."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
        try:
            start = time.perf_counter()
            process = subprocess.Popen(command, cwd=cwd, stdin=stdin, stdout=out, stderr=err, env=env)
            _, status, usage = os.wait4(process.pid, 0)
            seconds = time.perf_counter() - start
            process.returncode = os.waitstatus_to_exitcode(status)
        finally:
            if stdin_path:
                stdin.close()
        out.seek(0)
        err.seek(0)
        return Run(seconds, usage.ru_maxrss, process.returncode, out.read().decode(), err.read().decode())


def write_files(folder, sizes, name_of, rng):
    folder.mkdir(parents=True, exist_ok=True)
    names = []
    for i, size in enumerate(sizes):
        name = name_of(i)
        with open(folder / name, "wb") as f:
            f.write(rng.randbytes(size))
        names.append(name)
    return names


def reset_player(player, collection, names):
    if player.exists():
        shutil.rmtree(player)
    player.mkdir()
    for name in names:
        shutil.copyfile(collection / name, player / name)


def fill(collection, player, seed):
    run = timed([str(TONVOLA), "--fill", "--seed", str(seed), str(collection), str(player)])
    if run.code != 0:
        sys.exit(f"--fill failed ({run.code}): {run.err}")
    return run


def names_after(prefix, fill_run):
    return [line[len(prefix):] for line in fill_run.out.splitlines() if line.startswith(prefix)]


def copied_names(fill_run):
    return names_after("kopiert: ", fill_run)


def deleted_names(fill_run):
    """Player files the run deleted: repeats, and files the collection already held identically."""
    return names_after("vom Player genommen: ", fill_run) + names_after("zurück ins StammVerzeichnis: ", fill_run)


def visited(fill_run):
    match = re.search(r"Beginn bei Eintrag (\d+) von (\d+)", fill_run.out)
    return int(match.group(2)) - int(match.group(1)) + 1


def xargs(command, cwd, names, scratch):
    listing = scratch / "names.bin"
    listing.write_bytes(b"".join(name.encode() + b"\0" for name in names))
    run = timed(["xargs", "-0", "-r"] + command, cwd=cwd, stdin_path=listing)
    if run.code != 0:
        sys.exit(f"{command[0]} failed: {run.err}")
    return run


def cp(collection, player, names, scratch):
    return xargs(["cp", "-t", str(player), "--"], collection, names, scratch)


def seed_where(scratch, count, wanted):
    """A seed whose walk over `count` files starts at a position `wanted` accepts."""
    probe = scratch / "probe"
    empty = scratch / "probe-player"
    probe.mkdir()
    empty.mkdir()
    for i in range(count):
        (probe / f"{i:04d}.mp3").touch()
    try:
        for seed in range(1, 10000):
            run = timed([str(TONVOLA), "--fill", "--dry-run", "--seed", str(seed), str(probe), str(empty)])
            start = int(re.search(r"Beginn bei Eintrag (\d+)", run.out).group(1)) - 1
            if wanted(start):
                return seed
        sys.exit("no seed found")
    finally:
        shutil.rmtree(probe)
        shutil.rmtree(empty)


def best(runs):
    return min(runs, key=lambda r: r.seconds)


def synced(run):
    """Adds the time until the run's data is on the disk, as a user pulling a stick must wait."""
    start = time.perf_counter()
    os.sync()
    run.synced = run.seconds + time.perf_counter() - start
    return run


def scale_case(scratch, count, seed, rounds, rng):
    collection = scratch / f"collection-{count}"
    player = scratch / f"player-{count}"
    names = write_files(collection, [rng.randint(200, 2000) for _ in range(count)],
                        lambda i: f"Titel {i:06d} - Interpret {i % 97}.mp3", rng)
    on_player = rng.sample(names, count // 10)
    fills, cps, cp_rms = [], [], []
    for _ in range(rounds):
        reset_player(player, collection, on_player)
        os.sync()
        fills.append(fill(collection, player, seed))
        reset_player(player, collection, on_player)
        os.sync()
        cps.append(cp(collection, player, copied_names(fills[-1]), scratch))
        # The same file work by shell tools: the copies, then the deletions the run made.
        rm = xargs(["rm", "-f", "--"], player, deleted_names(fills[-1]), scratch)
        cp_rms.append(cps[-1].seconds + rm.seconds)
    first = fills[0]
    result = {
        "count": count, "visited": visited(first), "copied": len(copied_names(first)),
        "deleted": len(deleted_names(first)), "fill": best(fills).seconds, "cp": best(cps).seconds,
        "cp_rm": min(cp_rms), "peak_mib": max(r.peak_kib for r in fills) / 1024,
    }
    return result, collection, player, on_player


def window_stall(collection, player, on_player, count, attempts=4):
    """The window draws its own seed, so a short walk is repeated until one covers at least 40 %."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    results = []
    for _ in range(attempts):
        reset_player(player, collection, on_player)
        os.sync()
        run = timed([str(HELPER), "stall", str(collection), str(player)], env=env)
        fields = dict(item.split("=") for item in run.out.split())
        results.append({"stall_ms": float(fields["stall_ms"]), "duration_ms": float(fields["duration_ms"]),
                        "visited": int(fields["visited"]), "copied": int(fields["copied"]),
                        "peak_mib": run.peak_kib / 1024})
        if int(fields["visited"]) >= 0.4 * count:
            break
    return results


def throughput_case(scratch, rounds, rng):
    collection = scratch / "large"
    player = scratch / "large-player"
    sizes = []
    while sum(sizes) < 300 * 1024 * 1024:
        sizes.append(rng.randint(3 * 1024 * 1024, 8 * 1024 * 1024))
    write_files(collection, sizes, lambda i: f"Album {i:03d} - Stück.mp3", rng)
    seed = seed_where(scratch, len(sizes), lambda start: start == 0)
    fills, cps, cp_rms = [], [], []
    for _ in range(rounds):
        reset_player(player, collection, [])
        os.sync()
        fills.append(synced(fill(collection, player, seed)))
        copied = copied_names(fills[-1])
        reset_player(player, collection, [])
        os.sync()
        cps.append(synced(cp(collection, player, copied, scratch)))
        rm = xargs(["rm", "-f", "--"], player, deleted_names(fills[-1]), scratch)
        cp_rms.append(cps[-1].seconds + rm.seconds)
    copied = copied_names(fills[0])
    megabytes = sum((collection / name).stat().st_size for name in copied) / 1e6
    shutil.rmtree(collection)
    shutil.rmtree(player)
    return {"files": len(copied), "mb": megabytes, "deleted": len(deleted_names(fills[0])),
            "fill": best(fills).seconds, "cp": best(cps).seconds, "cp_rm": min(cp_rms),
            "fill_synced": min(r.synced for r in fills), "cp_synced": min(r.synced for r in cps)}


def naive_case(scratch, counts, seed, rng):
    rows = []
    for count in counts:
        collection = scratch / f"naive-{count}"
        player = scratch / f"naive-player-{count}"
        names = write_files(collection, [rng.randint(200, 2000) for _ in range(count)],
                            lambda i: f"Titel {i:06d}.mp3", rng)
        on_player = rng.sample(names, count // 10)
        reset_player(player, collection, on_player)
        os.sync()
        engine = fill(collection, player, seed)
        reset_player(player, collection, on_player)
        os.sync()
        naive = timed([str(HELPER), "naive", str(seed), str(collection), str(player)],
                      env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        if naive.code != 0:
            sys.exit(f"naive walk failed: {naive.out}{naive.err}")
        rows.append({"count": count, "visited": visited(engine), "engine": engine.seconds,
                     "naive": naive.seconds})
        shutil.rmtree(collection)
        shutil.rmtree(player)
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="smaller collections, for a first look")
    parser.add_argument("--rounds", type=int, default=5, help="timed rounds per case; the best counts")
    parser.add_argument("--data-dir", type=Path, default=DATA_PARENT, help="where the data folder is made")
    args = parser.parse_args()

    build()
    rng = random.Random(2004)
    counts = [2000, 5000, 10000] if args.quick else [10000, 25000, 50000]
    naive_counts = [500, 1000, 2000] if args.quick else [1000, 2000, 4000]
    args.data_dir.mkdir(parents=True, exist_ok=True)
    scratch = Path(tempfile.mkdtemp(prefix="tonvola-bench-", dir=args.data_dir))
    try:
        start = best([timed([str(TONVOLA), "--version"]) for _ in range(5)])
        print(f"program start (tonvola --version): {start.seconds * 1000:.0f} ms", flush=True)
        # A start near 40 % keeps the largest case within a few hundred MB of disk.
        seed = seed_where(scratch, 1000, lambda start: 380 <= start < 420)
        print(f"seed {seed}; data in {scratch}", flush=True)

        print("\n## Scale: whole `--fill` against `cp` of the files it copied\n")
        print("| collection | player before | visited | copied | deleted | --fill s | cp s | ratio | cp + rm s | ratio "
              "| --fill µs/visited | peak RSS MiB |")
        print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        last = None
        for count in counts:
            if last:
                shutil.rmtree(last[1])
                shutil.rmtree(last[2])
            result, collection, player, on_player = scale_case(scratch, count, seed, args.rounds, rng)
            last = (result, collection, player, on_player)
            print(f"| {count:,} | {count // 10:,} | {result['visited']:,} | {result['copied']:,} | "
                  f"{result['deleted']:,} | {result['fill']:.2f} | {result['cp']:.2f} | "
                  f"{result['fill'] / result['cp']:.2f} | {result['cp_rm']:.2f} | "
                  f"{result['fill'] / result['cp_rm']:.2f} | {result['fill'] / result['visited'] * 1e6:.0f} | "
                  f"{result['peak_mib']:.1f} |", flush=True)

        print(f"\n## Window: longest event-loop stall during a fill of {counts[-1]:,} files\n")
        print("| visited | copied | run ms | longest stall ms | peak RSS MiB |")
        print("|---:|---:|---:|---:|---:|")
        _, collection, player, on_player = last
        for row in window_stall(collection, player, on_player, counts[-1]):
            print(f"| {row['visited']:,} | {row['copied']:,} | {row['duration_ms']:.0f} | {row['stall_ms']:.1f} | "
                  f"{row['peak_mib']:.1f} |", flush=True)
        shutil.rmtree(collection)
        shutil.rmtree(player)

        print("\n## Throughput: large files into an empty player folder\n")
        print("| files | MB | deleted | --fill s | cp s | ratio | cp + rm s | ratio | --fill + sync s | cp + sync s "
              "| ratio |")
        print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        row = throughput_case(scratch, args.rounds, rng)
        print(f"| {row['files']} | {row['mb']:.0f} | {row['deleted']} | {row['fill']:.2f} | {row['cp']:.2f} | "
              f"{row['fill'] / row['cp']:.2f} | {row['cp_rm']:.2f} | {row['fill'] / row['cp_rm']:.2f} | "
              f"{row['fill_synced']:.2f} | {row['cp_synced']:.2f} | {row['fill_synced'] / row['cp_synced']:.2f} |",
              flush=True)

        print("\n## For comparison: the straightforward walk (player list re-read and compared per candidate)\n")
        print("| collection | visited | engine s | straightforward s | times slower |")
        print("|---:|---:|---:|---:|---:|")
        for row in naive_case(scratch, naive_counts, seed, rng):
            print(f"| {row['count']:,} | {row['visited']:,} | {row['engine']:.2f} | {row['naive']:.2f} | "
                  f"{row['naive'] / row['engine']:.0f} |", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
