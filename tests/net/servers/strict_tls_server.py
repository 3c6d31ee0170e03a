#!/usr/bin/env python3
"""HTTPS that ends the handshake with an alert when the client sends no certificate, or one
its client CA did not issue; answers any request with the client certificate's subject.

    strict_tls_server.py PORTFILE CERT KEY CLIENT_CA
"""
import ssl
import sys
from http.server import BaseHTTPRequestHandler

import http_test_server


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def _serve(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.rfile.read(length)
        subject = self.connection.getpeercert().get("subject", ())
        text = ",".join("%s=%s" % pair for rdn in subject for pair in rdn).encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)

    do_GET = do_POST = _serve


class StrictServer(http_test_server.Server):
    def get_request(self):
        sock, address = super().get_request()
        # A failed handshake is the client's problem only: the next one is served.
        return context.wrap_socket(sock, server_side=True), address


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
context.load_verify_locations(sys.argv[4])
context.verify_mode = ssl.CERT_REQUIRED
# The test tokens' CA has a small key that the default security level refuses in a chain.
context.set_ciphers("DEFAULT:@SECLEVEL=0")

if __name__ == "__main__":
    http_test_server.Server = StrictServer
    sys.exit(http_test_server.serve(Handler))
