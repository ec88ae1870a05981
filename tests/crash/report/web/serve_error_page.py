#!/usr/bin/env python3
"""The web error page through a real web server: lighttpd (mod_cgi) on
127.0.0.1 starts the console test program under Wine, through a small shell
wrapper, as a CGI program; http.client and html.parser read the answer. The
program is also run without the server, without REQUEST_METHOD (no page) and
with it empty (a page).

usage: serve_error_page.py PROGRAM.exe OUT_FOLDER   (Wine's variables set)
"""
import html.parser
import http.client
import os
import shutil
import socket
import stat
import subprocess
import sys
import time

CAPTION = "Ошибка </title><b>&"
MESSAGE = "Танк №3: level <sensor> & \"pump\" failed"
SCALE = float(os.environ.get("VOLUMETRA_TIME_SCALE", "1") or 1)
failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures += 1


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.in_title = False
        self.titles = []
        self.text = []
        self.comments = []

    def handle_starttag(self, tag, attrs):
        if tag == "title":
            self.in_title = True
            self.titles.append("")

    def handle_endtag(self, tag):
        if tag == "title":
            self.in_title = False

    def handle_data(self, data):
        if self.in_title:
            self.titles[-1] += data
        else:
            self.text.append(data)

    def handle_comment(self, data):
        self.comments.append(data)


def parse_page(body):
    parser = PageParser()
    parser.feed(body.decode("cp1251"))
    parser.close()
    return parser


def make_wrapper(folder, program):
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cgi-wrapper.sh.in")
    with open(source) as f:
        text = f.read()
    values = {
        "@WINEPREFIX@": os.environ["WINEPREFIX"],
        "@HOME@": os.environ.get("HOME", "/root"),
        "@EXE@": program,
        "@LOG@": os.path.join(folder, "cgi-stderr.log"),
    }
    for key, value in values.items():
        text = text.replace(key, value)
    docroot = os.path.join(folder, "docroot")
    os.makedirs(docroot, exist_ok=True)
    wrapper = os.path.join(docroot, "error-page.cgi")
    with open(wrapper, "w") as f:
        f.write(text)
    os.chmod(wrapper, os.stat(wrapper).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    return docroot, wrapper


def run_without_server(wrapper):
    env = dict(os.environ)
    env.pop("REQUEST_METHOD", None)
    r = subprocess.run([wrapper], env=env, stdout=subprocess.PIPE, timeout=120 * SCALE)
    check(r.returncode == 3 and r.stdout == b"", f"no REQUEST_METHOD: no page (exit {r.returncode}, {len(r.stdout)} bytes)")
    env["REQUEST_METHOD"] = ""
    r = subprocess.run([wrapper], env=env, stdout=subprocess.PIPE, timeout=120 * SCALE)
    check(r.returncode == 0 and r.stdout.startswith(b"Status: 500 Error\r\nContent-Type: text/html\r\nContent-Length: "),
          f"empty REQUEST_METHOD: a page (exit {r.returncode}, begins {r.stdout[:40]!r})")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_server(folder, docroot):
    lighttpd = shutil.which("lighttpd") or ("/usr/sbin/lighttpd" if os.path.exists("/usr/sbin/lighttpd") else None)
    check(lighttpd is not None, "lighttpd is installed")
    if lighttpd is None:
        return None, None
    port = free_port()
    conf = os.path.join(folder, "lighttpd.conf")
    with open(conf, "w") as f:
        f.write(f'server.document-root = "{docroot}"\n'
                f'server.bind = "127.0.0.1"\n'
                f'server.port = {port}\n'
                f'server.errorlog = "{os.path.join(folder, "lighttpd-error.log")}"\n'
                'server.modules = ("mod_cgi")\n'
                'cgi.assign = (".cgi" => "")\n')
    server = subprocess.Popen(["lighttpd", "-D", "-f", conf], executable=lighttpd,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    deadline = time.time() + 30 * SCALE
    while time.time() < deadline:
        if server.poll() is not None:
            break
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return server, port
        except OSError:
            time.sleep(0.2)
    output = server.stdout.read().decode(errors="replace") if server.poll() is not None else "(still starting)"
    check(False, f"lighttpd listens on 127.0.0.1:{port}: {output}")
    server.kill()
    return None, None


def request_page(port):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=240 * SCALE)
    conn.request("GET", "/error-page.cgi")
    response = conn.getresponse()
    body = response.read()
    conn.close()
    return response, body


def check_page(response, body, what):
    check(response.status == 500, f"{what}: status {response.status} {response.reason}")
    check((response.getheader("Content-Type") or "").startswith("text/html"),
          f"{what}: Content-Type {response.getheader('Content-Type')}")
    length = response.getheader("Content-Length")
    check(length is not None and int(length) == len(body), f"{what}: Content-Length {length}, body {len(body)} bytes")
    page = parse_page(body)
    check(page.titles == [CAPTION], f"{what}: title {page.titles}")
    text = "".join(page.text).replace("\xa0", " ")
    check(MESSAGE in text, f"{what}: the report's message in the body")
    check("An error has occurred during program execution." in text, f"{what}: the top text in the body")
    ids = [c.strip() for c in page.comments if c.strip().startswith("VexlorLog ID: ")]
    check(len(ids) == 1 and len(ids[0]) == len("VexlorLog ID: 0123ABCD"), f"{what}: identifier comment {ids}")
    return ids[0] if ids else None


def main(program, folder):
    os.makedirs(folder, exist_ok=True)
    docroot, wrapper = make_wrapper(folder, program)
    run_without_server(wrapper)
    server, port = start_server(folder, docroot)
    if server is None:
        return
    try:
        first = check_page(*request_page(port), "first request")
        second = check_page(*request_page(port), "second request")
        check(first != second, f"two pages carry different identifiers ({first}, {second})")
    finally:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
    log = os.path.join(folder, "lighttpd-error.log")
    if os.path.exists(log):
        with open(log, errors="replace") as f:
            print("lighttpd's log:\n" + f.read())


if __name__ == "__main__":
    try:
        main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
    except Exception as e:  # a crash of the check itself is a failure too
        check(False, f"{type(e).__name__}: {e}")
    print(f"{failures} failure(s)")
    sys.exit(1 if failures else 0)
