"""Static HTTP server on 127.0.0.1 for the update-run benchmark.

Usage: loopback_server.py FOLDER PORT_FILE

Serves FOLDER with Content-Length on every answer, HEAD included. It takes
port 80 when it can, because the updater's size probe always asks port 80;
otherwise any free port (the probe then fails and the updater fetches without
a size). Writes the port to PORT_FILE once it listens. Logs nothing: a log
line per request would cost the server more than the request itself.

LINE_MBIT (environment): sends every body at most at that many megabits per
second, as an office line would; unset or 0, as fast as loopback goes.
"""

import functools
import http.server
import os
import sys
import time

LINE_BYTES_PER_SECOND = float(os.environ.get("LINE_MBIT", "0") or 0) * 1e6 / 8


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 64


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def copyfile(self, source, outputfile):
        if not LINE_BYTES_PER_SECOND:
            super().copyfile(source, outputfile)
            return
        start, sent = time.monotonic(), 0
        while chunk := source.read(64 * 1024):
            outputfile.write(chunk)
            sent += len(chunk)
            ahead = sent / LINE_BYTES_PER_SECOND - (time.monotonic() - start)
            if ahead > 0:
                time.sleep(ahead)


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
