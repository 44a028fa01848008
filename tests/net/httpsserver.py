#!/usr/bin/env python3
"""A local HTTPS server for the transport tests. One listener per certificate kind on 127.0.0.1
(ephemeral ports, written to ports.json when ready). Answers follow routes.json, re-read on every
request; every request is recorded in requests.jsonl, multipart forms decoded by Python's email
parser."""
import json
import ssl
import sys
import threading
import time
from email.parser import BytesParser
from email.policy import HTTP
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

FOLDER = Path(sys.argv[1])
LOCK = threading.Lock()


def record(entry):
    with LOCK, open(FOLDER / "requests.jsonl", "a") as f:
        f.write(json.dumps(entry) + "\n")


def make_handler(kind):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def handle_any(self):
            length = self.headers.get("Content-Length")
            body = b""
            if length is not None and length.isdigit():
                body = self.rfile.read(int(length))
            entry = {"kind": kind, "method": self.command, "path": self.path,
                     "version": self.request_version, "headers": list(self.headers.items()),
                     "bodyLength": len(body), "ua": self.headers.get("User-Agent", ""),
                     "contentTypes": len(self.headers.get_all("Content-Type") or []),
                     "contentType": self.headers.get("Content-Type", ""),
                     "contentLengths": len(self.headers.get_all("Content-Length") or []),
                     "contentLength": self.headers.get("Content-Length", ""),
                     "expects": len(self.headers.get_all("Expect") or [])}
            ctype = self.headers.get_all("Content-Type") or []
            if body and ctype:
                msg = BytesParser(policy=HTTP).parsebytes(
                    b"Content-Type: " + ctype[0].encode() + b"\r\n\r\n" + body)
                fields = {}
                if msg.is_multipart():
                    for part in msg.iter_parts():
                        fields[part.get_param("name", header="content-disposition")] = \
                            part.get_payload(decode=True).decode("latin-1")
                entry["form"] = fields
            record(entry)
            routes = json.loads((FOLDER / "routes.json").read_text())
            route = routes.get(self.path.split("?")[0], {"status": 404, "body": "no route"})
            self.answer(route)

        def answer(self, route):
            status = route.get("status", 200)
            body = route.get("body", "").encode("latin-1")
            if "repeat" in route:
                body = (route["repeat"] * (route["length"] // len(route["repeat"]) + 1)).encode()[
                    : route["length"]]
            self.send_response(status)
            for k, v in route.get("headers", {}).items():
                self.send_header(k, v)
            mode = route.get("mode", "plain")
            if mode == "plain":
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
            elif mode == "endless":
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                piece = b"x" * 1000
                try:
                    for _ in range(100000):
                        self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                except OSError:
                    pass
                self.close_connection = True
            elif mode == "stall":
                self.send_header("Content-Length", "100")
                self.end_headers()
                self.wfile.write(b"x" * 10)
                self.wfile.flush()
                for _ in range(600):
                    time.sleep(0.1)
                self.close_connection = True

        do_GET = handle_any
        do_POST = handle_any

    return Handler


def main():
    ports = {}
    for kind in ("good", "untrusted", "wrongname", "expired"):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.minimum_version = ssl.TLSVersion.TLSv1_2
        ctx.load_cert_chain(FOLDER / f"{kind}.pem", FOLDER / f"{kind}.key")
        server = ThreadingHTTPServer(("127.0.0.1", 0), make_handler(kind))
        server.daemon_threads = True
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
        ports[kind] = server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()
    tmp = FOLDER / "ports.tmp"
    tmp.write_text(json.dumps(ports))
    tmp.rename(FOLDER / "ports.json")
    # Ends with its parent: the test closes our standard input.
    sys.stdin.read()


if __name__ == "__main__":
    main()
