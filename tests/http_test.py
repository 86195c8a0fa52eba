#!/usr/bin/env python3
"""HTTP requests, url! reading and writing, URL parsing and the download cache,
against a loopback server of our own (tests/http_server.py). Nothing but
127.0.0.1 is contacted; proxies are removed from the environment and HOME
points into a temporary folder.
Usage: http_test.py ZUN
"""
import base64
import hashlib
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
from urllib.parse import unquote, urlsplit

HERE = os.path.dirname(os.path.abspath(__file__))
failures = []


def fail(name, text):
    failures.append("%s: %s" % (name, text))


class Server:
    def __init__(self, *extra):
        self.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "http_server.py"),
                                      "--lifetime", "240", *extra],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.port = int(self.proc.stdout.readline())
        self.base = "http://127.0.0.1:%d" % self.port

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def environment(home, **extra):
    env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    env["HOME"] = home
    env.update(extra)
    return env


def run(zun, code, env, timeout=60):
    """Runs a script and answers its output lines."""
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write("Zun []\n" + code + "\n")
        path = f.name
    try:
        proc = subprocess.run([zun, path], capture_output=True, timeout=timeout, env=env,
                              stdin=subprocess.DEVNULL)
    finally:
        os.unlink(path)
    return proc.stdout.decode("utf-8", "replace").splitlines(), proc.stderr.decode()


def echo_of(zun, env, code, name):
    """The server's JSON answer that the script prints as its only output."""
    lines, err = run(zun, "print " + code, env)
    try:
        return json.loads("\n".join(lines))
    except ValueError:
        fail(name, "no JSON answer: %r %s" % (lines, err))
        return None


def header_names(answer):
    return [k for k, _ in answer["headers"]]


def check_requests(zun, server, env):
    base = server.base
    answer = echo_of(zun, env, "read %s/echo" % base, "read")
    if answer:
        want = ["Host", "Content-Type", "Accept-Charset", "User-Agent"]
        if answer["method"] != "GET" or header_names(answer) != want or answer["body"]:
            fail("read sends GET with the three default headers", answer)
        values = dict(answer["headers"])
        if values.get("User-Agent") != "Mozilla/5.0 (X11; Linux x86_64)":
            fail("user agent", values)
    for method, data in [("get", ""), ("post", ' "x"'), ("put", ' "x"'), ("delete", ""),
                         ("patch", ' "x"')]:
        answer = echo_of(zun, env, "write %s/echo [%s []%s]" % (base, method, data), method)
        if answer and answer["method"] != method.upper():
            fail("write with " + method, answer["method"])
    lines, err = run(zun, "r: write/info %s/echo [head []] print [r/1 mold r/3]" % base, env)
    if lines != ['200 ""']:
        fail("write with head", (lines, err))
    answer = echo_of(zun, env, 'write %s/echo [post [Content-Type "text/x"] "a"]' % base,
                     "one header")
    if answer and (header_names(answer) != ["Host", "Content-Type", "Content-Length"] or
                   dict(answer["headers"])["Content-Type"] != "text/x"):
        fail("a header block sends only its headers", answer)
    answer = echo_of(zun, env, "write %s/echo head repeat i 256 [append #{} i - 1]" % base,
                     "binary body")
    if answer and base64.b64decode(answer["body"]) != bytes(range(256)):
        fail("binary body", answer["body"])
    # the url's text escaped as mold escapes it, brackets and ";" kept
    answer = echo_of(zun, env, 'read to url! "%s/echo?a b;[x]é%%"' % base, "escaped url")
    if answer and answer["path"] != "/echo?a%20b;[x]%C3%A9%25":
        fail("the url is sent escaped", answer["path"])
    # header names and values of other kinds are formed; a block body is molded
    answer = echo_of(zun, env, 'write %s/echo [post [X-Num: 12 "X-Str" "v" 5 <t>] [a "b" 1]]'
                     % base, "header kinds")
    if answer and (answer["headers"][1:4] != [["X-Num", "12"], ["X-Str", "v"], ["5", "<t>"]]
                   or base64.b64decode(answer["body"]) != b'a "b" 1'):
        fail("header kinds and a block body", answer)
    answer = echo_of(zun, env, 'write %s/echo "héllo €"' % base, "string body")
    if answer and base64.b64decode(answer["body"]) != "héllo €".encode():
        fail("string body", answer["body"])


