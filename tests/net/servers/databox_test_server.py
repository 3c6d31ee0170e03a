#!/usr/bin/env python3
"""Data-box service stand-in for the send tests: multi-step logins with one-time codes.

Listens on 127.0.0.1 at a free port and writes the port number to the file named by its
argument. Clients reach it by names under .localhost (login.box.localhost, service.box.localhost,
other.localhost), which resolve to 127.0.0.1. One account:
  user jana.novakova, password Heslo-Žluťoučký-1 (UTF-8), HOTP code 123456, SMS code 654321.
The session cookie IPCZ-X-COOKIE holds a token drawn at start; its domain is .box.localhost.

The first path segment picks the flow; the rest of the path and the query are free for the test
and are kept in redirects. "Login exchange" means a request without a body; one that carries a
body on /hotp, /sms, /sms-code, /direct or /login-ok is recorded as a fault and answered 400.
  /basic/...     401 Basic realm="databox" until Basic user:password, then 200 like /plain
  /digest/...    401 Digest (MD5, qop=auth, challenge over 100 bytes) until a right Digest
                 answer, then 200 like /plain; a Basic answer is refused with 401
  /hotp/...      401 "hotp" until Basic user:password123456; a wrong code gets message code
                 authentication.error.badCode (text in two encoded words); then 302 to
                 http://service.box.localhost:PORT/service/<rest>?<query> with the cookie
  /sms/...       401 "totpsendsms" until Basic user:password ("sends the SMS"), then 302 with
                 the relative Location /sms-code/<rest>?<query> (same host)
  /sms-code/...  401 "totp" with message code authentication.info.totpSended until Basic
                 user:password654321 (a wrong code gets badCode), then 302 to the service
                 with the cookie
  /direct/...    302 to the service with the cookie, no challenge
  /login-ok/...  200 without redirect (a faulty login server)
  /service/...   403 without the cookie; else 200 application/xml
                 <received bytes="N" sha256="..."/> and X-Databox-Received: N
  /plain/...     the same 200 answer, no login
  /missing/...   404 with a small HTML page (as any other path)
  /__seen        GET: JSON list of every request so far, oldest first
  /__reset       clears that list
Wrong user or password in a one-time-code flow gets authentication.error.badCredentials.
"""
import base64
import hashlib
import json
import secrets
import sys
import threading
from http.server import BaseHTTPRequestHandler
from urllib.parse import urlsplit
from urllib.request import parse_http_list, parse_keqv_list
from xml.sax.saxutils import quoteattr

from http_test_server import serve

USER = "jana.novakova"
PASSWORD = "Heslo-Žluťoučký-1"
HOTP_CODE = "123456"
SMS_CODE = "654321"
COOKIE_NAME = "IPCZ-X-COOKIE"
COOKIE_DOMAIN = ".box.localhost"
SERVICE_HOST = "service.box.localhost"
TOKEN = secrets.token_hex(16)

# Long on purpose: a client that reads only the first 100 bytes of the challenge must still
# recognise the scheme and let its HTTP stack answer the whole of it.
DIGEST_REALM = "databox-digest@box.localhost (login with the name and password of the data box)"
DIGEST_NONCE = secrets.token_hex(24)
DIGEST_OPAQUE = secrets.token_hex(16)

LOGIN_FLOWS = {"hotp", "sms", "sms-code", "direct", "login-ok"}

seen = []
seen_lock = threading.Lock()


def encoded_word(text):
    return "=?UTF-8?B?" + base64.b64encode(text.encode("utf-8")).decode("ascii") + "?="


# Servers split long texts into several encoded words; whatever lies between them is not text.
BAD_CODE_TEXT = encoded_word("Chybný kód.") + " " + encoded_word(" Zkuste to znovu.")
BAD_CREDENTIALS_TEXT = encoded_word("Chybné jméno nebo heslo.")
SMS_SENT_TEXT = encoded_word("SMS kód byl odeslán na číslo +420 *** *** 123.")


def basic_expected(code=""):
    return (USER + ":" + PASSWORD + code).encode("utf-8")


def md5(data):
    return hashlib.md5(data if isinstance(data, bytes) else data.encode("utf-8")).hexdigest()


def parse_digest(value):
    """Parameters of a Digest credentials header (quoted or bare values)."""
    items = parse_keqv_list([item for item in parse_http_list(value) if "=" in item])
    return {name.strip().lower(): text for name, text in items.items()}


