#!/usr/bin/env python3
"""Stand-in network label printer: accepts raw jobs on a TCP port and keeps each one.

Every connection is one job. Its bytes go to DIR/NNNNNN.part and the file is renamed
to DIR/NNNNNN.prn only when the sender closes, so a reader never sees half a job.
Options make it a printer that misbehaves: one that listens late, resets a connection
part-way or is slow to close one. It notes OVERLAP in DIR when a connection opens while
another is open (a printer that would mix the two jobs up).
"""
import argparse
import os
import socket
import struct
import threading
import time

open_connections = 0
lock = threading.Lock()


def next_number(directory):
    numbers = [int(name.split(".")[0]) for name in os.listdir(directory)
               if name.split(".")[0].isdigit()]
    return max(numbers, default=0) + 1


def receive(conn, directory, number, args):
    global open_connections
    part = os.path.join(directory, "%06d.part" % number)
    with conn, open(part, "wb") as out:
        taken = 0
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                break
            out.write(chunk)
            taken += len(chunk)
            if args.reset_after and taken >= args.reset_after:
                # Linger 0: the close resets the connection.
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                break
        out.flush()
        os.fsync(out.fileno())
        os.rename(part, os.path.join(directory, "%06d.prn" % number))
        time.sleep(args.close_after)
        with lock:
            open_connections -= 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--ready", required=True,
                        help="file written once the port is taken")
    parser.add_argument("--listen-after", type=float, default=0,
                        help="seconds it refuses connections first")
    parser.add_argument("--reset-after", type=int, default=0,
                        help="resets each connection after this many bytes")
    parser.add_argument("--close-after", type=float, default=0,
                        help="seconds it keeps a connection open after the job")
    args = parser.parse_args()

    os.makedirs(args.dir, exist_ok=True)
    # Half-received jobs of an earlier listener are never completed.
    for name in os.listdir(args.dir):
        if name.endswith(".part"):
            os.remove(os.path.join(args.dir, name))
    number = next_number(args.dir)

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if args.reset_after:
        # Small buffers: a large label cannot all wait in them.
        server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    server.bind(("127.0.0.1", args.port))
    with open(args.ready + ".tmp", "w") as ready:
        ready.write("%d %d\n" % (os.getpid(), server.getsockname()[1]))
    os.rename(args.ready + ".tmp", args.ready)
    # Bound but not listening: the port refuses connections.
    time.sleep(args.listen_after)
    server.listen(16)

    global open_connections
    while True:
        conn, _ = server.accept()
        with lock:
            open_connections += 1
            if open_connections > 1:
                open(os.path.join(args.dir, "OVERLAP"), "w").close()
        threading.Thread(target=receive, args=(conn, args.dir, number, args), daemon=True).start()
        number += 1


if __name__ == "__main__":
    main()
