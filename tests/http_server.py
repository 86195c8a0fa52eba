#!/usr/bin/env python3
"""A loopback HTTP server for the HTTP tests: binds 127.0.0.1 on a free port
and prints that port on its first line. Stops by itself after --lifetime
seconds (default 300), so no test can leave it running.

Endpoints:
  /echo         any method: the method, request headers and body as JSON
  /text         UTF-8 text with CR LF line ends
  /bytes        binary with zero bytes
  /status/N     status N with a short body
  /redirect/N   a chain of N redirects (?code=30x, ?to=final path), ending at /echo
  /cookies      two Set-Cookie headers
  /json, /csv   with their Content-Type
  /script       a Zun script
  /image        a 2x1 PNG (red, then half-transparent blue)
  /stall        accepts and never answers
  /big?mb=N     N MiB of bytes
  /chunked      a chunked reply
"""
import argparse
import base64
import json
import socketserver
import struct
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

TEXT = "line one\r\nligne deux é\r\nthird €\r\n".encode()
BYTES = bytes([0, 1, 2, 0, 255, 0, 10, 13])
SCRIPT = b'Zun [title: "thru"]\nprint "script ran"\n6 * 7\n'


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


IMAGE = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 1, 8, 6, 0, 0, 0))
         + png_chunk(b"IDAT", zlib.compress(bytes([0, 255, 0, 0, 255, 0, 0, 255, 128])))
         + png_chunk(b"IEND", b""))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="text/plain; charset=utf-8", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def body(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n) if n else b""

    def handle_any(self):
        url = urlsplit(self.path)
        query = parse_qs(url.query)
        parts = url.path.strip("/").split("/")
        name = parts[0]
        if name == "echo":
            data = self.body()
            answer = {
                "method": self.command,
                "path": self.path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body": base64.b64encode(data).decode(),
            }
            self.reply(200, json.dumps(answer).encode(), "application/json")
        elif name == "text":
            self.reply(200, TEXT)
        elif name == "bytes":
            self.reply(200, BYTES, "application/octet-stream")
        elif name == "status":
            self.reply(int(parts[1]), b"status page %s" % parts[1].encode())
        elif name == "redirect":
            left = int(parts[1])
            code = int(query.get("code", ["302"])[0])
            if left <= 0:
                target = query.get("to", ["/echo"])[0]
            else:
                target = "/redirect/%d?%s" % (left - 1, url.query)
            self.body()
            self.reply(code, b"", extra=[("Location", target)])
        elif name == "cookies":
            self.reply(200, b"ok", extra=[("Set-Cookie", "a=1"), ("Set-Cookie", "b=2")])
        elif name == "json":
            self.reply(200, b'{"a": [1, 2, "x"]}', "application/json")
        elif name == "csv":
            self.reply(200, b"a,b\r\n1,2\r\n", "text/csv")
        elif name == "script":
            self.reply(200, SCRIPT)
        elif name == "image":
            self.reply(200, IMAGE, "image/png")
        elif name == "stall":
            time.sleep(120)
        elif name == "big":
            mb = int(query.get("mb", ["1"])[0])
            block = bytes(range(256)) * 4096
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(mb * len(block)))
            self.end_headers()
            for _ in range(mb):
                self.wfile.write(block)
        elif name == "chunked":
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for piece in (b"chunk one ", b"chunk two"):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.reply(404, b"no such page")

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = do_HEAD = handle_any


class Server(ThreadingHTTPServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lifetime", type=float, default=300)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    if args.tls:
        import ssl
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
