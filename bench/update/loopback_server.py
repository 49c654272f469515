"""Static HTTP server on 127.0.0.1 for the update-run benchmark.

Usage: loopback_server.py FOLDER PORT_FILE

Serves FOLDER with Content-Length on every answer, HEAD included. It takes
port 80 when it can, because the updater's size probe always asks port 80;
otherwise any free port (the probe then fails and the updater fetches without
a size). Writes the port to PORT_FILE once it listens. Logs nothing: a log
line per request would cost the server more than the request itself.

LINE_MBIT (environment): sends the bodies at most at that many megabits per
second together, as the one line of an office would: every connection
shares it, each piece of a body waiting for its turn on the line; unset or
0, as fast as loopback goes.
"""

import functools
import http.server
import os
import sys
import threading
import time

LINE_BYTES_PER_SECOND = float(os.environ.get("LINE_MBIT", "0") or 0) * 1e6 / 8


class Line:
    """The office line all connections share: each piece of a body takes
    the next free moment on it and is sent once the line has carried it."""

    def __init__(self, bytes_per_second):
        self.bytes_per_second = bytes_per_second
        self.lock = threading.Lock()
        self.free_at = 0.0

    def carry(self, size):
        with self.lock:
            start = max(time.monotonic(), self.free_at)
            self.free_at = start + size / self.bytes_per_second
            done = self.free_at
        ahead = done - time.monotonic()
        if ahead > 0:
            time.sleep(ahead)


LINE = Line(LINE_BYTES_PER_SECOND) if LINE_BYTES_PER_SECOND else None


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 256
    daemon_threads = True


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def copyfile(self, source, outputfile):
        if LINE is None:
            super().copyfile(source, outputfile)
            return
        while chunk := source.read(16 * 1024):
            LINE.carry(len(chunk))
            outputfile.write(chunk)


def main():
    folder, port_file = sys.argv[1], sys.argv[2]
    handler = functools.partial(QuietHandler, directory=folder)
    try:
        server = Server(("127.0.0.1", 80), handler)
    except OSError:
        server = Server(("127.0.0.1", 0), handler)
    partial = port_file + ".part"
    with open(partial, "w") as out:
        out.write(str(server.server_address[1]))
    os.replace(partial, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
