#!/usr/bin/python3
"""The main job against the demo site on loopback: one category of 5 list pages (100 books, covers of 20 KiB,
archives of 500 KiB) collected by `paveno --collect ... --delay 0`, and the same URLs fetched in order by one curl
command line, in the same run. Prints both wall times, their ratio and Paveno's peak memory.
Usage: bench/collect_bench.py [BUILD_DIR] [ROUNDS]"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build"))
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
paveno = os.path.join(build, "app", "paveno")
site_program = os.path.join(build, "tools", "demosite", "paveno-demo-site")
hosts = {}
with open(os.path.join(build, "generated", "BuildConfig.h"), encoding="utf-8") as config:
    for line in config:
        if "constexpr const char k" in line:
            name = line.split("k", 1)[1].split("[")[0]
            hosts[name] = line.split('"')[1]

site = subprocess.Popen([site_program, "--port", "0", "--books-per-category", "100", "--archive-bytes", "512000",
                         "--cover-bytes", "20480"], stdout=subprocess.PIPE, text=True)
port = int(site.stdout.readline().rsplit(":", 1)[1])
mapping = f"::127.0.0.1:{port}"

# The URLs the collection fetches, in its order: 5 list pages, then per book its text page, cover and archive.
urls = [f"http://{hosts['ListHost']}/wanben/xh/tuijian{p}.html" for p in range(1, 6)]
for book in range(100):
    serial = 100000 + book
    urls += [f"http://{hosts['TextHost']}/txt/{serial}txt.html",
             f"http://{hosts['PictureHost']}/dianzishu/UploadPic/{serial}.jpg",
             f"http://{hosts['BookHost']}/down/2011/{serial}.rar"]


def run(command, env=None):
    """Wall time in seconds and the peak resident memory (KiB) of that one process."""
    start = time.monotonic()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise SystemExit(f"{command[0]} ended with {child.returncode}")
    return seconds, usage.ru_maxrss


# HTTP/1.0 as Paveno asks, so both open one connection per request; each body saved to a file of its own, as
# Paveno saves every page, cover and archive.
def curl_command(folder):
    command = ["curl", "-s", "--http1.0", "--connect-to", mapping]
    for number, url in enumerate(urls):
        command += ["-o", os.path.join(folder, str(number)), url]
    return command

paveno_times, curl_times, peak = [], [], 0
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
try:
    for _ in range(rounds):
        run_dir = tempfile.mkdtemp(prefix="paveno-bench-")
        seconds, rss = run([paveno, "--run-dir", run_dir, "--connect-to", mapping, "--collect", "完本/玄幻小说",
                            "--pages", "5", "--delay", "0"], env)
        books = len([n for n in os.listdir(os.path.join(run_dir, "小说", "完本", "玄幻小说")) if n.endswith(".rar")])
        shutil.rmtree(run_dir)
        assert books == 100, f"collected {books} books"
        paveno_times.append(seconds)
        peak = max(peak, rss)
        curl_dir = tempfile.mkdtemp(prefix="paveno-bench-curl-")
        curl_times.append(run(curl_command(curl_dir))[0])
        shutil.rmtree(curl_dir)
finally:
    site.terminate()
    site.wait()

p, c = sorted(paveno_times)[len(paveno_times) // 2], sorted(curl_times)[len(curl_times) // 2]
print(f"{len(urls)} URLs, 100 books, {rounds} rounds (medians)")
print(f"paveno --collect  {p:7.3f} s")
print(f"curl, same URLs   {c:7.3f} s (HTTP/1.0, one file per URL)")
print(f"ratio             {p / c:7.2f}   (target at most 1.2)")
print(f"paveno peak RSS   {peak / 1024:7.1f} MiB (the largest of the rounds)")
