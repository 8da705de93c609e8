#!/usr/bin/env python3
"""Runs every benchmark of Corvane Remote and prints the figures with their goals.

Started by scripts/bench inside a private network namespace with loopback up; everything it
starts listens on 127.0.0.40-44 and ports 18900-18999, and stops by itself. The table goes to
standard output and bench/results/bench.txt, the figures to bench/results/bench.json.
"""

import argparse
import datetime
import http.client
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

APP_TV = "127.0.0.40"        # the emulator the app is paired with
APPS_PAGE_TV = "127.0.0.41"  # the emulator with 500 launch points for the apps page
POINTER_TV = "127.0.0.42"    # bench_pointer's emulator
SCALE_TV = "127.0.0.43"      # bench_scale's emulator
MCP_PORT = 18900
APPS_PAGE_MCP_PORT = 18901

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def fail(message):
    print(f"bench: {message}", file=sys.stderr)
    sys.exit(1)


class Home:
    """A private HOME with its own preferences and log, so no run touches the user's files."""

    def __init__(self, root, name):
        self.path = os.path.join(root, name)
        os.makedirs(self.path)
        self.env = dict(os.environ)
        self.env.update(HOME=self.path,
                        XDG_CONFIG_HOME=os.path.join(self.path, "config"),
                        XDG_STATE_HOME=os.path.join(self.path, "state"),
                        XDG_RUNTIME_DIR=os.path.join(self.path, "run"),
                        QT_QPA_PLATFORM="offscreen")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        self.log = os.path.join(self.path, "state", "CorvaneRemote", "app.log")

    def log_lines(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_log(self, pattern, timeout, process=None):
        deadline = time.monotonic() + timeout
        regex = re.compile(pattern)
        while time.monotonic() < deadline:
            for line in self.log_lines():
                if regex.search(line):
                    return line
            if process is not None and process.poll() is not None:
                fail(f"the app ended (exit {process.returncode}) before logging /{pattern}/")
            time.sleep(0.02)
        fail(f"no log line /{pattern}/ within {timeout} s; log:\n" + "\n".join(self.log_lines()[-20:]))


class Process:
    """A child process with its output in a file, stopped with SIGTERM (then SIGKILL)."""

    def __init__(self, argv, env, output):
        self.output = output
        self.started = time.time()
        with open(output, "wb") as out:
            self.popen = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT,
                                          stdin=subprocess.DEVNULL)
        self.pid = self.popen.pid

    def text(self):
        with open(self.output, encoding="utf-8", errors="replace") as f:
            return f.read()

    def poll(self):
        return self.popen.poll()

    @property
    def returncode(self):
        return self.popen.returncode

    def stop(self):
        if self.popen.poll() is None:
            self.popen.send_signal(signal.SIGTERM)
            try:
                self.popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()


def start_tvsim(args, root, address, control_port, extra=()):
    state = os.path.join(root, f"tvsim-{address}")
    os.makedirs(state, exist_ok=True)
    sim = Process([os.path.join(args.bin, "tvsim"), "--address", address, "--state-dir", state,
                   "--pairing-delay", "0", "--control-port", str(control_port), *extra],
                  dict(os.environ), os.path.join(root, f"tvsim-{address}.out"))
    deadline = time.monotonic() + 20
    while "tvsim ready" not in sim.text():
        if sim.poll() is not None or time.monotonic() > deadline:
            fail(f"tvsim on {address} did not start:\n{sim.text()[-2000:]}")
        time.sleep(0.02)
    return sim


def start_app(args, home, host, port, extra=()):
    return Process([os.path.join(args.bin, "corvane-remote"), "-autoHost", host, "-mcpPort", str(port), *extra],
                   home.env, os.path.join(home.path, "app.out"))


