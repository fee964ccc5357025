"""An https file server for the stream player's network tests.

Serves the files of a directory on 127.0.0.1 with a given certificate, and the same files over
plain http on a second port for the tests of what a stream may not lead to. Writes the https
port and the http port on the first line of standard output, and then behaves as the query of
each request asks:
  rate=N       pace the body at N bytes per second after a 0.5 s head start (default 192000)
  drop=S       close the connection S seconds after the first request for this path (once)
  short=1      with drop: answer every later request for the path with a 404, so that no
               resume can complete the body
  stall=S:D    S seconds after the first request for this path, send nothing for D seconds,
               then go on (once)
  redirect=URL answer with a redirect (302) to URL
Byte ranges ("Range: bytes=A-" and "bytes=A-B") are honoured with 206 answers; a missing file
gets a 404. Every request is logged on standard error as "GET <path> <first byte>", with
"http:" before the path of a plain http request.
"""

import http.server
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse

HEAD_START_SECONDS = 0.5
BLOCK = 4096
CONTENT_TYPES = {".m3u8": "application/vnd.apple.mpegurl", ".ts": "video/mp2t",
                 ".key": "application/octet-stream"}

first_request = {}  # path and query -> when it was first asked for
dropped = set()
stalled = set()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        first_request.setdefault(self.path, time.monotonic())
        query = dict(urllib.parse.parse_qsl(parsed.query))
        name = os.path.basename(urllib.parse.unquote(parsed.path))
        if "redirect" in query:
            self.send_response(302)
            self.send_header("Location", query["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        path = os.path.join(os.getcwd(), name)
        if not name or not os.path.isfile(path) or (query.get("short") and self.path in dropped):
            self.send_error(404, "Not Found")
            return
        size = os.path.getsize(path)
        first, last = 0, size - 1
        ranged = self.headers.get("Range", "")
        if ranged.startswith("bytes="):
            begin, _, end = ranged[6:].partition("-")
            first = int(begin or 0)
            last = min(int(end), size - 1) if end else size - 1
            if first >= size:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        else:
            self.send_response(200)
        scheme = "" if self.server.secure else "http:"
        sys.stderr.write("GET %s%s %d\n" % (scheme, parsed.path, first))
        sys.stderr.flush()
        content_type = CONTENT_TYPES.get(os.path.splitext(name)[1], "audio/wav")
        self.send_header("Content-Type", content_type)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        self.send_body(path, first, last, query, self.path)

    def send_body(self, path, first, last, query, key):
        rate = float(query.get("rate", 192000))
        origin = first_request[key]
        drop = float(query["drop"]) if "drop" in query and key not in dropped else None
        stall_at, stall_for = None, 0.0
        if "stall" in query and key not in stalled:
            at, _, length = query["stall"].partition(":")
            stall_at, stall_for = float(at), float(length)
        start = time.monotonic()
        sent = 0
        with open(path, "rb") as source:
            source.seek(first)
            remaining = last - first + 1
            while remaining > 0:
                now = time.monotonic()
                elapsed = now - start
                if drop is not None and now - origin >= drop:
                    dropped.add(key)
                    self.connection.shutdown(socket.SHUT_RDWR)
                    self.close_connection = True
                    return
                if stall_at is not None and now - origin >= stall_at:
                    stalled.add(key)
                    time.sleep(stall_for)
                    start += stall_for
                    stall_at = None
                    continue
                allowed = (elapsed + HEAD_START_SECONDS) * rate - sent
                if allowed < BLOCK:
                    time.sleep(min(0.02, (BLOCK - allowed) / rate))
                    continue
                block = source.read(min(BLOCK, remaining))
                try:
                    self.wfile.write(block)
                except OSError:
                    return
                sent += len(block)
                remaining -= len(block)


def main():
    directory, cert, key = sys.argv[1:4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    os.chdir(directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.secure = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    plain.daemon_threads = True
    plain.secure = False
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    print(server.server_address[1], plain.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
