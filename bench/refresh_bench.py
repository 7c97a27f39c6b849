#!/usr/bin/python3
"""What keeping a library current costs, read from the demo site's own log of what it sent (--log-requests):

  refresh  a serialised category of 100 books of 512 KB from a site 50 ms away at 4000 kB/s per connection, collected
           with --overwrite twice into one library: body bytes received, requests and time of the second run against
           the first (targets: under 1% of the bytes, under 30% of the time)
  changed  the same library once more, the site now with every 10th archive changed (new bytes, ETag and
           Last-Modified): archive bodies received and archives rewritten on disk (target: exactly 10 of each)

Bytes are the bodies the site sent (its log's fourth column); headers are not counted.

Usage: bench/refresh_bench.py [BUILD_DIR] [--rounds N]"""
import argparse
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from demo_site import Build, Site, logged_while, median, run, scratch_folder, tail  # noqa: E402

KIND, CATEGORY = "连载中", "玄幻奇幻"  # the first serialised category the demo site lists
BOOKS, PAGES = 100, 5
SITE = ["--books-per-category", str(BOOKS), "--archive-bytes", "512000", "--latency-ms", "50", "--rate-kbps", "4000"]

parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "build"))
parser.add_argument("--rounds", type=int, default=1, help="rounds of the whole measure; medians (default 1)")
args = parser.parse_args()
build = Build(args.build)


def collect(site, library, log):
    """One headless collection of the category with --overwrite into `library`: exit status and seconds."""
    status, seconds, _ = run([build.paveno, "--run-dir", library, "--connect-to", site.mapping,
                              "--collect", f"{KIND}/{CATEGORY}", "--pages", str(PAGES), "--delay", "0",
                              "--overwrite"], log)
    if status not in (0, 1):
        raise SystemExit(f"paveno ended with {status}:\n{tail(log)}")
    return status, seconds


def archives(library):
    """{file name: digest} of the category's archives."""
    folder = os.path.join(library, "小说", KIND, CATEGORY)
    if not os.path.isdir(folder):
        return {}
    found = {}
    for name in os.listdir(folder):
        if name.endswith(".rar"):
            with open(os.path.join(folder, name), "rb") as f:
                found[name] = hashlib.sha256(f.read()).hexdigest()
    return found


def logged_run(site, library, requests, work, name):
    """A collection over `site`, whose log is `requests`: (exit status, seconds, the log entries of this run)."""
    output = os.path.join(work, name + ".txt")
    (status, seconds), entries = logged_while(requests, lambda: collect(site, library, output))
    return status, seconds, entries


def round_of_measures():
    work = scratch_folder("paveno-refresh-")
    library = os.path.join(work, "run")
    requests = os.path.join(work, "requests.log")
    with Site(build, SITE + ["--log-requests", requests]) as site:
        first = logged_run(site, library, requests, work, "first")
        kept = archives(library)
        if len(kept) != BOOKS or first[0] != 0:
            raise SystemExit(f"the first run kept {len(kept)} of {BOOKS} archives, exit {first[0]}")
        second = logged_run(site, library, requests, work, "second")
    changed_log = os.path.join(work, "changed.log")
    with Site(build, SITE + ["--change-archives", "10", "--log-requests", changed_log]) as site:
        third = logged_run(site, library, changed_log, work, "changed")
    after = archives(library)
    rewritten = sum(1 for name, digest in after.items() if kept.get(name) != digest)
    bodies = sum(1 for e in third[2] if e.path.startswith("/down/") and e.status == 200 and e.sent)
    return first, second, third, bodies, rewritten, len(after)


def figures(run_):
    status, seconds, entries = run_
    return status, seconds, len(entries), sum(e.sent for e in entries)


rounds = [round_of_measures() for _ in range(args.rounds)]
print(f"refresh: {KIND}/{CATEGORY}, {BOOKS} books of 512 KB, 50 ms away at 4000 kB/s a connection, --overwrite "
      f"({args.rounds} round{'s' if args.rounds > 1 else ''}, medians)")
rows = {}
for label, index in (("first run", 0), ("second run", 1), ("10 changed", 2)):
    got = [figures(r[index]) for r in rounds]
    rows[label] = (median([g[1] for g in got]), median([g[2] for g in got]), median([g[3] for g in got]),
                   [g[0] for g in got])
    seconds, count, sent, statuses = rows[label]
    print(f"  {label:11s} {seconds:7.2f} s  {count:5d} requests  {sent / 1e6:9.3f} MB received   exit {statuses}")
(s1, r1, b1, _), (s2, r2, b2, _) = rows["first run"], rows["second run"]
print(f"  second / first: bytes {100 * b2 / b1:6.2f}% (target < 1%), time {100 * s2 / s1:6.1f}% (target < 30%), "
      f"requests {r2}/{r1}")

def kinds(entries):
    """The requests of a run by what they asked for, archives split by status."""
    counts = {}
    for e in entries:
        kind = ("archive " + str(e.status) if e.path.startswith("/down/") else "download page"
                if e.path.startswith("/txt/") else "cover" if e.path.startswith("/dianzishu/") else "list page")
        counts[kind] = counts.get(kind, 0) + 1
    return ", ".join(f"{n} {kind}" for kind, n in sorted(counts.items()))


print(f"  second run asked for: {kinds(rounds[0][1][2])}")
bodies = median([r[3] for r in rounds])
rewritten = median([r[4] for r in rounds])
print(f"  10 changed: archive bodies received {bodies} (target exactly 10), archives rewritten on disk {rewritten}, "
      f"archives in the library {median([r[5] for r in rounds])}")