def log_instant(line, reference):
    """The wall-clock time of a log line ("HH:mm:ss.zzz message"), on the day of reference."""
    stamp = datetime.datetime.strptime(line[:12], "%H:%M:%S.%f").time()
    day = datetime.datetime.fromtimestamp(reference).date()
    instant = datetime.datetime.combine(day, stamp).timestamp()
    if instant < reference - 12 * 3600:  # the line was written after midnight
        instant += 86400
    return instant


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def post(port, body, timeout=30):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request("POST", "/mcp", body=body, headers={
            "Content-Type": "application/json", "Accept": "application/json, text/event-stream",
            "Connection": "close"})
        response = connection.getresponse()
        return response.status, response.read()
    finally:
        connection.close()


def rpc(method, params=None, ident=1):
    message = {"jsonrpc": "2.0", "id": ident, "method": method}
    if params is not None:
        message["params"] = params
    return json.dumps(message, separators=(",", ":"))


def tool(name, arguments=None, ident=1):
    return rpc("tools/call", {"name": name, "arguments": arguments or {}}, ident)


def tool_text(port, name, arguments=None):
    status, body = post(port, tool(name, arguments))
    if status != 200:
        fail(f"{name}: HTTP {status}")
    result = json.loads(body)["result"]
    return result["content"][0]["text"], result.get("isError", False)