def check_results(zun, server, env):
    base = server.base
    cases = [
        ("text, CR LF read as LF", "print mold read %s/text" % base,
         ['{line one^/ligne deux é^/third €^/}']),
        ("lines", "print mold read/lines %s/text" % base,
         ['["line one" "ligne deux é" "third €"]']),
        ("binary", "print mold read/binary %s/bytes" % base, ["#{00010200FF000A0D}"]),
        ("info", "r: read/info %s/cookies print [r/1 select r/2 'content-type mold "
                 "select r/2 'Set-Cookie mold r/3]" % base,
         ['200 text/plain; charset=utf-8 ["a=1" "b=2"] "ok"']),
        ("a 404 is read", "print read %s/status/404" % base, ["status page 404"]),
        ("a 404's status", "print first read/info %s/status/404" % base, ["404"]),
        ("load of a 404", "print mold load %s/status/404" % base, ["none"]),
        ("chunked", "print read %s/chunked" % base, ["chunk one chunk two"]),
        ("do of a url runs the script after its header", "print do %s/script" % base,
         ["script ran", "42"]),
        ("an image codec decodes a url's bytes",
         "print mold system/codecs/bmp/decode %s/image" % base,
         ["make image! [2x1 #{FF00000000FF} #{", "    007F", "}]"]),
        ("load of an image url by its Content-Type", "print mold load %s/image" % base,
         ["make image! [2x1 #{FF00000000FF} #{", "    007F", "}]"]),
        ("302 turns a POST into a GET",
         'print select load-json-ish write %s/redirect/1?code=302 "x" "method"' % base, None),
    ]
    prelude = ('load-json-ish: func [t] [parse t [thru {"method": "} copy m to {"}] '
               'reduce ["method" m]]\n')
    for name, code, want in cases:
        lines, err = run(zun, prelude + code, env)
        if want is None:
            want = ["GET"]
        if lines != want:
            fail(name, "%r, want %r %s" % (lines, want, err))
    answer = echo_of(zun, env, 'write %s/redirect/1?code=307 "keep"' % base, "307")
    if answer and (answer["method"] != "POST" or base64.b64decode(answer["body"]) != b"keep"):
        fail("307 keeps the POST and its body", answer)
    lines, _ = run(zun, "e: try [read %s/redirect/11] print [e/id e/arg2]" % base, env)
    if lines != ["no-connect too many redirects"]:
        fail("11 redirects", lines)
    lines, _ = run(zun, "e: try [read %s/redirect/0?to=file:///etc/passwd] print e/id" % base, env)
    if lines != ["no-connect"]:
        fail("a redirect to a file: url", lines)


def check_errors(zun, server, env, home):
    cases = [
        ("refused", "http://127.0.0.1:1/", "connection refused"),
        ("bad port", "http://127.0.0.1:99999/", "malformed URL"),
        ("open IPv6 literal", 'to url! "http://[::1/"', "malformed URL"),
    ]
    for name, url, reason in cases:
        lines, err = run(zun, "e: try [read %s] print [e/type e/id] print e/arg2" % url, env)
        if lines != ["access no-connect", reason]:
            fail(name, (lines, err))
    lines, err = run(zun, 'print form try [read http://127.0.0.1:1/]', env)
    if not lines or 'cannot connect: http://127.0.0.1:1/ reason: "connection refused"' not in lines[0]:
        fail("no-connect message", (lines, err))
    for name, code in [("LF in a url", 'read to url! "http://127.0.0.1/a^/b"'),
                       ("CR in a header value",
                        'write %s/echo [get [X-A "1^Mb"]]' % server.base),
                       ("LF in a header name", 'write %s/echo [get ["X^/A" "1"]]' % server.base),
                       ("odd header block", 'write %s/echo [get [X-A]]' % server.base)]:
        lines, err = run(zun, "e: try [%s] print e/id" % code, env)
        if lines != ["invalid-arg"]:
            fail(name, (lines, err))
    started = time.time()
    lines, err = run(zun, "e: try [read %s/stall] print e/arg2" % server.base,
                     dict(env, ZUN_HTTP_TIMEOUT="2"), timeout=30)
    if lines != ["timeout"] or time.time() - started > 15:
        fail("a stalled server times out", (lines, err, time.time() - started))
    check_tls(zun, env, home)


def check_tls(zun, env, home):
    cert, key = os.path.join(home, "cert.pem"), os.path.join(home, "key.pem")
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                           "1", "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                          capture_output=True)
    if made.returncode != 0:
        fail("tls", "openssl could not make a certificate")
        return
    server = Server("--tls", cert, key)
    try:
        url = "https://127.0.0.1:%d/text" % server.port
        lines, err = run(zun, "e: try [read %s] print e/arg2" % url, env)
        if lines != ["TLS certificate not trusted"]:
            fail("self-signed certificate", (lines, err))
    finally:
        server.stop()


