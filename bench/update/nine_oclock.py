"""The 9:00 start; started by bench/update/nine_oclock.

Usage: nine_oclock.py UPDATER APP_STAMP WORK_FOLDER N...

For each N, N application folders (each with its own copy of the native
updater, version 1.0 installed) start their updaters at the same moment
against one loopback server whose line all of them share (LINE_MBIT, 100 by
default). The server offers version 2.0: FILES files (20) of MB megabytes
(50) together, each with its SHA256 and Größe, silent (Msg-Typ 0). Measured
per PC: the time from its updater's start to the start of the spreadsheet
stand-in on the workbook; reported: median and 95th percentile, first
without prefetch, then on fresh folders after an `Updater --prefetch` in
each. The prefetches themselves run before the start, over a line without
limit (their time is not what is measured). Also reported: the median CPU
time of one PC's updater (user and system). All PCs share this machine's
cores, where each office PC has its own: with prefetch the run is bound by
the processor (hashing the store), so N PCs on C cores take about
N x CPU/PC / C at least. MODES=without,after picks the measurements.
"""

import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure import crlf, description, make_app, write  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def release_description(files):
    """Version 2.0 naming `files`: (Quelle, Ziel, SHA256, size)."""
    lines = ["[Version]", "2.0", "[Titel]", "Benchmark", "[Msg-Typ]", "0",
             "[Beschreibung]", "Lauf um neun"]
    for number, (source, target, sha256, size) in enumerate(files, 1):
        lines += [f"[Datei {number}]", f"Quelle = {source}", f"Ziel = {target}",
                  f"SHA256 = {sha256}", f"Größe = {size}"]
    lines += ["[Startdatei]", "Mappe.xlsx"]
    return crlf(lines)


class Server:
    """loopback_server.py over WWW with the line limit `mbit` (0: none)."""

    def __init__(self, work, mbit):
        self.port_file = os.path.join(work, "port")
        if os.path.exists(self.port_file):
            os.remove(self.port_file)
        env = dict(os.environ, LINE_MBIT=str(mbit))
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "loopback_server.py"),
             os.path.join(work, "www"), self.port_file], env=env)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.port_file):
            if time.monotonic() > deadline or self.process.poll() is not None:
                sys.exit("the loopback server did not start")
            time.sleep(0.02)
        with open(self.port_file) as port:
            self.port = port.read().strip()

    def url(self, path):
        return "http://127.0.0.1" + ("" if self.port == "80" else f":{self.port}") + path

    def stop(self):
        self.process.terminate()
        self.process.wait()


def start_all(apps, argv_tail, env):
    """Starts the updater of every folder at once; each one's start (ns)
    and CPU time (s)."""
    starts, processes = {}, []
    for app in apps:
        starts[app] = time.time_ns()
        processes.append(subprocess.Popen([os.path.join(app, "Updater")] + argv_tail, cwd=app,
                                          env=env, stdin=subprocess.DEVNULL,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    cpu = {}
    for app, process in zip(apps, processes):
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            sys.exit(f"the updater in {app} {' '.join(argv_tail)} ended with {process.returncode}")
        cpu[app] = usage.ru_utime + usage.ru_stime
    return starts, cpu


def stamps_of(path, count):
    """The stand-in's starts, once `count` have recorded themselves (the
    updater does not wait for the program it starts): workbook -> time (ns)."""
    deadline = time.monotonic() + 30
    while True:
        found = {}
        if os.path.exists(path):
            with open(path) as stamps:
                for line in stamps:
                    stamp, _, workbook = line.rstrip("\n").partition(" ")
                    found[workbook] = int(stamp)
        if len(found) >= count or time.monotonic() > deadline:
            return found
        time.sleep(0.01)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, int(-(-share * len(ordered) // 1)) - 1))]


def one_start(work, updater, env, pcs, prefetch, mbit):
    sandbox = os.path.join(work, f"pcs-{pcs}-{'prefetch' if prefetch else 'plain'}")
    apps = [os.path.join(sandbox, f"pc{number:02d}") for number in range(1, pcs + 1)]
    installed = description("1.0")
    server = Server(work, 0)
    try:
        for app in apps:
            make_app(app, updater, server.url("/revision.ini"), installed)
        if prefetch:
            start_all(apps, ["--prefetch"], env)
            # Written to the disk, as after a night.
            os.sync()
            for app in apps:
                if len(os.listdir(os.path.join(app, "Temp", "Vorrat"))) != FILES:
                    sys.exit(f"the prefetch in {app} did not fill the store")
    finally:
        server.stop()
    stamps = os.path.join(sandbox, "stamps")
    env = dict(env, MORVANE_BENCH_STAMPS=stamps)
    server = Server(work, mbit)
    try:
        for app in apps:
            write(os.path.join(app, "Updater.ini"),
                  crlf(["[Adresse]", server.url("/revision.ini"), "[Startdatei]", "Mappe.xlsx"]))
        starts, cpu = start_all(apps, [], env)
    finally:
        server.stop()
    started = stamps_of(stamps, len(apps))
    times = []
    for app in apps:
        workbook = os.path.join(app, "Mappe.xlsx")
        if workbook not in started:
            sys.exit(f"the workbook of {app} was not started")
        store = os.path.join(app, "Temp", "Vorrat")
        if os.path.isdir(store) and os.listdir(store):
            sys.exit(f"the store of {app} is not empty after the run")
        times.append((started[workbook] - starts[app]) / 1e9)
    shutil.rmtree(sandbox)
    return times, [cpu[app] for app in apps]


FILES = int(os.environ.get("FILES", "20"))


def main():
    updater, app_stamp, work = sys.argv[1:4]
    counts = [int(n) for n in sys.argv[4:]] or [10, 50]
    mbit = float(os.environ.get("LINE_MBIT", "100") or 0)
    total = int(float(os.environ.get("MB", "50")) * 1e6)
    stand_in_bin = os.path.join(work, "bin")
    os.makedirs(stand_in_bin)
    os.symlink(app_stamp, os.path.join(stand_in_bin, "localc"))
    env = dict(os.environ)
    env["PATH"] = stand_in_bin + os.pathsep + env.get("PATH", "")
    env["MORVANE_BENCH_STAMPS"] = os.path.join(work, "prefetch-stamps")

    rng = random.Random(9)
    files = []
    for number in range(1, FILES + 1):
        data = rng.randbytes(total // FILES)
        source = f"files/teil{number:02d}.bin"
        write(os.path.join(work, "www", source), data)
        files.append((source, f"daten\\teil{number:02d}.bin", hashlib.sha256(data).hexdigest(),
                      len(data)))
    write(os.path.join(work, "www", "revision.ini"), release_description(files))

    print(f"Release: {FILES} files, {total / 1e6:.0f} MB; line: "
          f"{mbit:g} Mbit/s shared by all PCs; native updaters, one folder each")
    print(f"{'PCs':>4}  {'prefetch':>9}  {'median':>8}  {'p95':>8}  {'max':>8}  "
          f"{'CPU/PC':>8}")
    modes = os.environ.get("MODES", "without,after").split(",")
    for pcs in counts:
        for prefetch in (False, True):
            if ("after" if prefetch else "without") not in modes:
                continue
            times, cpu = one_start(work, updater, env, pcs, prefetch, mbit)
            print(f"{pcs:>4}  {'after' if prefetch else 'without':>9}  "
                  f"{statistics.median(times):7.2f}s  {percentile(times, 0.95):7.2f}s  "
                  f"{max(times):7.2f}s  {statistics.median(cpu):7.2f}s", flush=True)


if __name__ == "__main__":
    main()
