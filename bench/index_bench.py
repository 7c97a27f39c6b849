#!/usr/bin/python3
"""What a book costs as the library grows: 100 books (archives of 20 KB) collected by `paveno --collect ... --delay 0`
from the demo site over loopback into a library whose index 小说.ini already holds 0, 2,000, 20,000 and 100,000 keys.
Prints per library the wall time, its ratio to the empty library, and the bytes the program wrote per book as the
kernel counts them (write_bytes of /proc/PID/io, read when the program has ended and before it is reaped: what went
to the page cache for the disk, whole pages). Medians of the rounds. Targets: 100,000 keys at most 1.25 x the time of
the empty library, at most 64 KiB written per book.

Usage: bench/index_bench.py [BUILD_DIR] [--rounds N] [--keys 0,2000,20000,100000]"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from demo_site import scratch_folder  # noqa: E402

BOOKS = 100
PAGES = 5
CATEGORY = "完本/玄幻小说"

parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "build"))
parser.add_argument("--rounds", type=int, default=3, help="rounds per figure; the median is printed (default 3)")
parser.add_argument("--keys", default="0,2000,20000,100000", help="sizes of the index to collect into")
args = parser.parse_args()
build = os.path.abspath(args.build)
paveno = os.path.join(build, "app", "paveno")
site_program = os.path.join(build, "tools", "demosite", "paveno-demo-site")
sizes = [int(n) for n in args.keys.split(",") if n.strip()]

# No proxy for the loopback requests; the collection chooses its Qt platform, as it does for a user.
env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy") and k != "QT_QPA_PLATFORM"}


def index_bytes(keys, run_dir):
    """A library index of that many books of other categories, as the program writes it: GBK, CR LF."""
    lines = ["[小说]"]
    root = run_dir.replace("/", "\\")
    lines += [f"旧书{i:06d}={root}\\小说\\完本\\武侠小说\\旧书{i:06d}.rar" for i in range(keys)]
    return ("\r\n".join(lines) + "\r\n").encode("gbk") if keys else b""


def collect(mapping, keys):
    """(seconds, bytes written, processor seconds) of one collection into a fresh library of `keys` keys."""
    work = scratch_folder("paveno-index-bench-")
    run_dir = os.path.join(work, "run")
    if keys:
        os.makedirs(os.path.join(run_dir, "小说", "ini"))
        with open(os.path.join(run_dir, "小说", "ini", "小说.ini"), "wb") as f:
            f.write(index_bytes(keys, run_dir))
    log = os.path.join(work, "out.txt")
    with open(log, "wb") as out:
        start = time.monotonic()
        child = subprocess.Popen([paveno, "--run-dir", run_dir, "--connect-to", mapping, "--collect", CATEGORY,
                                  "--pages", str(PAGES), "--delay", "0"], stdout=out, stderr=subprocess.STDOUT,
                                 env=env)
        # Ended but not reaped: its counters are still there to read.
        os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
        seconds = time.monotonic() - start
        with open(f"/proc/{child.pid}/io") as io:
            written = int(next(line for line in io if line.startswith("write_bytes:")).split()[1])
        _, status, usage = os.wait4(child.pid, 0)
        status = os.waitstatus_to_exitcode(status)
        cpu = usage.ru_utime + usage.ru_stime
    folder = os.path.join(run_dir, "小说", *CATEGORY.split("/"))
    books = len([n for n in os.listdir(folder) if n.endswith(".rar")]) if os.path.isdir(folder) else 0
    if status != 0 or books != BOOKS:
        with open(log, "rb") as f:
            raise SystemExit(f"paveno ended with {status} having collected {books} of {BOOKS} books:\n"
                             + f.read().decode("utf-8", "replace")[-2000:])
    return seconds, written, cpu


def median(values):
    return sorted(values)[len(values) // 2]


site = subprocess.Popen([site_program, "--port", "0", "--books-per-category", str(BOOKS), "--archive-bytes", "20000",
                         "--cover-bytes", "4096"], stdout=subprocess.PIPE, text=True)
try:
    mapping = f"::127.0.0.1:{int(site.stdout.readline().rsplit(':', 1)[1])}"
    print(f"{BOOKS} books of 20 KB over loopback, {args.rounds} round(s) per figure (medians), index sizes in turn "
          "within each round; ratios to the smallest index")
    results = {keys: [] for keys in sizes}
    for r in range(args.rounds):
        # Each round in another order: a file system slowed by the files of the runs before (ext4 looks long for a
        # free inode after many deletions) must not always weigh on the same size.
        for keys in sizes[r % len(sizes):] + sizes[:r % len(sizes)]:
            results[keys].append(collect(mapping, keys))
    baseline = median([r[0] for r in results[min(sizes)]])
    cpu_baseline = median([r[2] for r in results[min(sizes)]])
    for keys in sizes:
        seconds = median([r[0] for r in results[keys]])
        written = median([r[1] for r in results[keys]]) / BOOKS
        cpu = median([r[2] for r in results[keys]])
        verdict = ""
        if keys >= 100000:
            met = seconds / baseline <= 1.25 and written <= 64 * 1024
            verdict = "  (targets 1.25 x, 64 KiB: " + ("met)" if met else "missed)")
        # The processor time (user and system) tells the same where other programs' builds share the cores.
        print(f"  {keys:>7} keys  {seconds:7.3f} s  {seconds / baseline:5.2f} x  cpu {cpu:6.3f} s  "
              f"{cpu / cpu_baseline:5.2f} x  {written / 1024:8.1f} KiB written per book{verdict}")
finally:
    site.terminate()
    site.wait()