def check_interrupt(zun, server, env):
    """Ctrl-C in the console during a read of a stalled server halts it."""
    proc = subprocess.Popen([zun], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env)
    try:
        # the prompt first: a slow start-up must not take the interrupt
        seen = b""
        end = time.time() + 60
        while b">> " not in seen and time.time() < end:
            seen += os.read(proc.stdout.fileno(), 4096)
        proc.stdin.write(("read %s/stall\n" % server.base).encode())
        proc.stdin.flush()
        time.sleep(1.5)
        proc.send_signal(signal.SIGINT)
        time.sleep(0.5)
        try:
            proc.stdin.write(b'print "back"\n')
            proc.stdin.close()
        except BrokenPipeError:
            pass
        proc.wait(timeout=20)
        out = seen + proc.stdout.read()
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("ctrl-c", "the console did not come back")
        return
    text = out.decode()
    if "(halted)" not in text or "back" not in text:
        fail("ctrl-c during a read", text)


# URLs against urllib.parse: (url, known differences from python)
URLS = [
    "http://user:pw@example.com:8080/dir/file.txt?q=1&r=2#frag",
    "https://example.com",
    "http://example.com/",
    "ftp://ftp.is.co.za/rfc/rfc1808.txt",
    "http://www.ietf.org/rfc/rfc2396.txt",
    "mailto:John.Doe@example.com",
    "news:comp.infosystems.www.servers.unix",
    "telnet://192.0.2.16:80/",
    "urn:example:animal:ferret:nose:4.1.2",
    "http://[2001:db8::7]/c=GB?objectClass?one",
    "http://%5B::1%5D:8080/x",
    "http://h/a%20b/c%2Fd?x=%41#%42",
    "http://us%65r:p%40ss@h%6Fst.example/",
    "http://Host.Example/",
    "http://h:99999/",
]


def mold_text(v):
    return "none" if v is None else '"%s"' % v


def mold_file(v):
    if v is None:
        return "none"
    return '%"' + v + '"' if " " in v else "%" + v


def oracle(url):
    """decode-url's answer as python's urlsplit and unquote see the url, with the
    known differences: our host keeps its letter case and an IP literal's
    brackets, and ports above 65535 are not refused."""
    p = urlsplit(url)
    user = host = None
    if p.netloc or "//" in url:
        hostport = p.netloc
        if "@" in hostport:
            user, _, hostport = hostport.rpartition("@")
            user = unquote(user)
        for open_, close in (("[", "]"), ("%5B", "%5D")):
            if hostport.startswith(open_):
                end = hostport.index(close) + len(close)
                host = hostport[:end]
                break
        else:
            host = hostport.rpartition(":")[0] if ":" in hostport else hostport
        host = unquote(host)
    try:
        port = p.port
    except ValueError:
        port = int(p.netloc.rpartition(":")[2])
    path = unquote(p.path)
    if not path:
        folder = target = None
    elif path == "/":
        folder, target = "/", None
    else:
        cut = path.rfind("/", 0, len(path) - 1) + 1
        folder, target = path[:cut] or "./", path[cut:]
    return "[%s %s %s %s %s %s %s %s]" % (
        p.scheme, mold_text(user), mold_text(host), "none" if port is None else port,
        mold_file(folder), mold_file(target),
        mold_text(unquote(p.query)) if "?" in url else "none",
        mold_text(unquote(p.fragment)) if "#" in url else "none")


def check_url_parsing(zun, env):
    code = "".join('o: decode-url "%s" print mold/flat reduce [o/scheme o/user-info o/host '
                   'o/port o/path o/target o/query o/fragment]\n' % u for u in URLS)
    lines, err = run(zun, code, env)
    if len(lines) != len(URLS):
        fail("decode-url", (lines, err))
        return
    for url, line in zip(URLS, lines):
        want = oracle(url)
        # python lower-cases the host; we keep it as written
        if line != want:
            fail("decode-url " + url, "%s, want %s" % (line, want))
    lines, _ = run(zun, 'print mold decode-url "no url"\n'
                        'e: url-parser/parse-url/throw-error "no url" print [type? e e/arg1]\n'
                        'o: decode-url http://u@h:81/d/f.txt?q#f print encode-url o\n'
                        'o/path: %./ print encode-url o\n'
                        's: register-scheme make system/standard/scheme [name: \'x]\n'
                        'n: length? system/schemes\n'
                        'print none? register-scheme make system/standard/scheme [name: \'x]\n'
                        'print n = length? system/schemes', env)
    want = ["none", "error URL error: no url", "http://u@h:81/d/f.txt?q#f",
            "http://u@h:81f.txt?q#f", "true", "true"]
    if lines != want:
        fail("parse-url, encode-url, register-scheme", "%r, want %r" % (lines, want))


