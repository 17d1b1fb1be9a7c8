#!/usr/bin/env python3
"""The language server's figures: how long after a change its diagnostics
come, for every example scene and the 100,352-triangle mesh scene; how long
a hover waits while changes to the mesh scene come in; and the server's
memory with the mesh scene open against the parse's own peak (`glimmark
check --strict`).

    bench/lsp_latency.py <glimmark> <examples folder> <mesh folder>

The mesh folder holds mesh.gmk and mesh_data.gmk as gen_mesh.py --out
writes them (python3 ../shared/bench/gen_mesh.py --out /tmp/mesh).
"""
import json
import os
import resource
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path


class Server:
    def __init__(self, program):
        self.process = subprocess.Popen([program, "lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.lock = threading.Condition()
        self.messages = []
        self.next_id = 1
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        out = self.process.stdout
        while True:
            length = None
            while True:
                line = out.readline()
                if not line:
                    return
                if line in (b"\r\n", b"\n"):
                    break
                name, _, value = line.decode().partition(":")
                if name.lower() == "content-length":
                    length = int(value)
            message = json.loads(out.read(length))
            with self.lock:
                self.messages.append((time.perf_counter(), message))
                self.lock.notify_all()

    def send(self, message):
        body = json.dumps(dict(jsonrpc="2.0", **message)).encode()
        self.process.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.process.stdin.flush()

    def notify(self, method, params):
        self.send({"method": method, "params": params})

    def request(self, method, params):
        ident = self.next_id
        self.next_id += 1
        self.send({"id": ident, "method": method, "params": params})
        return ident

    def wait(self, match, timeout=120):
        """The time and the message of the first message `match` accepts."""
        end = time.perf_counter() + timeout
        with self.lock:
            while True:
                for i, (at, message) in enumerate(self.messages):
                    if match(message):
                        del self.messages[: i + 1]
                        return at, message
                if not self.lock.wait(end - time.perf_counter()):
                    raise TimeoutError("no answer")

    def answer(self, ident):
        return self.wait(lambda m: m.get("id") == ident)

    def diagnostics(self, uri, version):
        return self.wait(lambda m: m.get("method") == "textDocument/publishDiagnostics"
                         and m["params"]["uri"] == uri and m["params"].get("version") == version)

    def peak_kib(self):
        for line in Path(f"/proc/{self.process.pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
        return 0

    def rss_kib(self):
        for line in Path(f"/proc/{self.process.pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
        return 0

    def close(self):
        self.answer(self.request("shutdown", None))
        self.notify("exit", None)
        self.process.wait(10)


def ms(seconds):
    return f"{seconds * 1000:.1f} ms"


def latencies(server, path, runs):
    """The times from didOpen and from each full-text didChange to the diagnostics."""
    uri = path.resolve().as_uri()
    text = path.read_text()
    start = time.perf_counter()
    server.notify("textDocument/didOpen",
                  {"textDocument": {"uri": uri, "languageId": "glimmark", "version": 1, "text": text}})
    at, message = server.diagnostics(uri, 1)
    opened = at - start
    changes = []
    for version in range(2, runs + 2):
        start = time.perf_counter()
        # A blank typed at the end, as an editor sends it.
        text += " "
        server.notify("textDocument/didChange",
                      {"textDocument": {"uri": uri, "version": version}, "contentChanges": [{"text": text}]})
        at, _ = server.diagnostics(uri, version)
        changes.append(at - start)
    return uri, opened, changes, message["params"]["diagnostics"]


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    glimmark, examples, mesh = os.path.abspath(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    # The parse's own peak first: the children's peak is the largest of all
    # waited for, and the server is one.
    start = time.perf_counter()
    subprocess.run([glimmark, "check", "--strict", "mesh.gmk"], cwd=mesh, check=True,
                   stdout=subprocess.DEVNULL)
    took = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    print(f"glimmark check --strict mesh.gmk: {ms(took)}, peak {peak / 1024:.1f} MiB")
    server = Server(glimmark)
    server.answer(server.request("initialize", {"processId": os.getpid(), "capabilities": {}}))
    server.notify("initialized", {})

    print("| scene | open to diagnostics | change to diagnostics (median, max of 20) |")
    print("|---|---|---|")
    for path in sorted(examples.glob("*.gmk")):
        uri, opened, changes, found = latencies(server, path, 20)
        print(f"| {path.name} | {ms(opened)} | {ms(statistics.median(changes))}, {ms(max(changes))} |")
        server.notify("textDocument/didClose", {"textDocument": {"uri": uri}})
    base_rss = server.rss_kib()

    scene = mesh / "mesh.gmk"
    uri, opened, changes, found = latencies(server, scene, 5)
    print(f"| mesh.gmk (100,352 triangles by INCLUDE FILE) | {ms(opened)} | "
          f"{ms(statistics.median(changes))}, {ms(max(changes))} (of 5) |")
    if found:
        print("mesh.gmk diagnostics:", found)
    open_rss = server.rss_kib()
    server_peak = server.peak_kib()

    # Typing: a change every 20 ms for two seconds, each abandoning the
    # parse before it, and a hover asked between the changes.
    text = scene.read_text()
    waits = []
    version = 100
    end = time.perf_counter() + 2
    while time.perf_counter() < end:
        version += 1
        text += " "
        server.notify("textDocument/didChange",
                      {"textDocument": {"uri": uri, "version": version}, "contentChanges": [{"text": text}]})
        start = time.perf_counter()
        at, _ = server.answer(server.request(
            "textDocument/hover", {"textDocument": {"uri": uri}, "position": {"line": 13, "character": 2}}))
        waits.append(at - start)
        time.sleep(0.02)
    at, _ = server.diagnostics(uri, version)
    print(f"hover while typing in mesh.gmk: {len(waits)} hovers, median {ms(statistics.median(waits))}, "
          f"max {ms(max(waits))}; the last change's diagnostics {ms(at - start)} after its hover was asked")
    print(f"server memory: {base_rss / 1024:.1f} MiB resident after the examples, "
          f"{open_rss / 1024:.1f} MiB with mesh.gmk open and checked, peak {server_peak / 1024:.1f} MiB")
    server.close()

    print(f"server peak / parse peak: {server_peak / peak:.2f}")


if __name__ == "__main__":
    main()
