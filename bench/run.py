#!/usr/bin/env python3
"""Tonvola benchmark: the fill against plain cp, side by side in one run.

  scale       collections of 10,000 / 25,000 / 50,000 small files, the player folder holding a
              tenth of them on the same file system: a whole `tonvola --fill` against `cp` of
              exactly the files that run copied; peak resident memory of the fill
  window      the longest event-loop stall of the real main window during a fill of the
              largest scale collection
  memory      the real main window runs three fills in a row of a 100,000-file collection whose
              player folder holds a tenth of it, on the same file system and on a tmpfs of its
              own with room for a quarter: the resident memory at the start and after each fill,
              and the most it held
  watch       the longest event-loop stall of the real main window while another program changes
              the folder of the largest scale collection that the window shows, and no fill runs
  throughput  about 300 MB of 3-8 MB files into an empty player folder, once on the same file
              system (the kernel copies) and once onto a tmpfs of its own (read and write)
  cross       20,000 files of 2 KiB on the disk, 2,000 of them already on a player that is a
              tmpfs of its own: every real stick is another file system than the collection
  exfat       the player on a 32 GB exFAT stick (a sparse image) through FUSE on a loop device,
              the collection on the disk: 3,000 files of 2 KiB (300 on the player), and about
              130 MB of 3-8 MB files
  goals       repeated runs with the default options onto a player on a medium of its own (a tmpfs
              and an exFAT stick of 150 MiB), the collection on the disk 1.2 and 2 times the
              player's room, 1-4 MiB files: how full the player ends, how much of it is new, the
              bytes copied against the bytes new on the player, and whether `--dry-run --seed N`
              foretells the run with `--seed N` line for line
  choice      what the random choice brings: 1,000 files by 40 artists, five times the room of a
              player on a tmpfs of its own: artists and stretches of the alphabet after run 1
              against a random choice, the share of the player that leaves in one run at each
              exchange share, and ten runs from an empty player with the default share: how much
              of the collection reached the player and how long a file stayed
  plan        the plan of a 100,000-file collection with 10,000 on a full player, in memory, and a
              whole `--dry-run` (reading both folders) of such a collection of small files
  tree        a collection in artist and album folders, with "--subfolders": reading and planning
              (a whole `--dry-run`) of 100,000 files in 10,000 album folders against the same files
              in one folder; and 1,000 files (40 artists x 5 albums x 5 titles, the titles alike
              across albums) onto a player with room for a fifth, as the choice case judges it
  naive       for comparison only: the fill as first conceived (player folder re-read and its
              whole list compared for every candidate) against the engine, on small collections

throughput, cross and exfat compare the fill with `cp` of the files it copied plus `rm` of the
player files it deleted, and with that plus `sync -f` of the player, since the fill flushes the
medium before it ends; the goals are checked on the latter and printed beside the figures.
cross, exfat and the second throughput row mount media of their own, which needs root, loop
devices and FUSE; where that cannot be set up, the case is skipped with the reason.

Builds a Release of its own in build/bench, keeps its data in a fresh folder under build/ (a few
hundred MB at most, on the normal disk; --data-dir puts it elsewhere, e.g. /dev/shm to leave the
disk out) and deletes the data, the mounts and the loop devices at the end, also on Ctrl-C. Each
case runs several rounds; the best counts, since other work on the machine only ever adds time.

usage: bench/run.py [--quick] [--rounds N] [--data-dir DIR] [--cases scale,window,...]
"""

import argparse
import contextlib
import math
import os
import random
import re
import shutil
import signal
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

CASES = ["scale", "window", "watch", "memory", "throughput", "cross", "exfat", "goals", "choice", "plan", "tree"]
# Cases run only when asked for.
EXTRA_CASES = ["naive", "slowstick"]
# Highest acceptable ratio of the fill to cp + rm + sync of the same file work.
GOALS = {"throughput": 1.0, "cross": 1.2, "exfat": 1.2}
MIB = 1024 * 1024
# Fills the window runs one after the other in the memory case, and the goal for what it holds.
MEMORY_FILLS = 3
MEMORY_GOAL_MB = 100
# Changes another program makes to the folder the window shows, in one round of the watch case.
WATCH_CHANGES = 10
# A stick of 32 GB as sold, with the clusters it is formatted with. Its size matters: the FUSE
# driver counts the free clusters one by one whenever it is asked for the free space. The image
# is sparse, so only what is written takes room in the data folder.
EXFAT_STICK = 32_000_000_000
EXFAT_CLUSTER = 32 * 1024


class Skip(Exception):
    """A case that cannot be set up on this machine; the message says why."""


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


# A collection's files are old; one written moments ago counts as being written and is left
# for a later run.
COLLECTION_TIME = 1_600_000_000


def write_files(folder, sizes, name_of, rng):
    folder.mkdir(parents=True, exist_ok=True)
    names = []
    for i, size in enumerate(sizes):
        name = name_of(i)
        with open(folder / name, "wb") as f:
            f.write(rng.randbytes(size))
        os.utime(folder / name, (COLLECTION_TIME, COLLECTION_TIME))
        names.append(name)
    return names


def reset_player(player, collection, names):
    """The player folder as a run finds it. Its files carry the collection's times, as the
    program's own earlier copies do."""
    if player.exists():
        shutil.rmtree(player)
    player.mkdir()
    for name in names:
        shutil.copy2(collection / name, player / name)


def fill(collection, player, seed):
    run = timed([str(TONVOLA), "--fill", "--seed", str(seed), str(collection), str(player)])
    if run.code != 0:
        sys.exit(f"--fill failed ({run.code}): {run.err}")
    return run


# Only lines with these prefixes are file work; the output has other lines (the summary, names
# skipped or kept, the flush) that cp and rm have nothing to match.
def names_after(prefix, fill_run):
    return [line[len(prefix):] for line in fill_run.out.splitlines() if line.startswith(prefix)]


def copied_names(fill_run):
    return names_after("kopiert: ", fill_run)


def deleted_names(fill_run):
    """Player files the run deleted: repeats, and files the collection already held identically."""
    return names_after("vom Player genommen: ", fill_run) + names_after("zurück ins StammVerzeichnis: ", fill_run)


def xargs(command, cwd, names, scratch):
    listing = scratch / "names.bin"
    listing.write_bytes(b"".join(name.encode() + b"\0" for name in names))
    run = timed(["xargs", "-0", "-r"] + command, cwd=cwd, stdin_path=listing)
    if run.code != 0:
        sys.exit(f"{command[0]} failed: {run.err}")
    return run