def check_cache(zun, home, env):
    server = Server()
    base = server.base
    cache = os.path.join(home, ".zun", "cache")
    try:
        url = base + "/text"
        digest = hashlib.md5(url.encode()).hexdigest().upper()
        lines, err = run(zun, "print exists-thru? %s\nprint path-thru %s" % (url, url), env)
        want_path = "%s/%s/%s" % (cache, digest[:2], digest)
        if lines != ["false", want_path.replace(home, home)] and lines[:1] != ["false"]:
            fail("exists-thru? and path-thru", (lines, err))
        if not os.path.isdir(os.path.join(cache, digest[:2])):
            fail("exists-thru? makes the subfolder", os.listdir(home))
        if lines[1:] != [want_path]:
            fail("path-thru names the MD5 digest", (lines, want_path))
        lines, err = run(zun, "print mold read-thru %s" % url, env)
        if lines != ['{line one^/ligne deux é^/third €^/}'] or not os.path.exists(want_path):
            fail("read-thru fetches and keeps", (lines, err))
        # two urls differing only in case: two files, each with its own reply
        pair = [base + "/echo?case=a", base + "/echo?case=A"]
        run(zun, "read-thru %s read-thru %s" % tuple(pair), env)
        kept = []
        for u in pair:
            d = hashlib.md5(u.encode()).hexdigest().upper()
            f = os.path.join(cache, d[:2], d)
            kept.append(json.load(open(f))["path"] if os.path.exists(f) else None)
        if kept != ["/echo?case=a", "/echo?case=A"]:
            fail("urls differing in case get two files", kept)
        # /update fetches again and overwrites the kept file
        with open(want_path, "wb") as f:
            f.write(b"stale")
        lines, err = run(zun, "print mold read-thru/update %s" % url, env)
        if lines != ['{line one^/ligne deux é^/third €^/}'] or open(want_path, "rb").read() == b"stale":
            fail("read-thru/update fetches again and overwrites", (lines, err))
        lines, _ = run(zun, "print exists-thru? %s" % (base + "/status/404"), env)
        run(zun, "attempt [read-thru %s/status/404]" % base, env)
        missing = hashlib.md5((base + "/status/404").encode()).hexdigest().upper()
        if os.path.exists(os.path.join(cache, missing[:2], missing)):
            fail("a 404 is not cached", missing)
        lines, err = run(zun, "a: load-thru %s/json b: load-thru %s/json print [mold/flat a a = b]"
                         % (base, base), env)
        if lines != ['#[a: [1 2 "x"]] true']:
            fail("load-thru of json keeps the loaded value", (lines, err))
        lines, err = run(zun, "print mold/flat load %s/csv" % base, env)
        if lines != ['[["a" "b"] ["1" "2"]]']:
            fail("load of a url decodes by its Content-Type", (lines, err))
        run(zun, "do-thru %s/script" % base, env)
        lines, err = run(zun, "print do-thru %s/script" % base, env)
        if lines != ["script ran", "42"]:
            fail("do-thru runs the script after its header", (lines, err))
        with open(want_path, "wb") as f:
            f.write(b"from the cache")
        server.stop()
        lines, err = run(zun, "print read-thru %s" % url, env)
        if lines != ["from the cache"]:
            fail("read-thru answers from the cache", (lines, err))
        lines, err = run(zun, "print mold try [read-thru/update %s]" % url, env)
        if not any("no-connect" in line for line in lines):
            fail("read-thru/update asks the network again", lines)
    finally:
        server.stop()
    # a cache file that cannot be written (its name leads nowhere, which stops
    # root too) still answers the data; the cache directories exist
    server = Server()
    try:
        locked = tempfile.mkdtemp()
        for page in ("text", "json"):
            u = "%s/%s" % (server.base, page)
            d = hashlib.md5(u.encode()).hexdigest().upper()
            sub = os.path.join(locked, ".zun", "cache", d[:2])
            os.makedirs(sub, exist_ok=True)
            os.symlink(os.path.join(locked, "missing", "file"), os.path.join(sub, d))
        lines, err = run(zun, "print mold try [read-thru %s/text]\n"
                              "print mold/flat try [load-thru %s/json]" % (server.base, server.base),
                         environment(locked))
        if lines != ['{line one^/ligne deux é^/third €^/}', '#[a: [1 2 "x"]]']:
            fail("an unwritable cache", (lines, err))
    finally:
        server.stop()


def main(zun):
    home = tempfile.mkdtemp()
    env = environment(home)
    server = Server()
    try:
        check_requests(zun, server, env)
        check_results(zun, server, env)
        check_errors(zun, server, env, home)
        check_interrupt(zun, server, env)
    finally:
        server.stop()
    check_url_parsing(zun, env)
    check_cache(zun, home, env)
    for f in failures:
        print(f)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
