#!/usr/bin/env python3
"""A small web server of difficulty tables for the table tests.

Listens on 127.0.0.1 on a free port, prints the port on one line, and serves
until it is killed: a page that names its header through a redirect, a
header served as HTML naming two data files (one above the site's folder),
and servers that misbehave: a redirect loop, a 404, an answer that never
comes, a body larger than any cap a test sets (2 MB, without a length).
Given a folder as its argument, it also serves that folder's files under
/files/, read at each request, so that a test can change a table it serves.
"""
import http.server
import json
import os
import sys
import time

ENTRIES_1 = [
    {"level": "1", "md5": "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", "title": "first"},
    {"level": 2, "md5": "", "sha256": "b" * 64, "title": "second"},
    {"level": "3", "md5": "null", "title": "no hash"},
]
ENTRIES_2 = {"charts": [{"level": "10", "md5": "c" * 32, "title": "third"}]}

FILES = {
    "/site/page.html": ("text/html",
                        b"<!DOCTYPE html><html><head>\n<META content='header.json' NAME=\"BMSTable\">\n"
                        b"</head><body>table</body></html>"),
    "/site/header.json": ("text/html; charset=utf-8",
                          b"\xef\xbb\xbf" + json.dumps({
                              "name": "Test table", "symbol": "\u2605", "level_order": [3, "2", "1", "10"],
                              "data_url": ["data1.json", "../../../other/data2.json"],
                              "course": [[{"name": "c"}]]}).encode()),
    "/site/data1.json": ("application/json", json.dumps(ENTRIES_1).encode() + b"\r\n\x00"),
    "/other/data2.json": ("application/json", json.dumps(ENTRIES_2).encode()),
    "/web/page.html": ("text/html", b'<meta name=bmstable content="file:///etc/hostname">'),
}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/start":
            self.redirect("/site/page.html")
        elif self.path == "/loop":
            self.redirect("/loop")
        elif self.path == "/hang":
            time.sleep(600)
        elif self.path == "/big":
            self.send_response(200)
            self.end_headers()
            chunk = b"[" + b" " * 65535
            for _ in range(32):
                self.wfile.write(chunk)
        elif self.path.startswith("/files/") and len(sys.argv) > 1:
            name = os.path.basename(self.path)
            try:
                with open(os.path.join(sys.argv[1], name), "rb") as served:
                    body = served.read()
            except OSError:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif self.path in FILES:
            kind, body = FILES[self.path]
            self.send_response(200)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            self.send_error(404)

    def redirect(self, where):
        self.send_response(302)
        self.send_header("Location", where)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
try:
    server.serve_forever()
except (BrokenPipeError, ConnectionResetError):
    sys.exit(0)
