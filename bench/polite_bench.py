#!/usr/bin/python3
"""How politely Paveno collects, read from the demo site's own log of what it saw (--log-requests):

  pacing   a page of 10 books at a response delay of 700 ms with 4 connections: the least gap between two books'
           first requests, as a ratio to the delay (target at least 0.95)
  shared   a page of 20 books, every third showing one small placeholder cover: the requests the site saw with 1 and
           with 4 connections (target equal)
  limited  40 books from a site that allows 5 request starts a second (--max-rps 5, 429 with Retry-After: 2 beyond),
           delay 0, the default connections: books kept, exit status, 429 answers, requests started inside a pause,
           time (targets: 40 of 40, exit 0, at most 8 refusals, none inside a pause)
  distant  100 books of 512 KB from a site 50 ms away at 4000 kB/s per connection, delay 0, 4 connections, against
           curl fetching the same URLs one after another and against curl --parallel --parallel-max 4 (targets: at
           most 0.30 x the first and at most 1.0 x the second); then, of each command's time, how long the site was
           busy (its first request's start to its last answer's end, on the site's clock) and the rest, the
           program's start and end

Usage: bench/polite_bench.py [BUILD_DIR] [--only pacing|shared|limited|distant] [--rounds N]
The runs' files go to TMPDIR (default /tmp); the first line says which file system that is."""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from demo_site import (Build, Site, busy_seconds, catalogue_urls, fetch_with_curl, logged_while, median,  # noqa: E402
                       read_log, run, scratch_folder, tail, work_filesystem)

CATEGORY = "完本/玄幻小说"
# A request that starts this soon after a 429 was sent may have left before the refusal arrived.
IN_FLIGHT_MS = 50

parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "build"))
parser.add_argument("--only", choices=["pacing", "shared", "limited", "distant"])
parser.add_argument("--rounds", type=int, default=3, help="rounds of the distant figure; medians (default 3)")
args = parser.parse_args()
build = Build(args.build)
print(f"files in {work_filesystem()}")


def collect(site, options):
    """One headless collection into a fresh library: (exit status, seconds, archives kept)."""
    work = scratch_folder("paveno-polite-")
    log = os.path.join(work, "out.txt")
    status, seconds, _ = run([build.paveno, "--run-dir", os.path.join(work, "run"), "--connect-to", site.mapping,
                              "--collect", CATEGORY, *options], log)
    folder = os.path.join(work, "run", "小说", *CATEGORY.split("/"))
    kept = len([n for n in os.listdir(folder) if n.endswith(".rar")]) if os.path.isdir(folder) else 0
    if status not in (0, 1):
        raise SystemExit(f"paveno {' '.join(options)} ended with {status}:\n{tail(log)}")
    return status, seconds, kept


def logged_collection(site_options, options):
    """A collection against a fresh site that logs what it sees: (exit status, seconds, kept, log entries)."""
    work = scratch_folder("paveno-polite-log-")
    log = os.path.join(work, "requests.log")
    with Site(build, site_options + ["--log-requests", log]) as site:
        status, seconds, kept = collect(site, options)
    return status, seconds, kept, read_log(log)


def pacing():
    delay = 700
    _, _, kept, entries = logged_collection(["--books-per-category", "10"],
                                            ["--pages", "1", "--delay", str(delay), "--connections", "4"])
    starts = sorted(e.start for e in entries if e.path.startswith("/txt/"))
    gaps = [b - a for a, b in zip(starts, starts[1:])]
    print(f"pacing: {kept} books at --delay {delay} --connections 4")
    print(f"  least gap between book starts  {min(gaps):6d} ms   ratio {min(gaps) / delay:5.2f} (target >= 0.95)")
    print(f"  median gap                     {median(gaps):6d} ms")


def shared():
    counts = {}
    for connections in (1, 4):
        _, _, kept, entries = logged_collection(
            ["--books-per-category", "20", "--placeholder-covers", "3"],
            ["--pages", "1", "--delay", "0", "--connections", str(connections)])
        counts[connections] = (len(entries), kept)
    print("shared: a page of 20 books, every third with the placeholder cover")
    for connections, (requests, kept) in counts.items():
        print(f"  --connections {connections}  {requests:4d} requests, {kept} books kept")
    print(f"  equal: {'yes' if counts[1][0] == counts[4][0] else 'NO'} (target equal)")


def limited():
    status, seconds, kept, entries = logged_collection(["--books-per-category", "40", "--max-rps", "5"],
                                                       ["--pages", "2", "--delay", "0"])
    refusals = [e.start for e in entries if e.status == 429]
    inside = sum(1 for e in entries if any(r + IN_FLIGHT_MS < e.start < r + 2000 for r in refusals))
    print("limited: 40 books from --max-rps 5 at --delay 0 with the default connections")
    print(f"  books kept {kept} of 40, exit {status} (targets 40, 0)")
    print(f"  429 answers {len(refusals)} (target <= 8), requests started inside a pause {inside} (target 0; a "
          f"request within {IN_FLIGHT_MS} ms of a 429 was already on its way)")
    print(f"  {len(entries)} requests in {seconds:.1f} s")


def distant():
    site_options = ["--books-per-category", "100", "--archive-bytes", "512000", "--cover-bytes", "20480",
                    "--latency-ms", "50", "--rate-kbps", "4000"]
    urls = catalogue_urls(build, 5, 100)

    log = os.path.join(scratch_folder("paveno-polite-distant-"), "requests.log")

    def busy(command):
        """The command's result, and the seconds it kept the site busy."""
        result, entries = logged_while(log, command)
        return result, busy_seconds(entries)

    times, serial, parallel, busy_paveno, busy_curl = [], [], [], [], []
    with Site(build, site_options + ["--log-requests", log]) as site:
        for _ in range(args.rounds):
            (status, seconds, kept), site_busy = busy(
                lambda: collect(site, ["--pages", "5", "--delay", "0", "--connections", "4"]))
            if status != 0 or kept != 100:
                raise SystemExit(f"paveno kept {kept} of 100 books, exit {status}")
            times.append(seconds)
            busy_paveno.append(site_busy)
            serial.append(fetch_with_curl(site, urls))
            seconds, site_busy = busy(lambda: fetch_with_curl(site, urls, parallel=4))
            parallel.append(seconds)
            busy_curl.append(site_busy)
    p, s, q = median(times), median(serial), median(parallel)
    print(f"distant: 100 books of 512 KB, 50 ms away at 4000 kB/s a connection ({args.rounds} rounds, medians)")
    print(f"  paveno --connections 4     {p:8.3f} s")
    print(f"  curl one after another     {s:8.3f} s   ratio {p / s:6.3f} (target <= 0.30)")
    print(f"  curl --parallel-max 4      {q:8.3f} s   ratio {p / q:6.3f} (target <= 1.0)")
    # The rounds alternate, so each round's own ratio shows how far the machine's noise moves the median's.
    print("  each round against --parallel-max 4: " + " ".join(f"{a / b:.3f}" for a, b in zip(times, parallel)))
    # What each command's time is made of: the site kept busy by its requests, and the program's start and end.
    bp, bq = median(busy_paveno), median(busy_curl)
    print(f"  of which the site was busy {bp:8.3f} s against {bq:.3f} s   ratio {bp / bq:6.3f}; the program's start "
          f"and end {1000 * median([t - b for t, b in zip(times, busy_paveno)]):4.0f} ms against "
          f"{1000 * median([t - b for t, b in zip(parallel, busy_curl)]):.0f} ms")


for name, measure in [("pacing", pacing), ("shared", shared), ("limited", limited), ("distant", distant)]:
    if args.only in (None, name):
        measure()
