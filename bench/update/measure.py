"""Measurements of the update-run benchmark; started by bench/update/run.

Usage: measure.py UPDATER APP_STAMP WORK_FOLDER PORT SERVER_PID

WORK_FOLDER/www is the folder the loopback server serves. Two measurements:

1. No-update run: the server announces the installed version. Rounds alternate
   the updater (process start until the spreadsheet stand-in is started, and
   until the updater has ended) with the baseline command
   sh -c 'curl -sI URL; curl -s URL -o FILE' (process start until it ended);
   which of the two goes first alternates too. Reports medians and the median
   of the per-round ratios.
2. An update of FILES files of 8 KiB each, every file replacing an installed
   one, in a fresh sandbox each round; reports the time until the stand-in is
   started, per file, and where the CPU time went. Then the same for
   INSTALL_FILES files of 2 KiB. Both also report the installation alone:
   from the last download to the record of the installed version (the
   journal, the flushes, the moves and the record).
3. Unchanged files: an application of 200 files of 100 KiB to 5 MiB, each
   block with its SHA256. A release where all of them changed, then on the
   same folder one where a single file changed; reports the bytes the server
   sent and the time until the stand-in is started, and their ratio.

Environment: ROUNDS (15; 0 skips), UPDATE_ROUNDS (3), FILES (1000), INSTALL_FILES (5000),
UNCHANGED_ROUNDS (3).
"""

import hashlib
import os
import random
import shutil
import statistics
import sys
import time

FILE_BYTES = 8 * 1024
SMALL_FILE_BYTES = 2 * 1024
DEVNULL = os.open(os.devnull, os.O_RDWR)


def crlf(lines):
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def description(version, file_blocks=()):
    """File blocks are (Quelle, Ziel) or (Quelle, Ziel, SHA256)."""
    lines = ["[Version]", version, "[Titel]", "Benchmark", "[Msg-Typ]", "0",
             "[Beschreibung]", "Lauf des Benchmarks"]
    for number, (source, target, *sha256) in enumerate(file_blocks, 1):
        lines += [f"[Datei {number}]", f"Quelle = {source}", f"Ziel = {target}"]
        lines += [f"SHA256 = {digest}" for digest in sha256]
    lines += ["[Startdatei]", "Mappe.xlsx"]
    return crlf(lines)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def read(path):
    with open(path, "rb") as source:
        return source.read()


def make_app(folder, updater, url, installed_description):
    """An application folder: the updater beside its settings, the workbook,
    and the copy of the description that records the installed revision."""
    os.makedirs(folder)
    # A copy, not a link: the updater takes its folder from its own file.
    shutil.copy2(updater, os.path.join(folder, "Updater"))
    write(os.path.join(folder, "Updater.ini"),
          crlf(["[Adresse]", url, "[Startdatei]", "Mappe.xlsx"]))
    write(os.path.join(folder, "Mappe.xlsx"), b"")
    write(os.path.join(folder, "Temp", "revision.ini"), installed_description)


