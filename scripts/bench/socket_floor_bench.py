#!/usr/bin/env python3
"""How soon after a page's load a browser lets a page send a message: the
floor under "ready" for any agent that talks to its runner from inside the
page, measured without Quorvane (no proxy, no agent) beside what the walk
benchmark prints as "ready after the load".

A plain server (this script, the standard library only) serves pages built
like the walk's (jQuery from Debian's libjs-jquery in the head, kept by the
browser) and a WebSocket endpoint. Each page asks for a socket first thing
in its head, as the agent does, and once the load has passed ("pageshow")
sends its load end and times to the server, one of two ways:
  socket   over that socket, once it is open (as the agent reports);
  request  by a request sent at "pageshow" (XMLHttpRequest), whatever the
           socket does.
The server notes when the message arrives; its answer sends the page on to
the next one. The two ways are measured by turns, so that a machine that
gets busier slows both alike. The browser runs on the display in DISPLAY,
or on a private one by xvfb-run.

    scripts/bench/socket_floor_bench.py [pages] [browser...]

Prints, per browser and way, the median, quartiles and mean over the pages
(the first five of each run warm the caches) of when the message arrives
after the load end; for the socket also when it opened after the load end
(negative: before it) and after it was asked for. Asserts nothing.
"""

import asyncio
import base64
import hashlib
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

JQUERY = "/usr/share/javascript/jquery/jquery.js"
BROWSERS = {
    "chromium": lambda profile, url: ["/usr/lib/chromium/chromium", "--user-data-dir=" + profile, "--no-first-run",
                                      "--no-default-browser-check", "--test-type", "--disable-background-networking",
                                      "--disable-component-update", "--no-sandbox", url],
    "firefox": lambda profile, url: ["/usr/lib/firefox-esr/firefox-esr", "--profile", profile, "--no-remote",
                                     "--new-instance", url],
}
WARM = 5
WS_GUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


def page(n, way):
    return ("""<!DOCTYPE html><html><head><title>Page %(n)d</title><script>
var way = "%(way)s";
var asked = performance.now(), opened = 0, loaded = false, sent = false;
var ws = new WebSocket("ws://" + location.host + "/socket");
function facts() {
  var n = performance.getEntriesByType("navigation")[0];
  return JSON.stringify({ origin: performance.timeOrigin, loadEnd: n.loadEventEnd, asked: asked, opened: opened });
}
function next() { location.href = "/" + way + "/%(next)d"; }
function report() {
  if (sent || !opened || !loaded) return;
  sent = true;
  ws.send(facts());
}
function request() {
  var x = new XMLHttpRequest();
  x.open("POST", "/report");
  x.onload = next;
  x.send(facts());
}
ws.onopen = function () { opened = performance.now(); if (way === "socket") report(); };
ws.onmessage = next;
addEventListener("pageshow", function () { loaded = true; if (way === "socket") report(); else request(); });
</script><script src="/jquery.js"></script></head><body><div id="content"><h2>Page %(n)d</h2>
<form><input id="username"><button type="submit">Login</button></form></div></body></html>"""
            % {"n": n, "next": n + 1, "way": way}).encode()