def cp(collection, player, names, scratch):
    return xargs(["cp", "-t", str(player), "--"], collection, names, scratch)


def shell_side(collection, player, fill_run, scratch):
    """The run's file work by shell tools: its copies, then its deletions, then the flush of the
    player's medium; the seconds after each step."""
    copy = cp(collection, player, copied_names(fill_run), scratch).seconds
    remove = xargs(["rm", "-f", "--"], player, deleted_names(fill_run), scratch).seconds
    flush = timed(["sync", "-f", str(player)]).seconds
    return copy, copy + remove, copy + remove + flush


def best(runs):
    return min(runs, key=lambda r: r.seconds)


def file_system(path):
    listed = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "--target", str(path)], capture_output=True, text=True)
    return (listed.stdout.split() or ["?"])[-1]


# Media of their own. Each setup step that fails becomes the reason a case is skipped; each
# cleanup runs with Ctrl-C held back until it is done, so no mount or loop device stays behind.

def setup_step(command):
    try:
        result = subprocess.run([str(part) for part in command], capture_output=True, text=True)
    except FileNotFoundError:
        raise Skip(f"{command[0]} is not installed") from None
    if result.returncode != 0:
        reason = result.stderr.strip() or f"exit status {result.returncode}"
        raise Skip(f"`{' '.join(str(part) for part in command)}` failed: {reason}")
    return result.stdout.strip()


def need_root(what):
    if os.geteuid() != 0:
        raise Skip(f"{what} needs root (mount, losetup); run the benchmark as root for this case")


@contextlib.contextmanager
def signals_held():
    held = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, held)


def mounted(folder):
    with open("/proc/self/mountinfo") as info:
        points = [re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), line.split()[4]) for line in info]
    return str(folder) in points


def unmount(folder):
    # A program that was stopped by the same Ctrl-C may still hold the folder for a moment.
    for _ in range(50):
        if not mounted(folder):
            return
        subprocess.run(["umount", str(folder)], stderr=subprocess.DEVNULL)
        if not mounted(folder):
            return
        time.sleep(0.1)
    subprocess.run(["umount", "--lazy", str(folder)])
    print(f"warning: {folder} stayed busy and was unmounted lazily", file=sys.stderr)


def detach_loop_devices(image):
    for _ in range(50):
        listed = subprocess.run(["losetup", "-n", "-O", "NAME", "-j", str(image)], capture_output=True, text=True)
        devices = listed.stdout.split()
        if not devices:
            return
        for device in devices:
            subprocess.run(["losetup", "-d", device], stderr=subprocess.DEVNULL)
        time.sleep(0.1)
    print(f"warning: the loop device of {image} could not be detached", file=sys.stderr)


