#!/usr/bin/env python3
"""Holds abusive loopback connections open against one server for a fixed time, then ends.

Usage: abuse_clients.py <port> <large-file-target> <seconds>
Prints "ready" once every connection is open, and at the end how many were closed by the server
(each is opened again at once, as an attacker would). Kinds: 1000 idle connections that send
nothing, 300 slowloris connections that send one byte of a never-ending head every 3 s, and 32
slow readers that ask for a large file and take 4 KiB of it every 5 s.
"""
import asyncio
import resource
import socket
import sys
import time

HOST = "127.0.0.1"
IDLE, SLOWLORIS, READERS = 1000, 300, 32


async def connect(small_buffer=False):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if small_buffer:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    sock.setblocking(False)
    await asyncio.get_running_loop().sock_connect(sock, (HOST, PORT))
    return sock


async def hold(kind, deadline, opened, counts):
    loop = asyncio.get_running_loop()
    first = True
    while time.monotonic() < deadline:
        try:
            sock = await connect(small_buffer=(kind == "reader"))
        except OSError:
            counts["connect_errors"] += 1
            await asyncio.sleep(0.2)
            continue
        if first:
            opened.release()
            first = False
        try:
            if kind == "reader":
                await loop.sock_sendall(sock, f"GET {TARGET} HTTP/1.1\r\nHost: {HOST}\r\n\r\n".encode())
            elif kind == "slowloris":
                await loop.sock_sendall(sock, f"GET / HTTP/1.1\r\nHost: {HOST}\r\n".encode())
            while time.monotonic() < deadline:
                if kind == "idle":
                    data = await asyncio.wait_for(loop.sock_recv(sock, 1), timeout=max(0.01, deadline - time.monotonic()))
                    if not data:
                        break
                elif kind == "slowloris":
                    await asyncio.sleep(3)
                    await loop.sock_sendall(sock, b"X")
                else:
                    await asyncio.sleep(5)
                    data = await loop.sock_recv(sock, 4096)
                    if not data:
                        break
            else:
                sock.close()
                return
            counts["closed_by_server"] += 1
        except (OSError, asyncio.TimeoutError):
            if time.monotonic() < deadline:
                counts["closed_by_server"] += 1
        finally:
            sock.close()


async def main():
    seconds = float(sys.argv[3])
    deadline = time.monotonic() + seconds
    counts = {"closed_by_server": 0, "connect_errors": 0}
    opened = asyncio.Semaphore(0)
    tasks = []
    for kind, count in (("idle", IDLE), ("slowloris", SLOWLORIS), ("reader", READERS)):
        for _ in range(count):
            tasks.append(asyncio.create_task(hold(kind, deadline, opened, counts)))
            if len(tasks) % 100 == 0:
                await asyncio.sleep(0.05)  # within the listen backlog
    for _ in range(len(tasks)):
        await asyncio.wait_for(opened.acquire(), timeout=max(0.1, deadline - time.monotonic()))
    print("ready", flush=True)
    await asyncio.gather(*tasks)
    print(f"closed_by_server={counts['closed_by_server']} connect_errors={counts['connect_errors']}", flush=True)


if __name__ == "__main__":
    PORT = int(sys.argv[1])
    TARGET = sys.argv[2]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 65536), hard))
    asyncio.run(main())
