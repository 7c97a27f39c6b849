#!/usr/bin/python3
"""The main job against the demo site: one category of 5 list pages (100 books, covers of 20 KiB, archives of 500 KiB)
collected by `paveno --collect ... --delay 0`, and the same URLs fetched in order by one curl command line, in the same
run. Twice: over loopback, and over a second site that acts as a distant one (every answer waits 50 ms before its first
byte, every body comes at 4000 kB/s per connection). Prints the wall times, their ratios and Paveno's peak memory.

Usage: bench/collect_bench.py [BUILD_DIR] [--rounds N] [--connections 1,2,4,8] [--only loopback|distant]
  --connections  also collect from the distant site with `paveno --connections N` for each N (skipped when the
                 program does not take the option).
The runs' files go to TMPDIR (default /tmp); the first line says which file system that is."""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from demo_site import Build, Site, catalogue_urls, fetch_with_curl, median, run, scratch_folder, tail, work_filesystem  # noqa: E402

BOOKS = 100
PAGES = 5
CATEGORY = "完本/玄幻小说"
DISTANT = ["--latency-ms", "50", "--rate-kbps", "4000"]

parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("build", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", "build"))
parser.add_argument("legacy_rounds", nargs="?", type=int, help=argparse.SUPPRESS)  # the old `BUILD ROUNDS` form
parser.add_argument("--rounds", type=int, default=3, help="rounds per figure; the median is printed (default 3)")
parser.add_argument("--connections", default="", help="a list such as 1,2,4,8, for the distant site")
parser.add_argument("--only", choices=["loopback", "distant"], help="measure one of the two sites")
args = parser.parse_args()
rounds = args.legacy_rounds or args.rounds
connections = [int(n) for n in args.connections.split(",") if n.strip()]
build = Build(args.build)
urls = catalogue_urls(build, PAGES, BOOKS)
SITE = ["--books-per-category", str(BOOKS), "--archive-bytes", "512000", "--cover-bytes", "20480"]


def collect(site, extra=()):
    """One collection into a fresh library: (seconds, peak KiB), or None when the program refused the options (2)."""
    work = scratch_folder("paveno-bench-")
    log = os.path.join(work, "out.txt")
    status, seconds, rss = run([build.paveno, "--run-dir", os.path.join(work, "run"), "--connect-to", site.mapping,
                                "--collect", CATEGORY, "--pages", str(PAGES), "--delay", "0", *extra], log)
    if status == 2 and extra:
        return None
    folder = os.path.join(work, "run", "小说", *CATEGORY.split("/"))
    books = len([n for n in os.listdir(folder) if n.endswith(".rar")]) if os.path.isdir(folder) else 0
    # 0: every book collected; 1: some book failed or the run could not start. Only a whole run is a figure.
    if status != 0 or books != BOOKS:
        raise SystemExit(f"paveno {' '.join(extra)} ended with {status} having collected {books} of {BOOKS} "
                         f"books:\n{tail(log)}")
    return seconds, rss


peak = 0


def measure(name, site_options, with_connections):
    global peak
    with Site(build, SITE + site_options) as site:
        times, curl_times, by_connections, refused = [], [], {n: [] for n in with_connections}, False
        for _ in range(rounds):
            seconds, rss = collect(site)
            times.append(seconds)
            peak = max(peak, rss)
            curl_times.append(fetch_with_curl(site, urls))
            for n in list(by_connections):
                result = collect(site, ["--connections", str(n)])
                if result is None:
                    by_connections.clear()
                    refused = True
                    break
                by_connections[n].append(result[0])
                peak = max(peak, result[1])
    p, c = median(times), median(curl_times)
    print(f"{name}: {' '.join(site_options) or 'no delay, no rate limit'}")
    print(f"  paveno --collect  {p:7.3f} s")
    print(f"  curl, same URLs   {c:7.3f} s (HTTP/1.0, one file per URL, one after another)")
    print(f"  ratio             {p / c:7.2f}   (paveno / curl)")
    if refused:
        print("  --connections      skipped: paveno does not take the option")
    for n, values in by_connections.items():
        print(f"  --connections {n:<3} {median(values):7.3f} s   ratio {median(values) / c:5.2f}")


print(f"{len(urls)} URLs, {BOOKS} books, {rounds} round(s) per figure (medians), files in {work_filesystem()}")
if args.only != "distant":
    measure("loopback", [], [])
if args.only != "loopback":
    measure("distant site", DISTANT, connections)
print(f"paveno peak RSS     {peak / 1024:7.1f} MiB (the largest of all collections)")
