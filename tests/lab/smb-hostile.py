#!/usr/bin/env python3
"""Hostile SMB servers for the address sweep: one behaviour per address.

    smb-hostile.py FIXTURES LOG ADDRESS=BEHAVIOUR...

Behaviours: truncated (half the NEGOTIATE answer, then close), stall (half
of it, then nothing, never close), silent (accept, never answer nor close),
oversized (a frame header claiming 16 MiB, then bytes as fast as the peer
takes them), lying (a CHALLENGE whose target information length claims far
past its end), looping (a CHALLENGE whose target information repeats one
pair without end marker), impostor (a well-formed CHALLENGE naming another
host). Each connection's end goes to LOG as "ADDRESS BEHAVIOUR SECONDS
BYTES-SENT how", how being "client-closed" or "server-closed".
"""
import os
import select
import socket
import struct
import sys
import threading
import time

fixtures, log_path = sys.argv[1], sys.argv[2]
log_lock = threading.Lock()


def fixture(name):
    with open(os.path.join(fixtures, name + ".hex")) as f:
        return bytes.fromhex(f.read().strip())


def framed(message):
    return struct.pack(">I", len(message)) + message


NEGOTIATE = framed(fixture("smbd-negotiate-response"))
SETUP = fixture("smbd-session-setup-raw")


def with_target_info(info):
    """The bare challenge with its target information replaced."""
    blob_offset, blob_length = struct.unpack_from("<HH", SETUP, 68)
    blob = bytearray(SETUP[blob_offset:blob_offset + blob_length])
    _, _, info_offset = struct.unpack_from("<HHI", blob, 40)
    blob = blob[:info_offset] + info
    struct.pack_into("<HHI", blob, 40, len(info), len(info), info_offset)
    message = bytearray(SETUP[:blob_offset]) + blob
    struct.pack_into("<H", message, 70, len(blob))
    return bytes(message)


def pair(kind, text):
    value = text.encode("utf-16-le")
    return struct.pack("<HH", kind, len(value)) + value


def lying():
    message = bytearray(SETUP)
    blob_offset = struct.unpack_from("<H", message, 68)[0]
    struct.pack_into("<H", message, blob_offset + 40, 0xFFF0)
    return bytes(message)


# Pairs without the end marker, the same one thousands of times.
LOOPING = with_target_info(pair(1, "LOOP") * 4000)
IMPOSTOR = with_target_info(pair(1, "KRBBRANCH") + pair(2, "KRBLAB") +
                            pair(3, "krbbranch.krb.lab") + struct.pack("<HH", 0, 0))


def read_frame(peer):
    header = b""
    while len(header) < 4:
        chunk = peer.recv(4 - len(header))
        if not chunk:
            return None
        header += chunk
    length = struct.unpack(">I", header)[0] & 0xFFFFFF
    body = b""
    while len(body) < length:
        chunk = peer.recv(min(65536, length - len(body)))
        if not chunk:
            return None
        body += chunk
    return body


def wait_for_close(peer):
    """Blocks until the client closes; True when it did."""
    while True:
        try:
            if not peer.recv(65536):
                return True
        except OSError:
            return True


def serve(peer, address, behaviour):
    started = time.monotonic()
    sent = 0
    how = "client-closed"
    try:
        if read_frame(peer) is None:
            return
        if behaviour in ("truncated", "stall"):
            half = NEGOTIATE[:len(NEGOTIATE) // 2]
            peer.sendall(half)
            sent += len(half)
            if behaviour == "truncated":
                how = "server-closed"
                return
            wait_for_close(peer)
        elif behaviour == "silent":
            wait_for_close(peer)
        elif behaviour == "oversized":
            peer.sendall(b"\x00\xff\xff\xff")
            flood = b"x" * 65536
            peer.setblocking(False)
            while True:
                readable, writable, _ = select.select([peer], [peer], [], 5)
                if readable and not peer.recv(65536):
                    break
                if writable:
                    try:
                        sent += peer.send(flood)
                    except BlockingIOError:
                        pass
                    except OSError:
                        break
        else:
            peer.sendall(NEGOTIATE)
            sent += len(NEGOTIATE)
            if read_frame(peer) is None:
                return
            answer = {"lying": lying(), "looping": LOOPING, "impostor": IMPOSTOR}[behaviour]
            peer.sendall(framed(answer))
            sent += len(answer) + 4
            wait_for_close(peer)
    except OSError:
        pass
    finally:
        peer.close()
        with log_lock, open(log_path, "a") as log:
            log.write("%s %s %.3f %d %s\n" % (address, behaviour, time.monotonic() - started,
                                              sent, how))


def listen(address, behaviour):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((address, 445))
    server.listen(16)
    while True:
        peer, _ = server.accept()
        threading.Thread(target=serve, args=(peer, address, behaviour), daemon=True).start()


threads = []
for entry in sys.argv[3:]:
    address, behaviour = entry.split("=")
    thread = threading.Thread(target=listen, args=(address, behaviour), daemon=True)
    thread.start()
    threads.append(thread)
for thread in threads:
    thread.join()
