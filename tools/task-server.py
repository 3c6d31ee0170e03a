#!/usr/bin/env python3
"""Serves task documents over HTTP on 127.0.0.1 for tests and the demo.

    task-server.py ROOT PORTFILE

Files under ROOT are answered with status 200 and the content type
"application/octet-stream". Once listening on a free port, the port number is
written to PORTFILE. A request's query can change the answer, so tests can
play a misbehaving server:

    status=404                  the HTTP status
    type=application/xhtml+xml  the content type ("" sends none)
    delay=600                   milliseconds to wait before answering
    body=<text>                 the body instead of the file's bytes

A missing file without "body" gives 404 with a small XHTML error page.
"""
import http.server
import os
import sys
import time
import urllib.parse

ERROR_PAGE = (b'<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml">'
              b'<body><p>No such task</p></body></html>')


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, *args):
        pass

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(parts.query, keep_blank_values=True)

        def arg(name, default=None):
            return query[name][0] if name in query else default

        status = int(arg("status", "200"))
        ctype = arg("type", "application/octet-stream")
        body = arg("body")
        if body is not None:
            body = body.encode("utf-8", "surrogateescape")
        else:
            relative = urllib.parse.unquote(parts.path).lstrip("/")
            path = os.path.realpath(os.path.join(self.root, relative))
            inside = path.startswith(os.path.realpath(self.root) + os.sep)
            if inside and os.path.isfile(path):
                with open(path, "rb") as f:
                    body = f.read()
            else:
                status, ctype, body = 404, "application/xhtml+xml", ERROR_PAGE
        time.sleep(int(arg("delay", "0")) / 1000.0)
        self.send_response(status)
        if ctype:
            self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    Handler.root = sys.argv[1]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    temporary = sys.argv[2] + ".tmp"
    with open(temporary, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(temporary, sys.argv[2])  # readers never see a half-written number
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
