#!/usr/bin/python3
"""A real WebSocket client against the echo route of a test server: python3 websocket_client.py PORT"""
import asyncio
import sys

import websockets


async def main(port: int) -> None:
    uri = f"ws://127.0.0.1:{port}/echo"
    async with websockets.connect(uri, max_size=None, open_timeout=10, close_timeout=10) as ws:
        await ws.send("héllo, wörld")
        assert await asyncio.wait_for(ws.recv(), 10) == "héllo, wörld", "text"

        payload = bytes(range(256)) * 300
        await ws.send(payload)
        assert await asyncio.wait_for(ws.recv(), 10) == payload, "binary"

        await ws.send(iter(["fragmented", " ", "message"]))
        assert await asyncio.wait_for(ws.recv(), 10) == "fragmented message", "fragmented"

        pong = await ws.ping(b"are you there")
        await asyncio.wait_for(pong, 10)

    # A message above the server's limit is refused with status 1009.
    async with websockets.connect(uri, max_size=None, open_timeout=10, close_timeout=10) as ws:
        try:
            # The refusal may arrive while the message is still being sent.
            await asyncio.wait_for(ws.send(b"x" * (16 * 1024 * 1024 + 1)), 20)
            await asyncio.wait_for(ws.recv(), 20)
            raise AssertionError("an oversized message was answered")
        except websockets.exceptions.ConnectionClosed as closed:
            code = closed.rcvd.code if closed.rcvd else None
            assert code == 1009, f"close code {code}"
    print("all round trips passed")


asyncio.run(main(int(sys.argv[1])))
