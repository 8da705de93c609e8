#!/usr/bin/env python3
"""Time from process start to the window's first frame, the median of a few launches.

The app logs "启动 Corvane Remote" when its first frame has been swapped; each launch gets a
fresh HOME (no saved TV, so nothing to connect to) and the offscreen platform. Run it inside a
private network namespace, since the app scans at start-up:

    scripts/isolated bench/firstframe.py --build build [--runs 5]
"""

import argparse
import os
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import Home, Process, log_instant  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the build directory (bin/ inside)")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    program = os.path.join(args.build, "bin", "corvane-remote")
    root = tempfile.mkdtemp(prefix="corvane-firstframe-")
    figures = []
    for run in range(args.runs):
        home = Home(root, f"run{run}")
        app = Process([program, "-mcpEnabled", "false"], home.env, os.path.join(home.path, "app.out"))
        try:
            line = home.wait_log("启动 Corvane Remote", 30, app)
            figures.append((log_instant(line, app.started) - app.started) * 1000.0)
        finally:
            app.stop()
    print("first frame (ms): " + " ".join(f"{f:.0f}" for f in figures)
          + f"  median {statistics.median(figures):.0f}")


if __name__ == "__main__":
    main()