class FloorServer:
    """Pages, jQuery, the socket and the report address; collects the
    pages' messages."""

    def __init__(self, wanted):
        self.wanted = wanted
        self.results = []
        self.done = threading.Event()
        self.jquery = open(JQUERY, "rb").read()

    async def serve_socket(self, reader, writer, fields):
        accept = base64.b64encode(hashlib.sha1((fields["sec-websocket-key"] + WS_GUID).encode()).digest()).decode()
        writer.write(("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Sec-WebSocket-Accept: %s\r\n\r\n" % accept).encode())
        await writer.drain()
        head = await reader.readexactly(2)
        length = head[1] & 127
        if length == 126:
            length = int.from_bytes(await reader.readexactly(2), "big")
        mask = await reader.readexactly(4)
        data = bytes(b ^ mask[i % 4] for i, b in enumerate(await reader.readexactly(length)))
        # Only a text frame is a page's message: a page measured by request
        # closes its socket as it goes on.
        if head[0] & 0x0F != 1 or self.note(data):
            return
        writer.write(b"\x81\x02go")  # a text frame: the page goes on
        await writer.drain()
        await reader.read()

    def note(self, data):
        """Keeps a page's message; true once there are enough."""
        result = json.loads(data)
        result["arrived"] = time.time() * 1000
        self.results.append(result)
        if len(self.results) >= self.wanted:
            self.done.set()
        return self.done.is_set()

    async def handle(self, reader, writer):
        try:
            while True:
                head = (await reader.readuntil(b"\r\n\r\n")).decode("latin-1").split("\r\n")
                path = head[0].split()[1]
                fields = {k.strip().lower(): v.strip() for k, _, v in (line.partition(":") for line in head[1:]) if v}
                if path == "/socket":
                    await self.serve_socket(reader, writer, fields)
                    return
                if path == "/report":
                    self.note(await reader.readexactly(int(fields.get("content-length", "0"))))
                    writer.write(b"HTTP/1.1 204 No Content\r\n\r\n")
                    await writer.drain()
                    continue
                if path == "/jquery.js":
                    body, kind, keep = self.jquery, "text/javascript", "max-age=3600"
                else:
                    way, _, number = path.strip("/").partition("/")
                    body, kind, keep = page(int(number) if number.isdigit() else 0, way), "text/html", "no-store"
                writer.write(("HTTP/1.1 200 OK\r\nContent-Type: %s\r\nCache-Control: %s\r\nContent-Length: %d\r\n\r\n"
                              % (kind, keep, len(body))).encode() + body)
                await writer.drain()
        except (asyncio.IncompleteReadError, ConnectionError, asyncio.CancelledError):
            pass  # the browser closed the connection (a page went on), or the measurement ended
        finally:
            writer.close()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_server(server, port, stop):
    async def main():
        listening = await asyncio.start_server(server.handle, "127.0.0.1", port)
        async with listening:
            while not stop.is_set():
                await asyncio.sleep(0.05)
    asyncio.run(main())


def figures(values):
    values = sorted(values)
    return "%.1f ms (quartiles %.1f-%.1f, mean %.1f)" % (
        statistics.median(values), values[len(values) // 4], values[3 * len(values) // 4], statistics.mean(values))


def measure(browser, way, pages):
    server = FloorServer(pages + WARM)
    port = free_port()
    stop = threading.Event()
    thread = threading.Thread(target=run_server, args=(server, port, stop))
    thread.start()
    profile = tempfile.mkdtemp(prefix="socket-floor-")
    command = BROWSERS[browser](profile, "http://127.0.0.1:%d/%s/0" % (port, way))
    if not os.environ.get("DISPLAY"):
        command = ["xvfb-run", "-a"] + command
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        finished = server.done.wait(120)
    finally:
        try:
            os.killpg(process.pid, 15)
        except ProcessLookupError:
            pass  # it ended by itself (a browser that could not start)
        process.wait()
        stop.set()
        thread.join()
        shutil.rmtree(profile, ignore_errors=True)
    return server.results[WARM:], finished


def report(browser, way, results, finished):
    print("%s, by %s, %d pages%s:" % (browser, way, len(results), "" if finished else " (gave up waiting for the rest)"))
    if not results:
        return
    print("  the message arrives after the load end: " +
          figures([r["arrived"] - (r["origin"] + r["loadEnd"]) for r in results]))
    if way == "socket":
        print("  the socket opens after the load end: " + figures([r["opened"] - r["loadEnd"] for r in results]))
        print("  the socket opens after it is asked for: " + figures([r["opened"] - r["asked"] for r in results]))
    print("  the load ends: " + figures([r["loadEnd"] for r in results]))


def main():
    args = sys.argv[1:]
    pages = int(args.pop(0)) if args and args[0].isdigit() else 40
    for browser in args or ["chromium", "firefox"]:
        if not os.path.exists(BROWSERS[browser]("", "")[0]):
            print("%s is not installed" % browser)
            continue
        # By turns, half the pages each time, so that both ways see the
        # same machine.
        gathered = {"socket": ([], True), "request": ([], True)}
        for _ in range(2):
            for way in gathered:
                results, finished = measure(browser, way, pages // 2)
                gathered[way] = (gathered[way][0] + results, gathered[way][1] and finished)
        for way, (results, finished) in gathered.items():
            report(browser, way, results, finished)


if __name__ == "__main__":
    main()