class Runner:
    def __init__(self, work, stand_in_bin, server_pid):
        self.work = work
        self.stamps = os.path.join(work, "stamps")
        self.server_pid = server_pid
        self.env = dict(os.environ)
        self.env["PATH"] = stand_in_bin + os.pathsep + self.env.get("PATH", "")
        self.env["MORVANE_BENCH_STAMPS"] = self.stamps
        self.stamp_count = 0

    def spawn(self, argv, cwd, output):
        """Runs argv in cwd; (start ns, end ns, exit status, rusage)."""
        os.chdir(cwd)
        actions = [(os.POSIX_SPAWN_DUP2, DEVNULL, 0), (os.POSIX_SPAWN_DUP2, output, 1),
                   (os.POSIX_SPAWN_DUP2, output, 2)]
        start = time.time_ns()
        pid = os.posix_spawn(argv[0], argv, self.env, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        end = time.time_ns()
        return start, end, os.waitstatus_to_exitcode(status), usage

    def next_stamp(self):
        """Start time (ns) and arguments of the stand-in's next start."""
        deadline = time.monotonic() + 10
        while True:
            try:
                with open(self.stamps) as stamps:
                    lines = stamps.read().splitlines()
            except FileNotFoundError:
                lines = []
            if len(lines) > self.stamp_count:
                line = lines[self.stamp_count]
                self.stamp_count += 1
                stamp, _, arguments = line.partition(" ")
                return int(stamp), arguments
            if time.monotonic() > deadline:
                sys.exit("the spreadsheet stand-in was not started")
            time.sleep(0.001)

    def updater(self, app):
        log = os.path.join(self.work, "updater.log")
        with open(log, "wb") as output:
            start, end, code, usage = self.spawn([os.path.join(app, "Updater")], app,
                                                 output.fileno())
        stamp, arguments = self.next_stamp()
        said = read(log)
        if code != 0 or said:
            sys.exit(f"updater ended with {code} and said:\n{said.decode(errors='replace')}")
        if arguments != os.path.join(app, "Mappe.xlsx"):
            sys.exit(f"the stand-in was started with {arguments!r}")
        return {"app": stamp - start, "exit": end - start,
                "cpu": usage.ru_utime + usage.ru_stime}

    def command(self, argv, cwd):
        start, end, code, _ = self.spawn(argv, cwd, DEVNULL)
        if code != 0:
            sys.exit(f"{argv} ended with {code}")
        return end - start

    def server_sent(self):
        """Bytes the server has read so far: the files it served."""
        with open(f"/proc/{self.server_pid}/io") as io:
            fields = dict(line.split(": ") for line in io.read().splitlines())
        return int(fields["rchar"])

    def server_cpu(self):
        """CPU seconds the server has used so far."""
        with open(f"/proc/{self.server_pid}/stat") as stat:
            fields = stat.read().rpartition(")")[2].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def ms(ns):
    return f"{ns / 1e6:7.1f} ms"


def no_update(runner, updater, base_url, rounds):
    www = os.path.join(runner.work, "www")
    current = description("1.00")
    write(os.path.join(www, "same", "revision.ini"), current)
    url = base_url + "/same/revision.ini"
    app = os.path.join(runner.work, "same", "app")
    make_app(app, updater, url, current)
    fetched = os.path.join(runner.work, "same", "curl-copy.ini")
    baseline = ["/bin/sh", "-c", f"curl -sI {url}; curl -s {url} -o {fetched}"]

    for _ in range(2):  # warm the caches of both
        runner.updater(app)
        runner.command(baseline, runner.work)
    updates, curls, ratios_app, ratios_exit = [], [], [], []
    for number in range(rounds):
        if number % 2 == 0:
            updates.append(runner.updater(app))
            curls.append(runner.command(baseline, runner.work))
        else:
            curls.append(runner.command(baseline, runner.work))
            updates.append(runner.updater(app))
        ratios_app.append(updates[-1]["app"] / curls[-1])
        ratios_exit.append(updates[-1]["exit"] / curls[-1])

    if read(os.path.join(app, "Temp", "revision.ini")) != current or \
            os.path.exists(os.path.join(app, "Backup")):
        sys.exit("the no-update run changed the application folder")
    if read(fetched) != current:
        sys.exit("the baseline did not fetch the description")

    median = statistics.median
    print(f"No-update run, {rounds} alternating rounds: median (min)")
    for label, values in (
            ("updater: start to application start", [u["app"] for u in updates]),
            ("updater: start to its exit", [u["exit"] for u in updates]),
            ("curl -sI URL; curl -s URL -o FILE", curls)):
        print(f"  {label:38s}{ms(median(values))}  ({ms(min(values)).strip()})")
    print(f"  {'updater CPU (user + sys)':38s}"
          f"{ms(median(u['cpu'] for u in updates) * 1e9)}")
    print(f"  ratio, application start / baseline   {median(ratios_app):7.2f}   (target <= 1.0)")
    print(f"  ratio, updater exit / baseline        {median(ratios_exit):7.2f}")


def installation_time(app, count):
    """Seconds from the last download to the record of the installed version:
    a move keeps a file's modification time, so the newest installed file
    tells when the last download was written (the log may have been rotated
    past it)."""
    last_download = max(os.stat(os.path.join(app, "data", f"f{i:04d}.bin")).st_mtime_ns
                        for i in range(1, count + 1))
    record = os.stat(os.path.join(app, "Temp", "revision.ini")).st_mtime_ns
    return (record - last_download) / 1e9


def many_files(runner, updater, base_url, rounds, count, file_bytes, folder):
    www = os.path.join(runner.work, "www")
    blocks = [(f"files/f{i:04d}.bin", f"data\\f{i:04d}.bin") for i in range(1, count + 1)]
    fresh = description("2.00", blocks)
    write(os.path.join(www, folder, "revision.ini"), fresh)
    new_content = {}
    for source, _ in blocks:
        new_content[source] = os.urandom(file_bytes)
        write(os.path.join(www, folder, source), new_content[source])

    template = os.path.join(runner.work, folder, "template")
    make_app(template, updater, base_url + f"/{folder}/revision.ini", description("1.00"))
    for source, _ in blocks:
        write(os.path.join(template, "data", os.path.basename(source)), os.urandom(file_bytes))

    results = []
    for number in range(rounds):
        app = os.path.join(runner.work, folder, f"round{number + 1}")
        shutil.copytree(template, app)
        os.sync()  # the copy's write-back must not fall into the measured run
        cpu_before = runner.server_cpu()
        result = runner.updater(app)
        result["server"] = runner.server_cpu() - cpu_before
        result["install"] = installation_time(app, count)
        for source, _ in blocks:
            name = os.path.basename(source)
            if read(os.path.join(app, "data", name)) != new_content[source]:
                sys.exit(f"round {number + 1}: data/{name} was not installed")
        backups = sum(len(files) for _, _, files in os.walk(os.path.join(app, "Backup")))
        if backups != count:
            sys.exit(f"round {number + 1}: {backups} backups instead of {count}")
        results.append(result)
        os.chdir(runner.work)
        shutil.rmtree(app)

    totals = [r["app"] for r in results]
    total = statistics.median(totals)
    installs = [r["install"] for r in results]
    install = statistics.median(installs)
    print(f"{count:,}-file update, {file_bytes // 1024} KiB files, {rounds} fresh rounds "
          f"(download all, then back up and replace each):")
    print(f"  start to application start, median  {total / 1e9:7.2f} s   (rounds: "
          + " ".join(f"{t / 1e9:.2f}" for t in totals) + ")")
    print(f"  per file                            {total / count / 1e6:7.2f} ms")
    print(f"  installation (last download to record), median "
          f"{install:7.2f} s   (rounds: " + " ".join(f"{t:.2f}" for t in installs) + ")")
    print(f"  installation per file               {install / count * 1e3:7.2f} ms")
    print(f"  updater CPU (user + sys), median    "
          f"{statistics.median(r['cpu'] for r in results):7.2f} s")
    print(f"  server CPU, median                  "
          f"{statistics.median(r['server'] for r in results):7.2f} s")


def unchanged_files(runner, updater, base_url, rounds, count=200):
    www = os.path.join(runner.work, "www")
    sizes = random.Random(20261208)
    files = []  # (Quelle, Ziel, SHA256 of the new file, size)
    for i in range(1, count + 1):
        data = os.urandom(sizes.randint(100 * 1024, 5 * 1024 * 1024))
        source = f"files/u{i:03d}.bin"
        write(os.path.join(www, "unchanged", source), data)
        files.append((source, f"data\\u{i:03d}.bin", hashlib.sha256(data).hexdigest(), len(data)))
    fresh = description("2.00", [(s, t, h) for s, t, h, _ in files])
    write(os.path.join(www, "unchanged", "revision.ini"), fresh)
    total_bytes = sum(size for *_, size in files)

    def installed(app, i):
        return os.path.join(app, "data", f"u{i:03d}.bin")

    def measured(app):
        os.sync()
        sent = runner.server_sent()
        result = runner.updater(app)
        result["sent"] = runner.server_sent() - sent
        for i, (_, _, digest, _) in enumerate(files, 1):
            if hashlib.sha256(read(installed(app, i))).hexdigest() != digest:
                sys.exit(f"data/u{i:03d}.bin was not installed")
        return result

    def backups(app):
        return sum(len(names) for _, _, names in os.walk(os.path.join(app, "Backup")))

    every, one = [], []
    for number in range(rounds):
        app = os.path.join(runner.work, "unchanged", f"round{number + 1}")
        make_app(app, updater, base_url + "/unchanged/revision.ini", description("1.00"))
        for i, (*_, size) in enumerate(files, 1):
            write(installed(app, i), os.urandom(size))
        every.append(measured(app))
        if backups(app) != count:
            sys.exit(f"{backups(app)} backups instead of {count} after the full update")
        # The same release again over an installation that differs in one file.
        write(os.path.join(app, "Temp", "revision.ini"), description("1.00"))
        write(installed(app, 1), b"changed")
        one.append(measured(app))
        if backups(app) != count + 1:
            sys.exit(f"{backups(app) - count} backups instead of 1 after the one-file update")
        os.chdir(runner.work)
        if os.environ.get("KEEP") != "1":
            shutil.rmtree(app)

    median = statistics.median
    print(f"{count} files of 100 KiB to 5 MiB ({total_bytes / 2**20:.0f} MiB), each with SHA256, "
          f"{rounds} rounds: median")
    for label, results in (("all files changed", every), ("one file changed", one)):
        print(f"  {label:18s} server read {median(r['sent'] for r in results) / 2**20:7.2f} MiB, "
              f"start to application start {median(r['app'] for r in results) / 1e9:5.2f} s, "
              f"updater CPU {median(r['cpu'] for r in results):5.2f} s")
    ratio = median(o["app"] / e["app"] for o, e in zip(one, every))
    print(f"  ratio of the times, one / all        {ratio:7.3f}   (target <= 0.1)")


def main():
    updater, app_stamp, work, port, server_pid = sys.argv[1:6]
    rounds = int(os.environ.get("ROUNDS", "15"))
    update_rounds = int(os.environ.get("UPDATE_ROUNDS", "3"))
    count = int(os.environ.get("FILES", "1000"))

    stand_in_bin = os.path.join(work, "bin")
    os.makedirs(stand_in_bin)
    os.symlink(app_stamp, os.path.join(stand_in_bin, "localc"))
    runner = Runner(work, stand_in_bin, int(server_pid))
    base_url = "http://127.0.0.1" + ("" if port == "80" else f":{port}")

    install_count = int(os.environ.get("INSTALL_FILES", "5000"))

    if rounds > 0:
        no_update(runner, updater, base_url, rounds)
    if count > 0 and update_rounds > 0:
        many_files(runner, updater, base_url, update_rounds, count, FILE_BYTES, "many")
    if install_count > 0 and update_rounds > 0:
        many_files(runner, updater, base_url, update_rounds, install_count, SMALL_FILE_BYTES,
                   "small")
    unchanged_rounds = int(os.environ.get("UNCHANGED_ROUNDS", "3"))
    if unchanged_rounds > 0:
        unchanged_files(runner, updater, base_url, unchanged_rounds)


if __name__ == "__main__":
    main()