@contextlib.contextmanager
def tmpfs_medium(folder, size):
    need_root("a tmpfs of its own")
    folder.mkdir()
    try:
        setup_step(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", folder])
        yield folder
    finally:
        with signals_held():
            unmount(folder)
            folder.rmdir()


@contextlib.contextmanager
def exfat_medium(folder, image, size=EXFAT_STICK, cluster=EXFAT_CLUSTER):
    need_root("an exFAT medium on a loop device")
    for tool, package in (("mkfs.exfat", "exfatprogs"), ("mount.exfat-fuse", "exfat-fuse"), ("losetup", "mount")):
        if not shutil.which(tool):
            raise Skip(f"{tool} is not installed (package {package})")
    if not Path("/dev/fuse").exists():
        raise Skip("no FUSE on this machine (/dev/fuse is missing)")
    if not Path("/dev/loop-control").exists():
        raise Skip("no loop devices on this machine (/dev/loop-control is missing)")
    folder.mkdir()
    try:
        setup_step(["truncate", "-s", size, image])
        setup_step(["mkfs.exfat"] + (["-c", cluster] if cluster else []) + [image])
        device = setup_step(["losetup", "-f", "--show", image])
        setup_step(["mount.exfat-fuse", device, folder])
        yield folder
    finally:
        with signals_held():
            unmount(folder)
            # Looked up by the image, so a device attached just before a Ctrl-C goes too.
            detach_loop_devices(image)
            image.unlink(missing_ok=True)
            folder.rmdir()


def tmpfs_size(sizes):
    """Room for every file of a case, each in whole pages, with a margin that keeps the fit test
    from ever turning a file away."""
    page = 4096
    return sum(-(-size // page) * page for size in sizes) + 64 * MIB


def against_shell(collection, player, on_player, seed, rounds, scratch):
    """The whole fill against the same file work by shell tools, each round from the same state."""
    fills, shells = [], []
    for _ in range(rounds):
        reset_player(player, collection, on_player)
        os.sync()
        fills.append(fill(collection, player, seed))
        reset_player(player, collection, on_player)
        os.sync()
        shells.append(shell_side(collection, player, fills[-1], scratch))
    first = fills[0]
    copied = copied_names(first)
    return {
        "collection_fs": file_system(collection), "player_fs": file_system(player),
        "files": len(os.listdir(collection)), "before": len(on_player), "visited": len(mp3_sizes(collection)),
        "copied": len(copied), "mb": sum((collection / name).stat().st_size for name in copied) / 1e6,
        "deleted": len(deleted_names(first)), "fill": best(fills).seconds,
        "cp": min(s[0] for s in shells), "cp_rm": min(s[1] for s in shells), "cp_rm_sync": min(s[2] for s in shells),
        "peak_mib": max(r.peak_kib for r in fills) / 1024,
    }


MEDIUM_TABLE = ("| case | collection on | player on | files | player before | visited | copied | MB copied | deleted "
                "| --fill s | cp s | cp + rm s | ratio | cp + rm + sync s | ratio | goal |\n"
                "|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")


def medium_row(label, row, goal, goals):
    ratio = row["fill"] / row["cp_rm_sync"]
    verdict = f"≤ {goal:.1f} {'met' if ratio <= goal else 'MISSED'}"
    goals.append((label, f"{ratio:.2f}", verdict))
    print(f"| {label} | {row['collection_fs']} | {row['player_fs']} | {row['files']:,} | {row['before']:,} | "
          f"{row['visited']:,} | {row['copied']:,} | {row['mb']:.1f} | {row['deleted']:,} | {row['fill']:.2f} | "
          f"{row['cp']:.2f} | {row['cp_rm']:.2f} | {row['fill'] / row['cp_rm']:.2f} | {row['cp_rm_sync']:.2f} | "
          f"{ratio:.2f} | {verdict} |", flush=True)


def skipped(label, reason, goals):
    goals.append((label, "–", f"skipped: {reason}"))
    print(f"| {label} | skipped: {reason} |", flush=True)


def small_files(scratch, label, count, size_of, rng):
    collection = scratch / f"collection-{label}"
    names = write_files(collection, [size_of() for _ in range(count)],
                        lambda i: f"Titel {i:06d} - Interpret {i % 97}.mp3", rng)
    return collection, names, rng.sample(names, count // 10)


def large_files(scratch, label, megabytes, rng):
    collection = scratch / f"collection-{label}"
    sizes = []
    while sum(sizes) < megabytes * MIB:
        sizes.append(rng.randint(3 * MIB, 8 * MIB))
    write_files(collection, sizes, lambda i: f"Album {i:03d} - Stück.mp3", rng)
    return collection, sizes


def scale_data(scratch, count):
    rng = random.Random(f"scale-{count}")
    collection, _, on_player = small_files(scratch, f"scale-{count}", count, lambda: rng.randint(200, 2000), rng)
    return collection, scratch / f"player-{count}", on_player


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


def window_memory(collection, player, on_player):
    """The window's resident memory at the start and after each of several fills in a row."""
    reset_player(player, collection, on_player)
    os.sync()
    run = timed([str(HELPER), "fills", str(collection), str(player), str(MEMORY_FILLS)],
                env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if run.code != 0:
        sys.exit(f"fills failed ({run.code}): {run.out}{run.err}")
    fields = dict(item.split("=") for item in run.out.split())
    rows = []
    for when in ["start"] + [f"run{i}" for i in range(1, MEMORY_FILLS + 1)]:
        rows.append({"when": "start" if when == "start" else f"after fill {when[3:]}",
                     "copied": int(fields.get(f"{when}_copied", 0)),
                     "removed": int(fields.get(f"{when}_removed", 0)),
                     "rss_mib": int(fields[f"{when}_kib"]) / 1024, "peak_mib": int(fields[f"{when}_peak_kib"]) / 1024,
                     "used_mib": int(fields[f"{when}_used_kib"]) / 1024})
    return rows


def memory_rows(label, rows):
    for row in rows:
        verdict = f"≤ {MEMORY_GOAL_MB} MB {'met' if row['rss_mib'] * MIB <= MEMORY_GOAL_MB * 1e6 else 'MISSED'}"
        print(f"| {label} | {row['when']} | {row['copied']:,} | {row['removed']:,} | {row['rss_mib']:.1f} | "
              f"{row['peak_mib']:.1f} | {row['used_mib']:.1f} | {verdict} |", flush=True)


def watch_stall(collection, other, rounds):
    """The window shows the collection while another program adds and removes a file in it."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    other.mkdir(exist_ok=True)
    rows = []
    for _ in range(rounds):
        run = timed([str(HELPER), "watch", str(collection), str(other), str(WATCH_CHANGES)], env=env)
        if run.code != 0:
            sys.exit(f"watch failed ({run.code}): {run.out}{run.err}")
        fields = dict(item.split("=") for item in run.out.split())
        rows.append({"stall_ms": float(fields["stall_ms"]), "reads": int(fields["reads"]),
                     "listed": int(fields["listed"]), "peak_mib": run.peak_kib / 1024})
    return min(rows, key=lambda row: row["stall_ms"])


def throughput_case(scratch, megabytes, rounds, goals):
    """Large files into an empty player: on the same file system, where the kernel copies the data,
    and onto a tmpfs of its own, where the program reads and writes it, as onto a real stick."""
    collection, sizes = large_files(scratch, "large", megabytes, random.Random("throughput"))
    seed = 1
    try:
        player = scratch / "large-player"
        medium_row("throughput, same file system", against_shell(collection, player, [], seed, rounds, scratch),
                   GOALS["throughput"], goals)
        shutil.rmtree(player)
        label = "throughput, player on its own tmpfs"
        try:
            with tmpfs_medium(scratch / "tonvola-player-large", tmpfs_size(sizes)) as medium:
                medium_row(label, against_shell(collection, medium / "Player", [], seed, rounds, scratch),
                           GOALS["throughput"], goals)
        except Skip as skip:
            skipped(label, skip, goals)
    finally:
        shutil.rmtree(collection)


def cross_case(scratch, count, seed, rounds, goals):
    """The reference setup of the scale case on real media: the collection on the disk's own file
    system, the player on another, so that the kernel copy is refused."""
    rng = random.Random("cross")
    collection, names, on_player = small_files(scratch, "cross", count, lambda: 2048, rng)
    label = f"cross-filesystem scale, {count:,} × 2 KiB"
    try:
        with tmpfs_medium(scratch / "tonvola-player-cross", tmpfs_size([2048] * count)) as medium:
            medium_row(label, against_shell(collection, medium / "Player", on_player, seed, rounds, scratch),
                       GOALS["cross"], goals)
    except Skip as skip:
        skipped(label, skip, goals)
    finally:
        shutil.rmtree(collection)


def exfat_case(scratch, small_count, megabytes, seed, rounds, goals):
    """exFAT through FUSE, as many desktops mount sticks and cards: every step of a copy is a round
    trip to the file system's own process, so small files show the cost per file and large ones
    the throughput. One medium serves both rows; each row starts with a fresh player folder."""
    rng = random.Random("exfat")
    small, _, on_player = small_files(scratch, "exfat-small", small_count, lambda: 2048, rng)
    large, sizes = large_files(scratch, "exfat-large", megabytes, rng)
    large_seed = 1
    rows = [(f"exFAT, {small_count:,} × 2 KiB", small, on_player, seed),
            (f"exFAT, {len(sizes)} × 3–8 MB", large, [], large_seed)]
    try:
        with exfat_medium(scratch / "tonvola-player-exfat", scratch / "tonvola-exfat.img") as medium:
            for label, collection, before, row_seed in rows:
                player = medium / "Player"
                medium_row(label, against_shell(collection, player, before, row_seed, rounds, scratch),
                           GOALS["exfat"], goals)
                shutil.rmtree(player)
    except Skip as skip:
        for label, *_ in rows:
            skipped(label, skip, goals)
    finally:
        shutil.rmtree(small)
        shutil.rmtree(large)


# A stick as slow as those sold: nbdkit serves a disk in memory through a plugin of ours
# (bench/slowstick.c, compiled by nbdkit's cc plugin) that writes 10 MB/s and reads 30 MB/s,
# nbdfuse makes it a file, a loop device with direct I/O a block device, and exFAT through FUSE
# the file system, as desktops mount sticks.
SLOW_STICK = "400M"
SLOW_READ, SLOW_WRITE = 30, 10


@contextlib.contextmanager
def slow_stick(folder, scratch):
    need_root("a throttled stick (FUSE, a loop device)")
    for tool, package in (("nbdkit", "nbdkit"), ("nbdfuse", "nbdfuse"), ("mkfs.exfat", "exfatprogs"),
                          ("mount.exfat-fuse", "exfat-fuse"), ("cc", "gcc")):
        if not shutil.which(tool):
            raise Skip(f"{tool} is not installed (package {package})")
    if not Path("/usr/include/nbdkit-plugin.h").exists():
        raise Skip("nbdkit-plugin.h is missing (package nbdkit-plugin-dev)")
    if not Path("/dev/fuse").exists():
        raise Skip("no FUSE on this machine (/dev/fuse is missing)")
    served = scratch / "slowstick-nbd"
    served.mkdir()
    server = subprocess.Popen(["nbdfuse", str(served), "--command", "nbdkit", "-s", "cc",
                               str(TOP / "bench" / "slowstick.c"), f"size={SLOW_STICK}", f"read={SLOW_READ}",
                               f"write={SLOW_WRITE}"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    device = None
    try:
        for _ in range(300):
            if (served / "nbd").exists() or server.poll() is not None:
                break
            time.sleep(0.1)
        if not (served / "nbd").exists():
            server.kill()
            raise Skip(f"nbdfuse did not start: {server.communicate()[1].decode().strip() or 'no file appeared'}")
        device = setup_step(["losetup", "-f", "--show", "--direct-io=on", served / "nbd"])
        # A USB stick reads ahead 128 KiB, the kernel's default; a loop device on a file in FUSE
        # may get far more (2.5 MB seen), and exfat-fuse reads the device through its own cache,
        # so each short read of a tag would bring megabytes that no real stick reads.
        (Path("/sys/block") / Path(device).name / "queue" / "read_ahead_kb").write_text("128\n")
        setup_step(["mkfs.exfat", device])
        folder.mkdir()
        setup_step(["mount.exfat-fuse", device, folder])
        yield folder, Path("/sys/block") / Path(device).name / "stat"
    finally:
        with signals_held():
            if folder.exists():
                unmount(folder)
                folder.rmdir()
            if device:
                subprocess.run(["losetup", "-d", device], stderr=subprocess.DEVNULL)
            if server.poll() is None:
                # fusermount3 comes with fuse3, which nbdfuse does not always pull in; root may umount.
                helper = shutil.which("fusermount3") or shutil.which("fusermount")
                subprocess.run([helper, "-u", str(served)] if helper else ["umount", str(served)],
                               stderr=subprocess.DEVNULL)
                try:
                    server.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    server.kill()
                    server.wait()
            served.rmdir()


def cold(player):
    """Written out and forgotten, so that every timed step meets the stick itself."""
    subprocess.run(["sync", "-f", str(player)], check=True)
    Path("/proc/sys/vm/drop_caches").write_text("3\n")


def sectors(stat):
    """Bytes read and written by the block device so far."""
    fields = stat.read_text().split()
    return int(fields[2]) * 512, int(fields[6]) * 512


def emptied(player):
    for entry in os.scandir(player):
        os.unlink(entry.path)
    cold(player)


def dd(player, size):
    """The same bytes in one stream, as fast as the stick takes them."""
    run = timed(["dd", "if=/dev/zero", f"of={player / 'dd.bin'}", "bs=1M", f"count={-(-size // MIB)}",
                 "conv=fsync"])
    (player / "dd.bin").unlink()
    return run.seconds


def slow_row(label, fill_s, against_s, against, read, removed, goal, goals):
    ratio = fill_s / against_s
    verdict = f"≤ {goal:.2f} {'met' if ratio <= goal else 'MISSED'}"
    goals.append((label, f"{ratio:.2f}", verdict))
    share = f"{100 * read / removed:.0f} %" if removed else "–"
    print(f"| {label} | {fill_s:.1f} | {against} {against_s:.1f} | {ratio:.2f} | {read / 1e6:.0f} | "
          f"{removed / 1e6:.0f} | {share} | {verdict} |", flush=True)


def slowstick_case(scratch, goals):
    """An empty stick, the same stick full and rotated once with the default exchange, and small
    files, each against the shell doing the same copies on the same stick, caches dropped."""
    rng = random.Random("slowstick")
    # Twice the stick, so that a rotation has as much new to bring as it takes off.
    large, _ = large_files(scratch, "slow-large", 830, rng)
    small = scratch / "collection-slow-small"
    write_files(small, [rng.randint(100_000, 300_000) for _ in range(2000)], lambda i: f"Stück {i:05d}.mp3", rng)
    labels = ["empty stick, 3–8 MB files", "full stick, one rotation", "empty stick, 2,000 files of 100–300 KB"]
    try:
        with slow_stick(scratch / "tonvola-slowstick", scratch) as (medium, stat):
            player = medium / "Player"
            player.mkdir()
            cold(player)
            first = fill(large, player, 1)
            first_copies = copied_names(first)

            before = set(mp3_sizes(player))
            cold(player)
            read_before, _ = sectors(stat)
            second = fill(large, player, 2)
            read = sectors(stat)[0] - read_before
            copied, removed = copied_names(second), deleted_names(second)
            removed_bytes = sum((large / name).stat().st_size for name in removed)
            # Back to the state before the rotation, then the shell does its work from there.
            for name in copied:
                (player / name).unlink()
            for name in removed:
                shutil.copy2(large / name, player / name)
            assert set(mp3_sizes(player)) == before
            cold(player)
            shell_read_before, _ = sectors(stat)
            # By hand a full stick is rotated as the program does it: first the removals, then the copies.
            shell = (xargs(["rm", "-f", "--"], player, removed, scratch).seconds + cp(large, player, copied, scratch).seconds
                     + timed(["sync", "-f", str(player)]).seconds)
            shell_read = sectors(stat)[0] - shell_read_before
            print(f"(the shell's rotation read {shell_read / 1e6:.0f} MB from the stick)", flush=True)
            slow_row(labels[1], second.seconds, shell, "rm + cp + sync", read, removed_bytes, 1.10, goals)

            # The empty stick's run against the medium's own limit, on the stick emptied again.
            emptied(player)
            dd_s = dd(player, sum((large / name).stat().st_size for name in first_copies))
            slow_row(labels[0], first.seconds, dd_s, "dd", 0, 0, 1.05, goals)

            emptied(player)
            third = fill(small, player, 1)
            copied = copied_names(third)
            emptied(player)
            shell = cp(small, player, copied, scratch).seconds + timed(["sync", "-f", str(player)]).seconds
            slow_row(labels[2], third.seconds, shell, "cp + sync", 0, 0, 1.0, goals)
    except Skip as skip:
        for label in labels:
            skipped(label, skip, goals)
    finally:
        shutil.rmtree(large)
        shutil.rmtree(small)


def naive_case(scratch, counts, seed):
    rows = []
    for count in counts:
        rng = random.Random(f"naive-{count}")
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
        rows.append({"count": count, "visited": count, "engine": engine.seconds,
                     "naive": naive.seconds})
        shutil.rmtree(collection)
        shutil.rmtree(player)
    return rows


def mp3_sizes(folder):
    return {entry.name: entry.stat().st_size for entry in os.scandir(folder)
            if entry.is_file() and entry.name.lower().endswith(".mp3")}


def run_lines(run):
    """The lines of a run that tell its steps and its outcome; the dry run's own last line aside,
    and its summary without the mark that says it was one."""
    marked = "Probelauf: "
    return [line.removeprefix(marked) for line in run.out.splitlines()
            if line != "Probelauf: keine Datei wurde verändert."]


def goals_case(scratch, runs, room_mib):
    """Repeated runs with the default options, each foretold by a dry run with the same seed."""
    rows = []
    media = (("tmpfs", lambda folder, image: tmpfs_medium(folder, f"{room_mib}m")),
             ("exFAT", lambda folder, image: exfat_medium(folder, image, f"{room_mib}M", None)))
    for kind, medium_of in media:
        for factor in (1.2, 2.0):
            rng = random.Random(f"goals-{kind}-{factor}")
            sizes = []
            while sum(sizes) < factor * room_mib * MIB:
                sizes.append(rng.randint(MIB, 4 * MIB))
            collection = scratch / f"goals-{kind}-{factor}"
            write_files(collection, sizes, lambda i: f"Lied {i:04d}.mp3", rng)
            label = f"{kind}, collection {factor:g} × the room"
            try:
                with medium_of(scratch / "tonvola-goals", scratch / "tonvola-goals.img") as medium:
                    player = medium / "Musik"
                    player.mkdir()
                    info = os.statvfs(medium)
                    room = info.f_blocks * info.f_frsize
                    for run_number in range(1, runs + 1):
                        before = mp3_sizes(player)
                        dry = timed([str(TONVOLA), "--fill", "--dry-run", "--seed", str(run_number), str(collection),
                                     str(player)])
                        real = fill(collection, player, run_number)
                        after = mp3_sizes(player)
                        new = [name for name in after if name not in before]
                        new_bytes = sum(after[name] for name in new)
                        copied_bytes = sum((collection / name).stat().st_size for name in copied_names(real))
                        rows.append({"label": label, "run": run_number,
                                     "fill": 100 * sum(after.values()) / room,
                                     "new": 100 * len(new) / max(1, len(after)) if before else None,
                                     "ratio": copied_bytes / new_bytes if new_bytes else None,
                                     "same": run_lines(dry) == run_lines(real), "seconds": real.seconds})
                        row = rows[-1]
                        fresh = "–" if row["new"] is None else f"{row['new']:.0f} %"
                        ratio = "–" if row["ratio"] is None else f"{row['ratio']:.3f}"
                        foretold = "identical" if row["same"] else "DIFFERENT"
                        print(f"| {label} | {run_number} | {row['fill']:.1f} % | {fresh} | {ratio} | {foretold} | "
                              f"{row['seconds']:.2f} |", flush=True)
            except Skip as skip:
                print(f"| {label} | skipped: {skip} |", flush=True)
            finally:
                shutil.rmtree(collection)
    return rows


def random_choice_expectations(count, artists, taken):
    """What a random choice of `taken` of `count` files, `count // artists` per artist, holds on
    average: artists, and stretches of the collection's alphabetical order."""
    per_artist = count // artists
    missing = math.comb(count - per_artist, taken) / math.comb(count, taken)
    return artists * (1 - missing), taken * (count - taken + 1) / count


@contextlib.contextmanager
def choice_data(case, folder, scratch):
    """Runs a case of the choice on its data: a case the machine cannot run is said so, and the
    data and the state folder of each run go at its end."""
    try:
        yield
    except Skip as skip:
        print(f"| {case} | skipped: {skip} |", flush=True)
    finally:
        shutil.rmtree(folder)
        os.environ["XDG_STATE_HOME"] = str(scratch / "state")


def print_verdicts(verdicts):
    print()
    for label, held in verdicts:
        print(f"- {label}: {'met' if held else 'MISSED'}")


def choice_case(scratch, quick):
    """The random choice, the exchange share and the memory, as a user would judge them."""
    artists, per_artist = 40, 25
    count = artists * per_artist
    rng = random.Random("choice")
    sizes = [rng.randint(100 * 1024, 300 * 1024) for _ in range(count)]
    collection = scratch / "choice"
    names = write_files(collection, sizes, lambda i: f"Artist {i // per_artist:02d} - Title {i % per_artist:02d}.mp3",
                        rng)
    order = sorted(names)
    size_of = dict(zip(names, sizes))
    room = f"{sum(sizes) // 5 // MIB + 1}m"
    verdicts = []
    with choice_data("choice", collection, scratch):
        # Run 1 on an empty player, several seeds.
        for seed in range(1, 4 if quick else 6):
            with tmpfs_medium(scratch / "tonvola-choice", room) as medium:
                player = medium / "Musik"
                player.mkdir()
                os.environ["XDG_STATE_HOME"] = str(scratch / f"state-choice-{seed}")
                fill(collection, player, seed)
                held = set(mp3_sizes(player))
                got_artists = len({name.split(" - ")[0] for name in held})
                stretches = sum(1 for i, name in enumerate(order) if name in held and (i == 0 or order[i - 1] not in held))
                want_artists, want_stretches = random_choice_expectations(count, artists, len(held))
                print(f"| run 1, seed {seed} | {len(held)} files | {got_artists} of {artists} artists "
                      f"(random: {want_artists:.1f}) | {stretches} stretches (random: {want_stretches:.0f}) |",
                      flush=True)
                verdicts.append(("artists ≥ 90 % of a random choice's", got_artists >= 0.9 * want_artists))
                verdicts.append(("stretches ≥ 80 % of a random choice's", stretches >= 0.8 * want_stretches))
        # One run on a full player at each share.
        for share in (10, 25, 50, 100):
            with tmpfs_medium(scratch / "tonvola-choice", room) as medium:
                player = medium / "Musik"
                player.mkdir()
                os.environ["XDG_STATE_HOME"] = str(scratch / f"state-share-{share}")
                fill(collection, player, 1)
                before = mp3_sizes(player)
                run = timed([str(TONVOLA), "--fill", "--seed", "2", "--exchange", str(share), str(collection),
                             str(player)])
                after = mp3_sizes(player)
                left = sum(size for name, size in before.items() if name not in after)
                changed = 100 * left / sum(before.values())
                one_file = 100 * max(before.values()) / sum(before.values())
                print(f"| full player, exchange {share} % | {changed:.1f} % of its bytes left | one file: "
                      f"{one_file:.1f} % | full after: {100 * sum(after.values()) / sum(before.values()):.0f} % of "
                      f"before | {run.seconds:.2f} s |", flush=True)
                verdicts.append((f"exchange {share} %: S ± 5", abs(changed - share) <= 5))
        # Ten runs from an empty player with the default share.
        with tmpfs_medium(scratch / "tonvola-choice", room) as medium:
            player = medium / "Musik"
            player.mkdir()
            os.environ["XDG_STATE_HOME"] = str(scratch / "state-turn")
            seen, stay, longest, fullest_low = set(), {}, 0, 100.0
            info = os.statvfs(medium)
            for run_number in range(1, 11):
                fill(collection, player, run_number)
                held = set(mp3_sizes(player))
                seen |= held
                stay = {name: stay.get(name, 0) + 1 for name in held}
                longest = max([longest, *stay.values()])
                full = 100 * sum(size_of[name] for name in held) / (info.f_blocks * info.f_frsize)
                fullest_low = min(fullest_low, full)
                print(f"| ten runs, run {run_number} | {len(held)} files, {full:.0f} % full | "
                      f"{100 * len(seen) / count:.1f} % of the collection so far | longest stay {longest} runs |",
                      flush=True)
            verdicts.append(("ten runs: ≥ 95 % of the collection on the player once", len(seen) >= 0.95 * count))
            verdicts.append(("ten runs: longest stay ≤ 3 runs", longest <= 3))
            verdicts.append(("ten runs: ≥ 90 % full after each run", fullest_low >= 90))
    print_verdicts(verdicts)


def plan_case(scratch, sources, players):
    plan = timed([str(HELPER), "plan", str(sources), str(players)], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if plan.code != 0:
        sys.exit(f"plan failed: {plan.out}{plan.err}")
    fields = dict(item.split("=") for item in plan.out.split())
    print(f"| in memory | {sources:,} | {players:,} | {fields['order_ms']} | {fields['plan_ms']} | "
          f"{int(fields['plan_kib']) / 1024:.1f} | {plan.peak_kib / 1024:.0f} (with the names and sizes it was "
          f"made from) |", flush=True)
    print(f"\nThe memory of which files were on the player, every one of the {sources:,} files in it: "
          f"{int(fields['memory_kib']) / 1024:.1f} MiB, read in {fields['memory_read_ms']} ms, written in "
          f"{fields['memory_write_ms']} ms (goal: ≤ 10 MB, ≤ 100 ms each).\n", flush=True)
    rng = random.Random("plan")
    collection = scratch / "plan-collection"
    player = scratch / "plan-player"
    names = write_files(collection, [2048] * sources, lambda i: f"Titel {i:06d} - Interpret {i % 97}.mp3", rng)
    reset_player(player, collection, rng.sample(names, players))
    dry = best([timed([str(TONVOLA), "--fill", "--dry-run", "--seed", "1", str(collection), str(player)])
                for _ in range(3)])
    print(f"| `--fill --dry-run`, {file_system(collection)} | {sources:,} | {players:,} | – | "
          f"{dry.seconds * 1000:.0f} (all of it: reading both folders, planning, printing) | – | "
          f"{dry.peak_kib / 1024:.0f} |", flush=True)
    shutil.rmtree(collection)
    shutil.rmtree(player)


def tree_names(artists, albums, titles):
    """Artist/Album/Title paths, the titles alike in every album, and each file's name on the
    player (the path joined by " - ", as every title there is shared)."""
    paths = []
    for a in range(artists):
        for b in range(albums):
            for t in range(titles):
                paths.append(f"Artist {a:03d}/Album {b:02d}/{t + 1:02d} Titel.mp3")
    return paths, [path.replace("/", " - ") for path in paths]


def write_tree(root, paths, sizes, rng):
    for path, size in zip(paths, sizes):
        target = root / path
        target.parent.mkdir(parents=True, exist_ok=True)
        with open(target, "wb") as f:
            f.write(rng.randbytes(size))
        os.utime(target, (COLLECTION_TIME, COLLECTION_TIME))


def tree_case(scratch, quick):
    """A collection in folders: reading and planning against the same files in one folder, and
    what the random choice brings from a tree."""
    artists, albums, titles = (20, 50, 10) if quick else (100, 100, 10)
    paths, flat_names = tree_names(artists, albums, titles)
    rng = random.Random("tree")
    tree = scratch / "tree-collection"
    flat = scratch / "tree-flat"
    write_tree(tree, paths, [2048] * len(paths), rng)
    flat.mkdir()
    for path, name in zip(paths, flat_names):
        os.link(tree / path, flat / name)
    on_player = rng.sample(range(len(paths)), len(paths) // 10)
    rows = {}
    for how, collection, extra in (("one folder", flat, []), ("folders", tree, ["--subfolders"])):
        player = scratch / "tree-player"
        if player.exists():
            shutil.rmtree(player)
        player.mkdir()
        for i in on_player:
            shutil.copy2(tree / paths[i], player / flat_names[i])
        runs = [timed([str(TONVOLA), "--fill", "--dry-run", "--seed", "1", *extra, str(collection), str(player)])
                for _ in range(5)]
        if any(run.code != 0 for run in runs):
            sys.exit(f"tree dry run failed: {runs[0].err}")
        rows[how] = best(runs)
        copies = len(copied_names(rows[how]))
        print(f"| `--dry-run`, {how} | {len(paths):,} | {len(on_player):,} | {copies:,} | "
              f"{rows[how].seconds * 1000:.0f} | {rows[how].peak_kib / 1024:.0f} |", flush=True)
    ratio = rows["folders"].seconds / rows["one folder"].seconds
    print(f"\nfolders against one folder: {ratio:.2f} (goal ≤ 1.5: {'met' if ratio <= 1.5 else 'MISSED'})\n",
          flush=True)
    shutil.rmtree(tree)
    shutil.rmtree(flat)
    shutil.rmtree(scratch / "tree-player")

    # 1,000 files, 40 artists x 5 albums x 5 titles, five times the player's room.
    paths, flat_names = tree_names(40, 5, 5)
    sizes = [rng.randint(100 * 1024, 300 * 1024) for _ in paths]
    write_tree(tree, paths, sizes, rng)
    order = sorted(flat_names)
    room = f"{sum(sizes) // 5 // MIB + 1}m"
    verdicts = []

    def tree_fill(player, seed, share=None):
        command = [str(TONVOLA), "--fill", "--subfolders", "--seed", str(seed)]
        if share is not None:
            command += ["--exchange", str(share)]
        run = timed(command + [str(tree), str(player)])
        if run.code != 0:
            sys.exit(f"--fill --subfolders failed ({run.code}): {run.err}")
        return run

    with choice_data("tree", tree, scratch):
        for seed in range(1, 4 if quick else 6):
            with tmpfs_medium(scratch / "tonvola-tree", room) as medium:
                player = medium / "Musik"
                player.mkdir()
                os.environ["XDG_STATE_HOME"] = str(scratch / f"state-tree-{seed}")
                tree_fill(player, seed)
                held = mp3_sizes(player)
                info = os.statvfs(medium)
                full = 100 * sum(held.values()) / (info.f_blocks * info.f_frsize)
                got_artists = len({name.split(" - ")[0] for name in held})
                stretches = sum(1 for i, name in enumerate(order) if name in held and (i == 0 or order[i - 1] not in held))
                want_artists, want_stretches = random_choice_expectations(len(paths), 40, len(held))
                print(f"| run 1, seed {seed} | {len(held)} files, {full:.1f} % full | {got_artists} of 40 artists "
                      f"(random: {want_artists:.1f}) | {stretches} stretches (random: {want_stretches:.0f}) |",
                      flush=True)
                verdicts.append(("run 1: ≥ 95 % full", full >= 95))
                verdicts.append(("artists ≥ 90 % of a random choice's", got_artists >= 0.9 * want_artists))
        for share in (10, 25, 50, 100):
            with tmpfs_medium(scratch / "tonvola-tree", room) as medium:
                player = medium / "Musik"
                player.mkdir()
                os.environ["XDG_STATE_HOME"] = str(scratch / f"state-tree-share-{share}")
                tree_fill(player, 1)
                before = mp3_sizes(player)
                tree_fill(player, 2, share)
                after = mp3_sizes(player)
                left = sum(size for name, size in before.items() if name not in after)
                changed = 100 * left / sum(before.values())
                print(f"| full player, exchange {share} % | {changed:.1f} % of its bytes left |", flush=True)
                verdicts.append((f"exchange {share} %: S ± 5", abs(changed - share) <= 5))
        # Ten runs: every file of the tree is on the player or in its folder, whole, and no
        # name on the player holds another file's bytes.
        with tmpfs_medium(scratch / "tonvola-tree", room) as medium:
            player = medium / "Musik"
            player.mkdir()
            os.environ["XDG_STATE_HOME"] = str(scratch / "state-tree-turn")
            content = {path: (tree / path).read_bytes() for path in paths}
            by_player_name = dict(zip(flat_names, paths))
            problems = 0
            for run_number in range(1, 11):
                tree_fill(player, run_number)
                for name in mp3_sizes(player):
                    if (player / name).read_bytes() != content[by_player_name[name]]:
                        problems += 1
                problems += sum(1 for path in paths if (tree / path).read_bytes() != content[path])
            extra = [p for p in tree.rglob("*.mp3") if str(p.relative_to(tree)) not in content]
            print(f"| ten runs | files lost or overwritten: {problems} | files in the collection beyond its "
                  f"own: {len(extra)} |", flush=True)
            verdicts.append(("ten runs: no file lost or overwritten", problems == 0 and not extra))
    print_verdicts(verdicts)


def case_list(text):
    cases = [case.strip() for case in text.split(",") if case.strip()]
    unknown = [case for case in cases if case not in CASES + EXTRA_CASES]
    if unknown or not cases:
        raise argparse.ArgumentTypeError(f"unknown case {', '.join(unknown) or '(none)'}; choose from {','.join(CASES)}")
    return cases


def stop(signum, frame):
    raise KeyboardInterrupt


def run_cases(args, scratch):
    cases = args.cases
    counts = [2000, 5000, 10000] if args.quick else [10000, 25000, 50000]
    naive_counts = [500, 1000, 2000] if args.quick else [1000, 2000, 4000]
    # The exchange share the fills take is the default, not whatever the user set.
    os.environ["XDG_CONFIG_HOME"] = str(scratch / "config")
    start = best([timed([str(TONVOLA), "--version"]) for _ in range(5)])
    print(f"program start (tonvola --version): {start.seconds * 1000:.0f} ms", flush=True)
    # Which files were on which player is the bench's own too; each case's folders are new.
    os.environ["XDG_STATE_HOME"] = str(scratch / "state")
    seed = 1
    print(f"seed {seed}; data in {scratch} ({file_system(scratch)})", flush=True)
    goals = []

    last = None
    if "scale" in cases:
        print("\n## Scale: whole `--fill` against `cp` of the files it copied\n")
        print("| collection | player before | visited | copied | deleted | --fill s | cp s | ratio | cp + rm s | ratio "
              "| --fill µs/visited | peak RSS MiB |")
        print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        for count in counts:
            if last:
                shutil.rmtree(last[1])
                shutil.rmtree(last[2])
            collection, player, on_player = scale_data(scratch, count)
            result = against_shell(collection, player, on_player, seed, args.rounds, scratch)
            last = (count, collection, player, on_player)
            print(f"| {count:,} | {count // 10:,} | {result['visited']:,} | {result['copied']:,} | "
                  f"{result['deleted']:,} | {result['fill']:.2f} | {result['cp']:.2f} | "
                  f"{result['fill'] / result['cp']:.2f} | {result['cp_rm']:.2f} | "
                  f"{result['fill'] / result['cp_rm']:.2f} | {result['fill'] / result['visited'] * 1e6:.0f} | "
                  f"{result['peak_mib']:.1f} |", flush=True)

    if "window" in cases:
        if not last:
            last = (counts[-1], *scale_data(scratch, counts[-1]))
        count, collection, player, on_player = last
        print(f"\n## Window: longest event-loop stall during a fill of {count:,} files\n")
        print("| visited | copied | run ms | longest stall ms | peak RSS MiB |")
        print("|---:|---:|---:|---:|---:|")
        for row in window_stall(collection, player, on_player, count):
            print(f"| {row['visited']:,} | {row['copied']:,} | {row['duration_ms']:.0f} | {row['stall_ms']:.1f} | "
                  f"{row['peak_mib']:.1f} |", flush=True)
    if "watch" in cases:
        if not last:
            last = (counts[-1], *scale_data(scratch, counts[-1]))
        count, collection, player, _ = last
        print(f"\n## Window: longest event-loop stall while another program changes a folder of {count:,} files\n")
        print("| files listed | changes | lists shown anew | longest stall ms | peak RSS MiB |")
        print("|---:|---:|---:|---:|---:|")
        row = watch_stall(collection, player, args.rounds)
        print(f"| {row['listed']:,} | {WATCH_CHANGES} | {row['reads']} | {row['stall_ms']:.1f} | "
              f"{row['peak_mib']:.1f} |", flush=True)
    if last:
        shutil.rmtree(last[1])
        shutil.rmtree(last[2], ignore_errors=True)
    if "memory" in cases:
        count = 20000 if args.quick else 100000
        rng = random.Random(f"memory-{count}")
        collection, _, on_player = small_files(scratch, f"memory-{count}", count, lambda: rng.randint(200, 2000), rng)
        print(f"\n## Window: resident memory over {MEMORY_FILLS} fills in a row of {count:,} files, "
              f"{count // 10:,} on the player before\n")
        print("| player | when | copied | removed | VmRSS MiB | peak so far MiB | heap in use MiB | goal |")
        print("|---|---|---:|---:|---:|---:|---:|---|")
        try:
            player = scratch / f"player-memory-{count}"
            memory_rows("same file system, room for all", window_memory(collection, player, on_player))
            shutil.rmtree(player)
            # A stick with room for a quarter of the collection (each file takes one page): every
            # fill after the first exchanges half of it.
            label = "a tmpfs of its own, room for a quarter"
            try:
                with tmpfs_medium(scratch / "tonvola-player-memory", count // 4 * 4096) as medium:
                    memory_rows(label, window_memory(collection, medium / "Player", on_player))
            except Skip as skip:
                print(f"| {label} | skipped: {skip} |", flush=True)
        finally:
            shutil.rmtree(collection)

    if {"throughput", "cross", "exfat"} & set(cases):
        print("\n## Real media: whole `--fill` against `cp` + `rm` of the same file work, then `sync -f` of the "
              "player\n")
        print(MEDIUM_TABLE, flush=True)
    if "throughput" in cases:
        throughput_case(scratch, 100 if args.quick else 300, args.rounds, goals)
    if "cross" in cases:
        cross_case(scratch, 5000 if args.quick else 20000, seed, args.rounds, goals)
    if "exfat" in cases:
        exfat_case(scratch, 1000 if args.quick else 3000, 40 if args.quick else 130, seed, args.rounds, goals)

    if "goals" in cases:
        print("\n## Repeated runs with the default options, the player on a medium of its own\n")
        print("| case | run | player full | files new | bytes copied / bytes new | dry run | --fill s |")
        print("|---|---:|---:|---:|---:|---|---:|", flush=True)
        goals_case(scratch, 3 if args.quick else 6, 60 if args.quick else 150)
    if "choice" in cases:
        print("\n## The choice: 1,000 files by 40 artists, five times the player's room\n")
        print("| case | | | | |")
        print("|---|---|---|---|---|", flush=True)
        choice_case(scratch, args.quick)
    if "plan" in cases:
        print("\n## The plan of a large collection\n")
        print("| how | collection | on the player | ordering ms | plan ms | memory of the plan MiB | peak RSS MiB |")
        print("|---|---:|---:|---:|---:|---:|---:|", flush=True)
        plan_case(scratch, 20000 if args.quick else 100000, 2000 if args.quick else 10000)

    if "tree" in cases:
        print("\n## A collection in folders (`--subfolders`)\n")
        print("| how | files | on the player | copies planned | ms | peak RSS MiB |")
        print("|---|---:|---:|---:|---:|---:|", flush=True)
        tree_case(scratch, args.quick)

    if "slowstick" in cases:
        print(f"\n## A slow stick: exFAT through FUSE, writing {SLOW_WRITE} MB/s and reading {SLOW_READ} MB/s, "
              "caches dropped before each step\n")
        print("| case | --fill s | against s | ratio | MB read from the stick | MB of copies removed | read / removed "
              "| goal |")
        print("|---|---:|---:|---:|---:|---:|---:|---|", flush=True)
        slowstick_case(scratch, goals)

    if "naive" in cases:
        print("\n## For comparison: the straightforward walk (player list re-read and compared per candidate)\n")
        print("| collection | visited | engine s | straightforward s | times slower |")
        print("|---:|---:|---:|---:|---:|")
        for row in naive_case(scratch, naive_counts, seed):
            print(f"| {row['count']:,} | {row['visited']:,} | {row['engine']:.2f} | {row['naive']:.2f} | "
                  f"{row['naive'] / row['engine']:.0f} |", flush=True)

    if goals:
        print("\n## Goals: `--fill` against `cp` + `rm` + `sync -f` of the same file work\n")
        print("| case | ratio | goal |")
        print("|---|---:|---|")
        for label, ratio, verdict in goals:
            print(f"| {label} | {ratio} | {verdict} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="smaller collections, for a first look")
    parser.add_argument("--rounds", type=int, default=5, help="timed rounds per case; the best counts")
    parser.add_argument("--data-dir", type=Path, default=DATA_PARENT, help="where the data folder is made")
    parser.add_argument("--cases", type=case_list, default=CASES,
                        help=f"comma-separated cases to run (default all: {','.join(CASES)})")
    args = parser.parse_args()

    build()
    signal.signal(signal.SIGTERM, stop)
    args.data_dir.mkdir(parents=True, exist_ok=True)
    scratch = Path(tempfile.mkdtemp(prefix="tonvola-bench-", dir=args.data_dir.resolve()))
    try:
        try:
            run_cases(args, scratch)
        finally:
            with signals_held():
                shutil.rmtree(scratch, ignore_errors=True)
    except KeyboardInterrupt:
        print("\ninterrupted; data, mounts and loop devices removed", file=sys.stderr)
        sys.exit(130)


if __name__ == "__main__":
    main()
