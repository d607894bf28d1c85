#!/usr/bin/env python3
"""Memory of our server under slow request heads, and after them.

Usage: slow_heads.py <qv_bench_file_server> [connections] [rounds]
Starts the server, then per round opens the connections (2,000 by default), each of which sends a
request line, a Host line and 99 header lines of 8,000 bytes, and never the blank line that ends a
head; holds them until every byte is sent or the server closed the connection, then closes them
all. Prints the server's resident memory (VmRSS) at its start, its peak during the round (VmHWM,
reset before each round) and after the connections closed, in MB, with the bounds it must keep:
at most 256 MB above the start while the heads are held, back within 64 MB of it afterwards.
"""
import asyncio
import resource
import socket
import subprocess
import sys
import time

HOST = "127.0.0.1"
LINES, LINE_BYTES = 99, 8000
PEAK_BOUND_MB, AFTER_BOUND_MB = 256, 64


def status_kb(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(field + " not found")


def reset_peak(pid):
    # Writing 5 to clear_refs resets the peak resident size (VmHWM) to the current one.
    with open(f"/proc/{pid}/clear_refs", "w") as refs:
        refs.write("5")


def settled_rss_mb(pid):
    # The server closes its side as it reads the ends of the connections: the resident size once
    # it has stopped changing for a second (at most 20 s).
    samples = []
    for _ in range(100):
        time.sleep(0.2)
        samples.append(status_kb(pid, "VmRSS"))
        if len(samples) >= 6 and len(set(samples[-6:])) == 1:
            break
    return samples[-1] / 1024


def head_bytes(port):
    head = f"GET /files/@@nowhere HTTP/1.1\r\nHost: {HOST}:{port}\r\n".encode()
    for i in range(LINES):
        name = f"X-Pad-{i:02d}: ".encode()
        head += name + b"a" * (LINE_BYTES - len(name) - 2) + b"\r\n"
    return head


async def slow_head(port, payload, counts):
    loop = asyncio.get_running_loop()
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setblocking(False)
    try:
        await loop.sock_connect(sock, (HOST, port))
        await loop.sock_sendall(sock, payload)
        counts["sent"] += 1
    except OSError:
        counts["closed_by_server"] += 1
        sock.close()
        return None
    return sock


async def one_round(port, connections, payload):
    counts = {"sent": 0, "closed_by_server": 0}
    tasks = []
    for i in range(connections):
        tasks.append(asyncio.create_task(slow_head(port, payload, counts)))
        if i % 100 == 99:
            await asyncio.sleep(0.02)  # within the listen backlog
    socks = [s for s in await asyncio.gather(*tasks) if s is not None]
    # Every head is with the server (or refused); give its threads a moment to read what is queued.
    await asyncio.sleep(2.0)
    # A connection the server closed after our last send shows as readable with nothing to read.
    for s in socks:
        try:
            if s.recv(1, socket.MSG_DONTWAIT | socket.MSG_PEEK) == b"":
                counts["closed_by_server"] += 1
        except BlockingIOError:
            pass
        except OSError:
            counts["closed_by_server"] += 1
    return socks, counts


def main():
    server_bin = sys.argv[1]
    connections = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 65536), hard))
    server = subprocess.Popen([server_bin], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        port = int(server.stdout.readline())
        payload = head_bytes(port)
        time.sleep(0.5)
        start_mb = status_kb(server.pid, "VmRSS") / 1024
        print(f"{connections} connections per round, each a head of {len(payload)} bytes without its end")
        print(f"{'round':<6} {'start_MB':>9} {'peak_MB':>9} {'after_MB':>9} {'peak-start':>11} {'after-start':>12} "
              f"{'sent':>6} {'closed':>7}  verdict")
        ok = True
        for r in range(1, rounds + 1):
            reset_peak(server.pid)
            socks, counts = asyncio.run(one_round(port, connections, payload))
            peak_mb = status_kb(server.pid, "VmHWM") / 1024
            for s in socks:
                s.close()
            after_mb = settled_rss_mb(server.pid)
            good = peak_mb - start_mb <= PEAK_BOUND_MB and after_mb - start_mb <= AFTER_BOUND_MB
            ok = ok and good
            print(f"{r:<6} {start_mb:9.1f} {peak_mb:9.1f} {after_mb:9.1f} {peak_mb - start_mb:11.1f} "
                  f"{after_mb - start_mb:12.1f} {counts['sent']:6d} {counts['closed_by_server']:7d}  "
                  f"{'within' if good else 'OVER'} {PEAK_BOUND_MB}/{AFTER_BOUND_MB} MB")
        return 0 if ok else 1
    finally:
        server.stdin.close()
        try:
            server.wait(timeout=30)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
