"""What the collection benchmarks share: the build's programs and hosts, a demo site process on a free loopback port,
its request log, and a timed run of one command."""
import atexit
import collections
import os
import shutil
import subprocess
import tempfile
import time


class Build:
    """The programs and the site's hosts of a build folder."""

    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        self.paveno = os.path.join(self.folder, "app", "paveno")
        self.site = os.path.join(self.folder, "tools", "demosite", "paveno-demo-site")
        self.hosts = {}
        with open(os.path.join(self.folder, "generated", "BuildConfig.h"), encoding="utf-8") as config:
            for line in config:
                if "constexpr const char k" in line:
                    name = line.split("k", 1)[1].split("[")[0]
                    self.hosts[name] = line.split('"')[1]


# Neither curl nor Paveno may send the loopback requests to a developer's proxy. A collection chooses its own Qt
# platform, as it does for a user who runs it.
ENV = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy") and k != "QT_QPA_PLATFORM"}


class Site:
    """A demo site process on a free loopback port, for the life of a `with` block."""

    def __init__(self, build, options):
        self.process = subprocess.Popen([build.site, "--port", "0"] + list(options), stdout=subprocess.PIPE, text=True)
        self.mapping = f"::127.0.0.1:{int(self.process.stdout.readline().rsplit(':', 1)[1])}"

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait()


_scratch = []


def scratch_folder(prefix):
    """A new folder under TMPDIR for one run's files, removed when the bench ends, not when the run does: on ext4
    without a journal, files deleted in the last minutes slow every file made after them (see work_filesystem), so
    removing one round's files would slow the next round, whichever program it runs."""
    folder = tempfile.mkdtemp(prefix=prefix)
    _scratch.append(folder)
    return folder


@atexit.register
def _remove_scratch():
    for folder in _scratch:
        shutil.rmtree(folder, ignore_errors=True)


def work_filesystem():
    """Where the runs' files go (TMPDIR, else /tmp) and that file system's type. It weighs on every figure: on ext4
    without a journal (this project's build machines), each file made waits while the file system skips the inodes of
    files deleted in the last minutes, and a library is 5 files a book against curl's 3."""
    folder = os.path.realpath(tempfile.gettempdir())
    best = ("/", "?")
    with open("/proc/mounts", encoding="utf-8") as mounts:
        for line in mounts:
            _, point, kind = line.split()[:3]
            if (folder == point or folder.startswith(point.rstrip("/") + "/")) and len(point) >= len(best[0]):
                best = (point, kind)
    return f"{folder} ({best[1]})"


def run(command, log):
    """Exit status, wall time in seconds and the peak resident memory (KiB) of that one process. It starts on a quiet
    disk: what earlier runs wrote is written out first, so that the kernel's writeback of their files does not compete
    with this one's."""
    os.sync()
    with open(log, "wb") as out:
        start = time.monotonic()
        child = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=ENV)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
    return os.waitstatus_to_exitcode(status), seconds, usage.ru_maxrss


def tail(log, lines=8):
    with open(log, "rb") as f:
        return "\n".join(f.read().decode("utf-8", "replace").splitlines()[-lines:])


# One request as the site saw it: its start and end in ms on the site's clock, its path, status and body bytes sent.
Request = collections.namedtuple("Request", "start path status sent end")


def read_log(path):
    """What a site started with --log-requests saw, a Request each, in the order the answers ended."""
    entries = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            start, target, status, sent, end = line.split()
            entries.append(Request(int(start), target, int(status), int(sent), int(end)))
    return entries


def logged_while(log, command):
    """`command`'s result and what the site logged in `log` meanwhile. The site writes a line once an answer's last
    byte is sent, which a program may read and end on before the line is there: the log is read once it has stopped
    growing for 50 ms (2 s at the most)."""
    before = len(read_log(log)) if os.path.exists(log) else 0
    result = command()
    entries, quiet_since = read_log(log)[before:], time.monotonic()
    for _ in range(200):
        time.sleep(0.01)
        now = read_log(log)[before:]
        if len(now) != len(entries):
            entries, quiet_since = now, time.monotonic()
        elif time.monotonic() - quiet_since >= 0.05:
            break
    return result, entries


def busy_seconds(entries):
    """From the first request's start to the last answer's end: the time a run kept the site busy, without the time
    its program took to start and to end."""
    return (max(e.end for e in entries) - min(e.start for e in entries)) / 1000


def median(values):
    return sorted(values)[len(values) // 2]


def catalogue_urls(build, pages, books):
    """The URLs a collection of the first finished category fetches, in its order: the list pages, then per book its
    text page, cover and archive."""
    hosts = build.hosts
    urls = [f"http://{hosts['ListHost']}/wanben/xh/tuijian{p}.html" for p in range(1, pages + 1)]
    for book in range(books):
        serial = 100000 + book
        urls += [f"http://{hosts['TextHost']}/txt/{serial}txt.html",
                 f"http://{hosts['PictureHost']}/dianzishu/UploadPic/{serial}.jpg",
                 f"http://{hosts['BookHost']}/down/2011/{serial}.rar"]
    return urls


def fetch_with_curl(site, urls, parallel=0):
    """Seconds for one curl command line to fetch `urls` (with `parallel` > 0, that many at once). HTTP/1.0 as Paveno
    asks, so both open one connection per request; each body saved to a file of its own, as Paveno saves every page,
    cover and archive."""
    work = scratch_folder("paveno-bench-curl-")
    command = ["curl", "-sS", "--fail", "--http1.0", "--connect-to", site.mapping]
    if parallel:
        command += ["--parallel", "--parallel-max", str(parallel)]
    for number, url in enumerate(urls):
        command += ["-o", os.path.join(work, str(number)), url]
    status, seconds, _ = run(command, os.path.join(work, "log"))
    if status != 0:
        raise SystemExit(f"curl ended with {status}:\n{tail(os.path.join(work, 'log'))}")
    return seconds