def digest_valid(params, method):
    if params.get("username") != USER or params.get("realm") != DIGEST_REALM:
        return False
    if params.get("nonce") != DIGEST_NONCE:
        return False
    ha1 = md5(USER.encode() + b":" + DIGEST_REALM.encode() + b":" + PASSWORD.encode("utf-8"))
    ha2 = md5(method + ":" + params.get("uri", ""))
    if params.get("qop"):
        expected = md5(":".join([ha1, params["nonce"], params.get("nc", ""),
                                 params.get("cnonce", ""), params["qop"], ha2]))
    else:
        expected = md5(ha1 + ":" + params["nonce"] + ":" + ha2)
    return params.get("response", "").lower() == expected


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _authorization(self):
        """(record for /__seen, Basic bytes or None, Digest params or None)"""
        value = self.headers.get("Authorization")
        if value is None:
            return None, None, None
        scheme, _, rest = value.strip().partition(" ")
        if scheme.lower() == "basic":
            try:
                decoded = base64.b64decode(rest.strip(), validate=True)
            except ValueError:
                decoded = b""
            text = decoded.decode("utf-8", errors="backslashreplace")
            return {"scheme": "Basic", "text": text}, decoded, None
        if scheme.lower() == "digest":
            params = parse_digest(rest)
            record = {"scheme": "Digest", "username": params.get("username"),
                      "valid": digest_valid(params, self.command)}
            return record, None, params
        return {"scheme": scheme, "raw": value}, None, None

    def _serve(self):
        split = urlsplit(self.path)
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        segments = split.path.lstrip("/").split("/", 1)
        flow = segments[0]
        rest = segments[1] if len(segments) > 1 else ""
        query = ("?" + split.query) if split.query else ""

        if flow == "__seen":
            with seen_lock:
                return self._answer(200, json.dumps(seen, ensure_ascii=False).encode("utf-8"),
                                    "application/json; charset=utf-8")
        if flow == "__reset":
            with seen_lock:
                seen.clear()
            return self._answer(200, b"", "text/plain")

        auth_record, basic, digest = self._authorization()
        cookie = self.headers.get("Cookie")
        record = {
            "method": self.command,
            "host": self.headers.get("Host"),
            "path": self.path,
            "flow": flow,
            "authorization": auth_record,
            "cookieOk": f"{COOKIE_NAME}={TOKEN}" in [c.strip() for c in (cookie or "").split(";")],
            "contentLength": self.headers.get("Content-Length"),
            "bodyLength": len(body),
            "fault": None,
        }
        status, step, headers, payload, ctype = self._decide(flow, rest, query, body, basic,
                                                             digest, record)
        record.update({"step": step, "status": status, "location": headers.get("Location")})
        with seen_lock:
            seen.append(record)
        self._answer(status, payload, ctype, headers)

    def _decide(self, flow, rest, query, body, basic, digest, record):
        """(status, step, headers, body, content type) for one request."""
        received = ('<?xml version="1.0" encoding="UTF-8"?>\n<received bytes="%d" sha256="%s"'
                    ' method=%s path=%s/>\n' % (len(body), hashlib.sha256(body).hexdigest(),
                                                quoteattr(self.command), quoteattr(self.path)))

        def ok(step):
            return (200, step, {"X-Databox-Received": str(len(body))}, received.encode(),
                    "application/xml")

        service = "http://%s:%d/service/%s%s" % (SERVICE_HOST, self.server.server_address[1],
                                                rest, query)
        login_done = {"Location": service, "Set-Cookie":
                      f"{COOKIE_NAME}={TOKEN}; Domain={COOKIE_DOMAIN}; Path=/"}

        def challenge(step, scheme, code=None, text=None, status=401):
            headers = {"WWW-Authenticate": scheme}
            if code is not None:
                headers["X-Response-message-code"] = code
                headers["X-Response-message-text"] = text
            return status, step, headers, b"", "text/plain"

        def otp(scheme, code, first_message):
            """A one-time-code login answered with its challenge, or None when it passed."""
            if basic == basic_expected(code):
                return None
            if basic is None:
                return challenge("challenge", scheme, *first_message)
            if code and basic.startswith(basic_expected()):
                return challenge("bad-code", scheme, "authentication.error.badCode",
                                 BAD_CODE_TEXT)
            return challenge("bad-credentials", scheme, "authentication.error.badCredentials",
                             BAD_CREDENTIALS_TEXT)

        if flow in LOGIN_FLOWS and body:
            record["fault"] = "login exchange carried a body"
            return 400, "fault", {}, b"login exchange carried a body\n", "text/plain"

        if flow == "plain":
            return ok("plain")
        if flow == "basic":
            if basic == basic_expected():
                return ok("accepted")
            return challenge("challenge" if basic is None else "bad-credentials",
                             'Basic realm="databox"')
        if flow == "digest":
            if digest is not None and record["authorization"]["valid"]:
                return ok("accepted")
            step = ("basic-refused" if basic is not None else
                    "bad-digest" if digest is not None else "challenge")
            return challenge(step, 'Digest realm="%s", qop="auth", algorithm=MD5, nonce="%s",'
                             ' opaque="%s"' % (DIGEST_REALM, DIGEST_NONCE, DIGEST_OPAQUE))
        if flow == "hotp":
            refused = otp("hotp", HOTP_CODE, (None, None))
            return refused or (302, "login-ok", login_done, b"", "text/plain")
        if flow == "sms":
            refused = otp("totpsendsms", "", (None, None))
            return refused or (302, "sms-sent", {"Location": "/sms-code/" + rest + query}, b"",
                               "text/plain")
        if flow == "sms-code":
            refused = otp("totp", SMS_CODE, ("authentication.info.totpSended", SMS_SENT_TEXT))
            return refused or (302, "login-ok", login_done, b"", "text/plain")
        if flow == "direct":
            return 302, "login-ok", login_done, b"", "text/plain"
        if flow == "login-ok":
            return 200, "no-redirect", {}, b"logged in\n", "text/plain"
        if flow == "service":
            if not record["cookieOk"]:
                return 403, "no-cookie", {}, b"no session\n", "text/plain"
            return ok("service")
        page = b"<html><head><title>404 Not Found</title></head><body>Not Found</body></html>\n"
        return 404, "missing" if flow == "missing" else "unknown", {}, page, "text/html"

    def _answer(self, status, payload, ctype, headers=None):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(payload)))
        if status in (302, 400):
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(payload)

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = _serve


if __name__ == "__main__":
    sys.exit(serve(Handler))
