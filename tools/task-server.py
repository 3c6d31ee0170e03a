#!/usr/bin/env python3
"""Serves task documents over HTTP or HTTPS on 127.0.0.1 for tests and the demo.

    task-server.py [--tls CERT KEY] [--handshake-delay MS] ROOT PORTFILE

Files under ROOT are answered with status 200 and the content type
"application/octet-stream". Once listening on a free port, the port number is
written to PORTFILE. With --tls the server speaks HTTPS with that certificate
and key (PEM files); --handshake-delay waits MS milliseconds after accepting a
connection before the TLS handshake, a server slow to start TLS.

A request's query can change the answer, so tests can play a misbehaving
server:

    status=404                  the HTTP status
    type=application/xhtml+xml  the content type ("" sends none)
    delay=600                   milliseconds to wait before answering
    body=<text>                 the body instead of the file's bytes
    auth=user:password          401 with a Basic challenge (after the delay)
                                unless the request carries these credentials

A missing file without "body" gives 404 with a small XHTML error page.
"""
import argparse
import base64
import http.server
import os
import ssl
import sys
import time
import urllib.parse

ERROR_PAGE = (b'<?xml version="1.0"?><html xmlns="http://www.w3.org/1999/xhtml">'
              b'<body><p>No such task</p></body></html>')
REALM = "Quillbox tasks"


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

        time.sleep(int(arg("delay", "0")) / 1000.0)
        credentials = arg("auth")
        if credentials is not None and not self.authorized(credentials):
            self.answer(401, "text/plain", b"Authorization required\n",
                        {"WWW-Authenticate": 'Basic realm="%s"' % REALM})
            return
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
        self.answer(status, ctype, body)

    def authorized(self, credentials):
        expected = "Basic " + base64.b64encode(credentials.encode("utf-8")).decode("ascii")
        return self.headers.get("Authorization", "") == expected

    def answer(self, status, ctype, body, extra_headers=None):
        self.send_response(status)
        if ctype:
            self.send_header("Content-Type", ctype)
        for name, value in (extra_headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class Server(http.server.ThreadingHTTPServer):
    tls = None
    handshake_delay = 0.0

    def finish_request(self, request, client_address):
        if self.tls is None:
            super().finish_request(request, client_address)
            return
        # On the connection's own thread, so a slow handshake holds up no other client.
        time.sleep(self.handshake_delay)
        try:
            with self.tls.wrap_socket(request, server_side=True) as secure:
                super().finish_request(secure, client_address)
        except (ssl.SSLError, OSError):
            pass  # the client refused the certificate or went away


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("portfile")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--handshake-delay", type=int, default=0, metavar="MS")
    options = parser.parse_args()
    Handler.root = options.root
    server = Server(("127.0.0.1", 0), Handler)
    if options.tls:
        server.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server.tls.load_cert_chain(*options.tls)
        server.handshake_delay = options.handshake_delay / 1000.0
    temporary = options.portfile + ".tmp"
    with open(temporary, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(temporary, options.portfile)  # readers never see a half-written number
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
