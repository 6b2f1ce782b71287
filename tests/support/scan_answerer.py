#!/usr/bin/env python3
"""scan_answerer.py HEARD FROM REPLY_HEX: a unit that answers every scan
request it hears on HEARD:1902 with the list reply REPLY_HEX, sent from
FROM:1902, and never answers a join request. Every datagram either socket
receives is written to standard output in hexadecimal, one a line. Both
sockets share their port with others (SO_REUSEADDR), as melvorin-devsim's
do. Says "listening on port 1902" on standard error when ready, as
melvorin-devsim does."""
import select
import socket
import sys


def bound(address):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, 1902))
    return s


heard, own = bound(sys.argv[1]), bound(sys.argv[2])
reply = bytes.fromhex(sys.argv[3])
print("listening on port 1902", file=sys.stderr, flush=True)
while True:
    for s in select.select([heard, own], [], [])[0]:
        data, peer = s.recvfrom(4096)
        print(data.hex(), flush=True)
        if s is heard and len(data) > 3 and data[3] == 0x01:  # a scan request
            own.sendto(reply, peer)
