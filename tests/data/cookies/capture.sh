#!/usr/bin/env bash
# Makes firefox/ and chromium/ here again from the real browsers: each opens a page on
# 127.0.0.1 that sets cookies of every kind the readers tell apart, then the databases
# are copied while the browser still runs (Firefox's fresh rows are in the -wal file).
# Needs firefox-esr, chromium, xvfb-run and python3.
# Usage: tests/data/cookies/capture.sh [FOLDER]   (default: this script's folder)
set -euo pipefail
here=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}
work=$(mktemp -d)
pids=()
# Each program runs in a process group of its own, ended whole: a browser's helpers and
# xvfb-run's X server go with it.
start() {
    setsid "$@" >/dev/null 2>&1 &
    pids+=($!)
}
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/server.py" <<'PY'
import http.server, sys
PAGE = b"""<!doctype html><title>cookies</title>
<script>document.cookie = "js=j1; max-age=31536000; path=/";</script><p>set</p>"""
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        host = self.headers.get("Host", "").split(":")[0]
        if host == "localhost":
            self.send_header("Set-Cookie", "sec=s2; Secure; Max-Age=31536000; Path=/")
        else:
            for c in ("sid=s1; Path=/",
                      "keep=k1; Max-Age=31536000; Path=/",
                      "dom=d1; Domain=stepgrab.test; Max-Age=31536000; Path=/",
                      "ho=h1; HttpOnly; Max-Age=31536000; Path=/",
                      "deep=p1; Max-Age=31536000; Path=/members",
                      "short=x1; Max-Age=120; Path=/",
                      "gone=g1; Max-Age=0; Path=/"):
                self.send_header("Set-Cookie", c)
        self.send_header("Content-Length", str(len(PAGE)))
        self.end_headers()
        self.wfile.write(PAGE)
    def log_message(self, *a): pass
s = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print(s.server_address[1], flush=True)
s.serve_forever()
PY
setsid python3 "$work/server.py" >"$work/port" &
pids+=($!)
for _ in $(seq 50); do [[ -s $work/port ]] && break; sleep 0.1; done
port=$(cat "$work/port")
site="http://www.stepgrab.test:$port/"
local="http://localhost:$port/"

mkdir -p "$work/ff"
echo "user_pref(\"network.dns.localDomains\", \"www.stepgrab.test\");" >"$work/ff/user.js"
start firefox-esr --headless -no-remote -profile "$work/ff" "$site" "$local"
# chromium refuses to run as root inside its sandbox.
sandbox=()
((EUID == 0)) && sandbox=(--no-sandbox)
start xvfb-run -a chromium "${sandbox[@]}" --password-store=basic --user-data-dir="$work/cr" \
    --no-first-run --no-default-browser-check \
    --host-resolver-rules="MAP www.stepgrab.test 127.0.0.1" "$site" "$local"
# Chromium writes a new cookie about 30 s after it was set.
sleep 40
mkdir -p "$here/firefox" "$here/chromium"
rm -f "$here"/firefox/* "$here"/chromium/*
cp "$work/ff/cookies.sqlite" "$here/firefox/"
[[ -f $work/ff/cookies.sqlite-wal ]] && cp "$work/ff/cookies.sqlite-wal" "$here/firefox/"
cp "$work/cr/Default/Cookies" "$here/chromium/"
date -u +%s >"$here/captured-at"
ls -l "$here/firefox" "$here/chromium"
