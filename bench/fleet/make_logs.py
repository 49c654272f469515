#!/usr/bin/env python3
"""bench/fleet/make_logs.py FOLDER MIB — writes about MIB MiB of access logs
into FOLDER, as an office's web server collects them over 45 days up to now:
nginx "combined" (access.log, access.log.1 and the rotated access.log.2.gz)
and IIS W3C extended (u_ex.log, a new #Fields block every 100,000 lines).
A tenth of the lines are the updater's GETs of its description from 2,000
PCs; the rest are browsers fetching pages, pictures and scripts. Random
with a fixed seed, so every run writes the same logs."""
import gzip
import os
import random
import sys
import time

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
PCS = ["PC-%04d" % i for i in range(2000)]
REVISIONS = ["2.1", "2.0", "2.0", "1.9"]
STATUSES = ["0"] * 12 + ["3", "4", "5", "6", "7", "-"]
AGENTS = [
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/120.0.0.0 Safari/537.36 Edg/120.0.0.0",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:121.0) Gecko/20100101 Firefox/121.0",
    "Microsoft Office/16.0 (Windows NT 10.0; Microsoft Excel 16.0.17126; Pro)",
]
PATHS = ["/intranet/index.html", "/intranet/css/site.css", "/intranet/js/app.js",
         "/intranet/img/logo.png", "/intranet/news/2026-12.html", "/umsatz/Umsatz.xlsm"]


def lines(count, start, span, rng, w3c):
    for i in range(count):
        t = start + span * i // count
        g = time.gmtime(t)
        updater = rng.random() < 0.1
        pc = rng.randrange(len(PCS))
        address = "10.%d.%d.%d" % (pc // 4000, pc // 250 % 16, pc % 250 + 1)
        if updater:
            path = "/umsatz/revision.ini"
            agent = "Morvane-Updater/1.1.0.0 (Revision %s; Status %s; PC %s)" % (
                REVISIONS[pc % 4], rng.choice(STATUSES), PCS[pc])
            size = 3127
        else:
            path = rng.choice(PATHS)
            agent = rng.choice(AGENTS)
            size = rng.randrange(200, 90000)
        if w3c:
            yield "%04d-%02d-%02d %02d:%02d:%02d 10.0.0.5 GET %s - 80 - %s %s %s 200 0 0 %d\n" % (
                g.tm_year, g.tm_mon, g.tm_mday, g.tm_hour, g.tm_min, g.tm_sec, path, address,
                agent.replace(" ", "+"), "http://intranet/" if not updater else "-",
                rng.randrange(1, 400))
        else:
            yield '%s - - [%02d/%s/%04d:%02d:%02d:%02d +0000] "GET %s HTTP/1.1" 200 %d "%s" "%s"\n' % (
                address, g.tm_mday, MONTHS[g.tm_mon - 1], g.tm_year, g.tm_hour, g.tm_min,
                g.tm_sec, path, size, "http://intranet/" if not updater else "-", agent)


def write(path, text_lines, compressed=False, fields_every=0):
    opener = (lambda p: gzip.open(p, "wt", compresslevel=1)) if compressed else (
        lambda p: open(p, "w"))
    with opener(path) as out:
        chunk = []
        for n, line in enumerate(text_lines):
            if fields_every and n % fields_every == 0:
                chunk.append("#Software: Microsoft Internet Information Services 10.0\n"
                             "#Version: 1.0\n"
                             "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
                             "cs-username c-ip cs(User-Agent) cs(Referer) sc-status sc-substatus "
                             "sc-win32-status time-taken\n")
            chunk.append(line)
            if len(chunk) >= 10000:
                out.write("".join(chunk))
                chunk = []
        out.write("".join(chunk))


def main():
    folder, mib = sys.argv[1], int(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(31)
    now = int(time.time())
    day = 86400
    total = mib * 1024 * 1024 // 197  # lines of about 197 bytes
    # Oldest first: the rotated, compressed log, then .1, the current log; IIS alongside.
    parts = [("access.log.2.gz", 0.25, True, False), ("access.log.1", 0.25, False, False),
             ("access.log", 0.25, False, False), ("u_ex.log", 0.25, False, True)]
    start = now - 45 * day
    for name, share, compressed, w3c in parts:
        span = 45 * day if w3c else 15 * day
        begin = start if w3c else start + 15 * day * [p[0] for p in parts].index(name)
        write(os.path.join(folder, name), lines(int(total * share), begin, span, rng, w3c),
              compressed, 100000 if w3c else 0)


if __name__ == "__main__":
    main()
