#!/usr/bin/env python3
"""Normal requests while the connection cap is full of readers that take nothing.

Usage: slow_readers.py <qv_bench_file_server> [readers] [seconds]
Starts the server (the program's share of the whole disk), makes a 64 MiB file, and holds the
readers (256 by default, the server's connection cap) open on loopback: each asks for the file
with a small receive buffer and reads nothing past the status line; a reader the server closes
is opened again at once, as an attacker would. Meanwhile a normal request for a small file is made
once a second (30 s by default), each given 5 s. Prints how many were answered, their latencies,
and how many readers the server closed; fails unless every normal request was answered.
"""
import asyncio
import os
import resource
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HOST = "127.0.0.1"
ANSWER_WITHIN = 5.0


def share_target(path):
    return "/files/" + path.replace("/", "%2F")


async def reader(port, target, deadline, counts):
    loop = asyncio.get_running_loop()
    while time.monotonic() < deadline:
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        sock.setblocking(False)
        try:
            await loop.sock_connect(sock, (HOST, port))
            await loop.sock_sendall(sock, f"GET {target} HTTP/1.1\r\nHost: {HOST}\r\n\r\n".encode())
            status = await asyncio.wait_for(loop.sock_recv(sock, 12), timeout=10)
            if status != b"HTTP/1.1 200":
                counts["refused"] += 1
                await asyncio.sleep(0.2)
                continue
            counts["opened"] += 1
            # Takes nothing more: looks only for the end of the connection, leaving its bytes unread.
            ended = select.poll()
            ended.register(sock, select.POLLRDHUP)
            while time.monotonic() < deadline:
                await asyncio.sleep(0.5)
                if ended.poll(0):
                    break
            else:
                return
            counts["closed_by_server"] += 1
        except (OSError, asyncio.TimeoutError):
            if time.monotonic() < deadline:
                counts["closed_by_server"] += 1
                await asyncio.sleep(0.05)
        finally:
            sock.close()


async def normal_request(port, target):
    loop = asyncio.get_running_loop()
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setblocking(False)
    begin = time.monotonic()
    try:
        await asyncio.wait_for(loop.sock_connect(sock, (HOST, port)), ANSWER_WITHIN)
        await loop.sock_sendall(sock, f"GET {target} HTTP/1.1\r\nHost: {HOST}\r\n\r\n".encode())
        answer = b""
        while True:
            left = ANSWER_WITHIN - (time.monotonic() - begin)
            chunk = await asyncio.wait_for(loop.sock_recv(sock, 65536), max(0.01, left))
            if not chunk:
                break
            answer += chunk
        if answer.startswith(b"HTTP/1.1 200") and answer.endswith(b"small answer\n"):
            return time.monotonic() - begin
    except (OSError, asyncio.TimeoutError):
        pass
    finally:
        sock.close()
    return None


async def main(port, folder, readers, seconds):
    large = os.path.join(folder, "large.bin")
    with open(large, "wb") as f:
        f.truncate(64 * 1024 * 1024)
    small = os.path.join(folder, "small.txt")
    with open(small, "w") as f:
        f.write("small answer\n")
    counts = {"opened": 0, "closed_by_server": 0, "refused": 0}
    deadline = time.monotonic() + seconds + 15
    tasks = []
    for i in range(readers):
        tasks.append(asyncio.create_task(reader(port, share_target(large), deadline, counts)))
        if i % 64 == 63:
            await asyncio.sleep(0.05)  # within the listen backlog
    for _ in range(200):  # until every reader is open, at most 20 s
        if counts["opened"] >= readers:
            break
        await asyncio.sleep(0.1)
    held = counts["opened"]
    closed_before = counts["closed_by_server"]
    latencies, failures = [], 0
    for second in range(seconds):
        start = time.monotonic()
        latency = await normal_request(port, share_target(small))
        if latency is None:
            failures += 1
        else:
            latencies.append(latency)
        await asyncio.sleep(max(0.0, 1.0 - (time.monotonic() - start)))
    closed_during = counts["closed_by_server"] - closed_before
    for task in tasks:
        task.cancel()
    await asyncio.gather(*tasks, return_exceptions=True)
    print(f"readers held: {held} of {readers} (64 MiB each, reading nothing)")
    print(f"normal requests answered: {len(latencies)} of {seconds} within {ANSWER_WITHIN:.0f} s")
    if latencies:
        print(
            f"latency ms: median {statistics.median(latencies) * 1000:.1f}, "
            f"max {max(latencies) * 1000:.1f}"
        )
    print(f"readers closed by the server meanwhile (each opened again): {closed_during}")
    return failures == 0 and held == readers


if __name__ == "__main__":
    server_bin = sys.argv[1]
    readers = int(sys.argv[2]) if len(sys.argv) > 2 else 256
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 65536), hard))
    with tempfile.TemporaryDirectory() as folder:
        server = subprocess.Popen([server_bin], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            port = int(server.stdout.readline())
            ok = asyncio.run(main(port, folder, readers, seconds))
        finally:
            server.stdin.close()
            try:
                server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
    sys.exit(0 if ok else 1)
