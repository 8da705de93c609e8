-- wrk script: one JSON-RPC POST per TCP connection, as the MCP clients of this app send them.
-- The body comes from the environment (BENCH_BODY); done() prints the figures as one JSON line.
wrk.method = "POST"
wrk.body = os.getenv("BENCH_BODY")
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Accept"] = "application/json, text/event-stream"
wrk.headers["Connection"] = "close"

function done(summary, latency, requests)
  local errors = summary.errors
  io.write(string.format(
    '{"requests":%d,"duration_us":%d,"bytes":%d,"connect_errors":%d,"read_errors":%d,' ..
    '"write_errors":%d,"status_errors":%d,"timeouts":%d,"p50_us":%d,"p90_us":%d,"p99_us":%d,' ..
    '"max_us":%d,"mean_us":%.1f}\n',
    summary.requests, summary.duration, summary.bytes, errors.connect, errors.read, errors.write,
    errors.status, errors.timeout, latency:percentile(50), latency:percentile(90),
    latency:percentile(99), latency.max, latency.mean))
end
