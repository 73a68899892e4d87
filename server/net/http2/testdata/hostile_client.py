#!/usr/bin/python3
"""HTTP/2 clients that break the rules, for the server's tests. Each case talks to the server on
127.0.0.1:PORT without TLS (prior knowledge), prints what it saw as one line and exits 0 when the
server behaved: it closed the connection (with a GOAWAY) or held its bounds."""

import socket
import sys
import time

from hpack import Encoder
from hyperframe.frame import (ContinuationFrame, DataFrame, GoAwayFrame, HeadersFrame,
                              PingFrame, RstStreamFrame, SettingsFrame, WindowUpdateFrame)
from hyperframe.frame import Frame

PREFACE = b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"


def connect(port, settings=None):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    s.sendall(PREFACE + SettingsFrame(0, settings=settings or {}).serialize())
    return s


def request_block(encoder, path, method="GET"):
    return encoder.encode([(":method", method), (":scheme", "http"),
                           (":authority", "127.0.0.1"), (":path", path)])


def read_frames(s, seconds):
    """Frames until the server closes or `seconds` pass; (frames, closed)."""
    data = b""
    deadline = time.time() + seconds
    closed = False
    s.settimeout(0.2)
    while time.time() < deadline:
        try:
            chunk = s.recv(65536)
        except socket.timeout:
            continue
        except ConnectionResetError:
            closed = True
            break
        if not chunk:
            closed = True
            break
        data += chunk
    frames = []
    while len(data) >= 9:
        frame, length = Frame.parse_frame_header(memoryview(data[:9]))
        if len(data) < 9 + length:
            break
        frame.parse_body(memoryview(data[9:9 + length]))
        frames.append(frame)
        data = data[9 + length:]
    return frames, closed


def send_quietly(s, payload):
    try:
        s.sendall(payload)
        return True
    except (BrokenPipeError, ConnectionResetError):
        return False


def expect_goaway(s, seconds=5):
    frames, closed = read_frames(s, seconds)
    goaway = any(isinstance(f, GoAwayFrame) for f in frames)
    print(f"goaway={goaway} closed={closed}")
    return 0 if goaway and closed else 1


def rapid_reset(port):
    s = connect(port)
    encoder = Encoder()
    for i in range(1000):
        stream = 1 + 2 * i
        payload = HeadersFrame(stream, request_block(encoder, "/slow"),
                               flags=["END_HEADERS", "END_STREAM"]).serialize()
        payload += RstStreamFrame(stream, error_code=8).serialize()
        if not send_quietly(s, payload):
            break
    return expect_goaway(s)


def continuation_flood(port):
    s = connect(port)
    encoder = Encoder()
    block = request_block(encoder, "/page")
    s.sendall(HeadersFrame(1, block, flags=["END_STREAM"]).serialize())
    filler = Encoder().encode([("x-filler", "a" * 100)])
    for _ in range(10000):
        if not send_quietly(s, ContinuationFrame(1, filler).serialize()):
            break
    return expect_goaway(s)


def ping_flood(port):
    s = connect(port)
    for i in range(5000):
        if not send_quietly(s, PingFrame(0, opaque_data=i.to_bytes(8, "big")).serialize()):
            break
    return expect_goaway(s)


def settings_flood(port):
    s = connect(port)
    for _ in range(5000):
        if not send_quietly(s, SettingsFrame(0, settings={4: 65535}).serialize()):
            break
    return expect_goaway(s)


def many_streams(port):
    """1000 requests that are never answered: the server refuses what passes its bound."""
    s = connect(port)
    encoder = Encoder()
    payload = b""
    for i in range(1000):
        payload += HeadersFrame(1 + 2 * i, request_block(encoder, "/slow"),
                                flags=["END_HEADERS", "END_STREAM"]).serialize()
    send_quietly(s, payload)
    frames, closed = read_frames(s, 2)
    refused = sum(1 for f in frames if isinstance(f, RstStreamFrame))
    settings = [f for f in frames if isinstance(f, SettingsFrame) and "ACK" not in f.flags]
    limit = settings[0].settings.get(SettingsFrame.MAX_CONCURRENT_STREAMS) if settings else None
    goaway = any(isinstance(f, GoAwayFrame) for f in frames)
    print(f"limit={limit} refused={refused} goaway={goaway} closed={closed}")
    # Either every stream past the bound is refused or the connection ends.
    return 0 if limit == 100 and (refused >= 900 or goaway) else 1


def zero_window(port, path):
    """Asks for a large answer and never opens its window: only the headers may come."""
    s = connect(port, settings={SettingsFrame.INITIAL_WINDOW_SIZE: 0})
    encoder = Encoder()
    s.sendall(HeadersFrame(1, request_block(encoder, path),
                           flags=["END_HEADERS", "END_STREAM"]).serialize())
    frames, closed = read_frames(s, 2)
    data = sum(len(f.data) for f in frames if isinstance(f, DataFrame))
    headers = sum(1 for f in frames if isinstance(f, HeadersFrame))
    print(f"headers={headers} data={data} closed={closed}")
    # Held open with nothing but the headers, so the rest of the test can look at the server.
    sys.stdout.flush()
    time.sleep(float(sys.argv[4]) if len(sys.argv) > 4 else 0)
    s.sendall(WindowUpdateFrame(1, window_increment=1 << 20).serialize())
    s.sendall(WindowUpdateFrame(0, window_increment=1 << 20).serialize())
    frames, closed = read_frames(s, 1)
    more = sum(len(f.data) for f in frames if isinstance(f, DataFrame))
    print(f"after_window={more}")
    return 0 if headers == 1 and data == 0 and more > 0 else 1


def reset_then_ask(port):
    """Asks for /job?name=left, resets that stream, then asks for /job?name=stayed on another
    and prints the body of that answer."""
    s = connect(port)
    encoder = Encoder()
    s.sendall(HeadersFrame(1, request_block(encoder, "/job?name=left"),
                           flags=["END_HEADERS", "END_STREAM"]).serialize())
    time.sleep(0.5)
    s.sendall(RstStreamFrame(1, error_code=8).serialize())
    time.sleep(0.5)
    s.sendall(HeadersFrame(3, request_block(encoder, "/job?name=stayed"),
                           flags=["END_HEADERS", "END_STREAM"]).serialize())
    body = b""
    deadline = time.time() + 10
    while time.time() < deadline and not body:
        frames, _ = read_frames(s, 0.5)
        body += b"".join(f.data for f in frames if isinstance(f, DataFrame) and f.stream_id == 3)
    print(body.decode())
    return 0


CASES = {
    "reset_then_ask": reset_then_ask,
    "rapid_reset": rapid_reset,
    "continuation_flood": continuation_flood,
    "ping_flood": ping_flood,
    "settings_flood": settings_flood,
    "many_streams": many_streams,
}

if __name__ == "__main__":
    case, port = sys.argv[1], int(sys.argv[2])
    if case == "zero_window":
        sys.exit(zero_window(port, sys.argv[3]))
    sys.exit(CASES[case](port))