def wait_ready(port, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            text, error = tool_text(port, "tv_status")
            if not error and json.loads(text).get("connection") == "ready":
                return
        except (OSError, ValueError, KeyError):
            pass
        time.sleep(0.1)
    fail("the app did not report a ready connection")


def quantile(samples, q):
    if not samples:
        return 0.0
    ordered = sorted(samples)
    rank = max(1, min(len(ordered), int(-(-q * len(ordered) // 1))))
    return ordered[rank - 1]


def wrk(args, body, connections, seconds):
    threads = min(connections, os.cpu_count() or 1)
    env = dict(os.environ, BENCH_BODY=body)
    run = subprocess.run(["wrk", "-t", str(threads), "-c", str(connections), "-d", f"{seconds}s",
                          "--timeout", "5s", "-s", os.path.join(args.here, "bench", "mcp.lua"),
                          f"http://127.0.0.1:{MCP_PORT}/mcp"],
                         env=env, capture_output=True, text=True, timeout=seconds + 60)
    lines = [line for line in run.stdout.splitlines() if line.startswith("{")]
    if run.returncode != 0 or not lines:
        fail(f"wrk failed:\n{run.stdout}\n{run.stderr}")
    figures = json.loads(lines[-1])
    duration = figures["duration_us"] / 1e6
    errors = sum(figures[key] for key in ("connect_errors", "read_errors", "write_errors", "status_errors",
                                          "timeouts"))
    return {"connections": connections, "seconds": round(duration, 2), "requests": figures["requests"],
            "errors": errors, "requestsPerSecond": round(figures["requests"] / duration, 1),
            "p50Ms": figures["p50_us"] / 1000.0, "p90Ms": figures["p90_us"] / 1000.0,
            "p99Ms": figures["p99_us"] / 1000.0, "maxMs": figures["max_us"] / 1000.0}


# ------------------------------------------------------------------------------ the figures

def bench_app_and_http(args, root, results):
    """Start-up, idle memory and CPU, then the HTTP figures, all against one running app."""
    sim = start_tvsim(args, root, APP_TV, 3080)
    home = Home(root, "app")
    app = start_app(args, home, APP_TV, MCP_PORT)
    try:
        line = home.wait_log("启动 Corvane Remote", 30, app)
        first_frame_ms = (log_instant(line, app.started) - app.started) * 1000.0
        home.wait_log(r"MCP 服务已启动", 10, app)
        wait_ready(MCP_PORT)
        home.wait_log(r"已注册", 10, app)

        time.sleep(args.idle_settle)
        rss = rss_mb(app.pid)
        cpu_before = cpu_seconds(app.pid)
        time.sleep(args.idle_cpu)
        cpu_idle = cpu_seconds(app.pid) - cpu_before
        results["app"] = {"firstFrameMs": round(first_frame_ms, 1), "rssAfterIdleMB": round(rss, 1),
                          "idleSettleSeconds": args.idle_settle, "cpuIdleSeconds": round(cpu_idle, 3),
                          "cpuIdleWindowSeconds": args.idle_cpu}

        # MCP over HTTP: one new TCP connection per request.
        http_figures = {}
        bodies = {"ping": rpc("ping"), "tools/list": rpc("tools/list"), "tv_status": tool("tv_status")}
        for name, body in bodies.items():
            for connections in (1, 16):
                wrk(args, body, connections, 1)  # warm-up
                http_figures[f"{name} c{connections}"] = wrk(args, body, connections, args.http_seconds)
        results["http"] = http_figures

        # End to end: tv_volume "up" through HTTP, session, SSAP and the emulator. The volume
        # stops at 100; the path is the same whatever the level.
        tool_text(MCP_PORT, "tv_volume", {"action": "set", "level": 0})
        results["volumeUp"] = wrk(args, tool("tv_volume", {"action": "up"}), 1, args.http_seconds)
        text, error = tool_text(MCP_PORT, "tv_volume", {"action": "up"})
        if error:
            fail(f"tv_volume up failed: {text}")

        results["bridge"] = bench_bridge(args, home)
        results["app"]["rssAfterBenchMB"] = round(rss_mb(app.pid), 1)
    finally:
        app.stop()
        sim.stop()


def bench_bridge(args, home):
    """Added latency of the stdio bridge: the same ping through the bridge and directly."""
    bridge = subprocess.Popen([os.path.join(args.bin, "corvane-remote"), "--mcp-stdio", "-mcpPort", str(MCP_PORT)],
                              env=home.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, bufsize=0)
    through_bridge, direct = [], []
    try:
        for i in range(args.bridge_rounds + 20):
            line = (rpc("ping", ident=i) + "\n").encode()
            before = time.perf_counter()
            bridge.stdin.write(line)
            reply = bridge.stdout.readline()
            elapsed = (time.perf_counter() - before) * 1000.0
            if json.loads(reply).get("id") != i:
                fail(f"the bridge answered {reply!r} to ping {i}")
            before = time.perf_counter()
            status, _ = post(MCP_PORT, rpc("ping", ident=i))
            elapsed_direct = (time.perf_counter() - before) * 1000.0
            if status != 200:
                fail(f"direct ping: HTTP {status}")
            if i >= 20:  # the first rounds warm up both paths
                through_bridge.append(elapsed)
                direct.append(elapsed_direct)
    finally:
        bridge.stdin.close()
        bridge.wait(timeout=10)
    added = [b - d for b, d in zip(through_bridge, direct)]
    return {"rounds": len(through_bridge),
            "bridgeP50Ms": round(quantile(through_bridge, 0.5), 3), "bridgeP99Ms": round(quantile(through_bridge, 0.99), 3),
            "directP50Ms": round(quantile(direct, 0.5), 3), "directP99Ms": round(quantile(direct, 0.99), 3),
            "addedP50Ms": round(quantile(through_bridge, 0.5) - quantile(direct, 0.5), 3),
            "addedP99Ms": round(quantile(through_bridge, 0.99) - quantile(direct, 0.99), 3),
            "addedMeanMs": round(sum(added) / len(added), 3)}


def bench_apps_page(args, root, results):
    """The apps page with 500 launch points and their icons: the app's memory before and after."""
    sim = start_tvsim(args, root, APPS_PAGE_TV, 3083, ("--apps", str(args.apps)))
    home = Home(root, "apps-page")
    snapshots = os.path.join(home.path, "snapshots")
    os.makedirs(snapshots)
    app = start_app(args, home, APPS_PAGE_TV, APPS_PAGE_MCP_PORT, ("-snapshotDir", snapshots))
    try:
        home.wait_log(r"已注册", 30, app)
        # The snapshot routine shows each page in turn and writes PAGE.png after it settled.
        deadline = time.monotonic() + 60
        before = None
        while not os.path.exists(os.path.join(snapshots, "apps.png")):
            if os.path.exists(os.path.join(snapshots, "remote.png")) and before is None:
                before = rss_mb(app.pid)
            if app.poll() is not None or time.monotonic() > deadline:
                fail("the apps page was never shown:\n" + "\n".join(home.log_lines()[-10:]))
            time.sleep(0.05)
        time.sleep(0.5)
        on_page = rss_mb(app.pid)
        results["appsPage"] = {"apps": args.apps, "rssBeforeMB": round(before or 0.0, 1),
                               "rssOnAppsPageMB": round(on_page, 1),
                               "addedMB": round(on_page - (before or on_page), 1)}
    finally:
        app.stop()
        sim.stop()


def run_program(args, name, extra):
    run = subprocess.run([os.path.join(args.build, "bench", name), "--bin", args.bin, *extra],
                         capture_output=True, text=True, timeout=300)
    lines = [line for line in run.stdout.splitlines() if line.startswith("{")]
    if run.returncode != 0 or not lines:
        fail(f"{name} failed:\n{run.stdout}\n{run.stderr}")
    return json.loads(lines[-1])


# ------------------------------------------------------------------------------ the table

def table(results):
    rows = []

    def row(figure, value, goal="", met=None):
        rows.append((figure, value, goal, "" if met is None else ("met" if met else "MISSED")))

    http_figures = results.get("http", {})
    for name in ("ping", "tools/list", "tv_status"):
        for connections in (1, 16):
            f = http_figures.get(f"{name} c{connections}")
            if not f:
                continue
            label = f"MCP {name}, {connections} connection{'s' if connections > 1 else ''}"
            row(f"{label}: requests/s", f"{f['requestsPerSecond']:.0f}",
                "≥ 10000" if connections == 16 and name != "tv_status" else "",
                f["requestsPerSecond"] >= 10000 if connections == 16 and name != "tv_status" else None)
            row(f"{label}: p50 / p99", f"{f['p50Ms']:.2f} / {f['p99Ms']:.2f} ms",
                "p99 < 2 ms" if connections == 1 and name != "tv_status" else "",
                f["p99Ms"] < 2 if connections == 1 and name != "tv_status" else None)
            if f["errors"]:
                row(f"{label}: errors", str(f["errors"]), "0", False)
    v = results.get("volumeUp")
    if v:
        row("tv_volume up end to end: p50", f"{v['p50Ms']:.2f} ms", "< 1 ms", v["p50Ms"] < 1)
        row("tv_volume up end to end: p99", f"{v['p99Ms']:.2f} ms", "< 3 ms", v["p99Ms"] < 3)
    p = results.get("pointer")
    if p:
        row("pointer: move messages/s at 1 kHz calls", f"{p['messagesPerSecond']:.1f}", "≤ 63",
            p["messagesPerSecond"] <= 63)
        row("pointer: lag move → wire p50 / p99", f"{p['lagP50Ms']:.1f} / {p['lagP99Ms']:.1f} ms", "p99 < 20 ms",
            p["lagP99Ms"] < 20)
        row("pointer: motion lost (px)", f"{p['lostMotion']:.2f}", "≤ 1", p["lostMotion"] <= 1)
    a = results.get("app")
    if a:
        row("app: process start → first frame", f"{a['firstFrameMs']:.0f} ms", "< 500 ms", a["firstFrameMs"] < 500)
        row(f"app: resident memory after {a['idleSettleSeconds']:g} s idle", f"{a['rssAfterIdleMB']:.1f} MB",
            "< 80 MB", a["rssAfterIdleMB"] < 80)
        row(f"app: CPU over {a['cpuIdleWindowSeconds']:g} s idle", f"{a['cpuIdleSeconds']:.2f} s", "< 0.5 s",
            a["cpuIdleSeconds"] < 0.5 * a["cpuIdleWindowSeconds"] / 60.0)
    s = results.get("scale")
    if s:
        row(f"scale: refresh app list ({s['apps']} apps) p50 / p99",
            f"{s['refreshApps']['p50Ms']:.1f} / {s['refreshApps']['p99Ms']:.1f} ms")
        row(f"scale: load store ({s['devices']} TVs) p50", f"{s['storeLoad']['p50Ms']:.1f} ms")
        row(f"scale: save store ({s['devices']} TVs) p50", f"{s['storeSave']['p50Ms']:.1f} ms")
    ap = results.get("appsPage")
    if ap:
        row(f"scale: apps page with {ap['apps']} apps, resident memory",
            f"{ap['rssOnAppsPageMB']:.1f} MB (+{ap['addedMB']:.1f})")
    b = results.get("bridge")
    if b:
        row("stdio bridge: added latency per message p50 / p99",
            f"{b['addedP50Ms']:.2f} / {b['addedP99Ms']:.2f} ms")

    widths = [max(len(r[i]) for r in rows + [("figure", "measured", "goal", "")]) for i in range(4)]
    lines = [f"{'figure':<{widths[0]}}  {'measured':>{widths[1]}}  {'goal':<{widths[2]}}  result",
             "-" * (sum(widths) + 14)]
    for figure, value, goal, met in rows:
        lines.append(f"{figure:<{widths[0]}}  {value:>{widths[1]}}  {goal:<{widths[2]}}  {met}".rstrip())
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the build directory (bin/ and bench/ inside)")
    parser.add_argument("--quick", action="store_true", help="short waits and runs, for trying the benchmarks out")
    args = parser.parse_args()
    args.here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    args.bin = os.path.join(args.build, "bin")
    args.apps = 500
    args.idle_settle = 2 if args.quick else 10
    args.idle_cpu = 6 if args.quick else 60
    args.http_seconds = 2 if args.quick else 5
    args.bridge_rounds = 100 if args.quick else 500
    for tool_name in ("wrk",):
        if shutil.which(tool_name) is None:
            fail(f"{tool_name} is missing (scripts/setup installs it)")

    # Tens of thousands of short connections per run: the whole port range of this private
    # namespace keeps the load generator's new connections clear of ports still closing.
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range", "w") as f:
            f.write("1024 65535")
    except OSError:
        pass

    root = tempfile.mkdtemp(prefix="corvane-bench-")
    results = {"quick": args.quick, "cores": os.cpu_count(),
               "started": datetime.datetime.now().isoformat(timespec="seconds")}
    try:
        steps = [("app, HTTP and bridge", lambda: bench_app_and_http(args, root, results)),
                 ("pointer", lambda: results.__setitem__("pointer", run_program(
                     args, "bench_pointer", ["--address", POINTER_TV, "--seconds", "5"]))),
                 ("scale", lambda: results.__setitem__("scale", run_program(
                     args, "bench_scale", ["--address", SCALE_TV, "--apps", str(args.apps), "--devices", "500",
                                           "--rounds", "5" if args.quick else "20"]))),
                 ("apps page", lambda: bench_apps_page(args, root, results))]
        for name, step in steps:
            began = time.monotonic()
            print(f"bench: {name} …", file=sys.stderr, flush=True)
            step()
            print(f"bench: {name} done in {time.monotonic() - began:.0f} s", file=sys.stderr, flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)

    out = os.path.join(args.here, "bench", "results")
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "bench.json"), "w") as f:
        json.dump(results, f, indent=2, ensure_ascii=False)
        f.write("\n")
    text = table(results)
    with open(os.path.join(out, "bench.txt"), "w") as f:
        f.write(text + "\n")
    print(text)


if __name__ == "__main__":
    main()
