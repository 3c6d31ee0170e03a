#!/usr/bin/env python3
"""HTTP server for the connection tests, answering as the query string asks.

Listens on 127.0.0.1 at a free port and writes the port number to the file named by its
argument. Every path answers the same way; the query decides how:
  code=404            status code (default 200)
  reason=Text         reason phrase
  ctype=type          Content-Type (none when absent)
  body=text           body text (default empty), or size=N for N pattern bytes
  header=Name:Value   extra header, may repeat
  chain=N             302 to the same URL with chain=N-1, until 0 answers normally
  chunked=N           send the body with chunked transfer coding in pieces of N bytes
  truncate=N          declare the full length but close after N body bytes
  length=N            declare Content-Length N whatever the body, close after the body
  self=1              302 to this very URL, for ever
  wait=MS             sleep before reading the request body and answering
  stall=MS            sleep between the headers and the body
  trickle=MS          send the body one byte every MS milliseconds
  lastmod=1           Last-Modified: Tue, 15 Nov 1994 08:12:31 GMT
  auth=user:pw        401 unless that Basic authorization is sent
  echo=1              body is a JSON report of the request (method, headers, body length)
"""
import base64
import json
import os
import socketserver
import sys
import time
from http.server import BaseHTTPRequestHandler, HTTPServer
from urllib.parse import parse_qs, urlencode, urlsplit

PATTERN = bytes(range(256)) * 4096  # 1 MiB


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _serve(self):
        split = urlsplit(self.path)
        query = parse_qs(split.query, keep_blank_values=True)
        one = lambda k, d=None: query.get(k, [d])[0]

        if one("wait") is not None:
            time.sleep(int(one("wait")) / 1000)
        length = int(self.headers.get("Content-Length") or 0)
        received = self.rfile.read(length) if length else b""

        if one("self"):
            self.send_response(302)
            self.send_header("Location", self.path)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        chain = one("chain")
        if chain is not None and int(chain) > 0:
            query["chain"] = [str(int(chain) - 1)]
            target = split.path + "?" + urlencode(query, doseq=True)
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        auth = one("auth")
        if auth is not None:
            expected = "Basic " + base64.b64encode(auth.encode()).decode()
            if self.headers.get("Authorization") != expected:
                self.send_response(401, "Unauthorized")
                self.send_header("WWW-Authenticate", 'Basic realm="test"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return

        if one("echo"):
            body = json.dumps({
                "method": self.command,
                "headers": {k: v for k, v in self.headers.items()},
                "length": len(received),
                "body": received.decode("latin-1"),
            }).encode()
        elif one("size") is not None:
            size = int(one("size"))
            body = (PATTERN * (size // len(PATTERN) + 1))[:size]
        else:
            body = one("body", "").encode()

        code = int(one("code", "200"))
        self.send_response(code, one("reason"))
        if one("ctype") is not None:
            self.send_header("Content-Type", one("ctype"))
        for h in query.get("header", []):
            name, _, value = h.partition(":")
            self.send_header(name.strip(), value.strip())
        if one("lastmod"):
            self.send_header("Last-Modified", "Tue, 15 Nov 1994 08:12:31 GMT")
        chunked = one("chunked")
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", one("length", str(len(body))))
        truncate = one("truncate")
        if truncate is not None or one("length") is not None:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        if one("stall") is not None:
            self.wfile.flush()
            time.sleep(int(one("stall")) / 1000)
        if one("trickle") is not None:
            for byte in body:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(int(one("trickle")) / 1000)
            return
        if truncate is not None:
            self.wfile.write(body[: int(truncate)])
            self.wfile.flush()
            self.close_connection = True
            return
        if chunked:
            step = max(1, int(chunked))
            for i in range(0, len(body), step):
                piece = body[i : i + step]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
            return
        self.wfile.write(body)

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = _serve


class Server(socketserver.ThreadingMixIn, HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(handler):
    """Serves on 127.0.0.1 at a free port, written to the file named by the first argument."""
    server = Server(("127.0.0.1", 0), handler)
    # Written whole under another name first, so a reader never sees half a number.
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(serve(Handler))
