#!/usr/bin/env python3
"""Stand-in network label printer: accepts raw jobs on a TCP port and keeps each one.

Every connection is one job. Its bytes go to DIR/NNNNNN.part and the file is renamed
to DIR/NNNNNN.prn only when the sender closes, so a reader never sees half a job.
"""
import argparse
import os
import socket
import threading


def next_number(directory):
    numbers = [int(name.split(".")[0]) for name in os.listdir(directory)
               if name.split(".")[0].isdigit()]
    return max(numbers, default=0) + 1


def receive(conn, directory, number):
    part = os.path.join(directory, "%06d.part" % number)
    with conn, open(part, "wb") as out:
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                break
            out.write(chunk)
        out.flush()
        os.fsync(out.fileno())
    os.rename(part, os.path.join(directory, "%06d.prn" % number))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--ready", required=True,
                        help="file written once the port is listening")
    args = parser.parse_args()

    os.makedirs(args.dir, exist_ok=True)
    # Half-received jobs of an earlier listener are never completed.
    for name in os.listdir(args.dir):
        if name.endswith(".part"):
            os.remove(os.path.join(args.dir, name))
    number = next_number(args.dir)

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", args.port))
    server.listen(16)
    with open(args.ready + ".tmp", "w") as ready:
        ready.write("%d %d\n" % (os.getpid(), server.getsockname()[1]))
    os.rename(args.ready + ".tmp", args.ready)

    while True:
        conn, _ = server.accept()
        threading.Thread(target=receive, args=(conn, args.dir, number), daemon=True).start()
        number += 1


if __name__ == "__main__":
    main()
