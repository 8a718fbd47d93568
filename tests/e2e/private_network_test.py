#!/usr/bin/env python3
"""What a port-bound test finds in the network namespace of its own: loopback up, the test
launcher's first fixed port free, and none of the host's sockets (so no server of another run)."""
import socket
import sys


def sockets(table):
    with open(table) as f:
        return f.read().splitlines()[1:]


faults = []
if sockets("/proc/net/tcp") or sockets("/proc/net/tcp6"):
    faults.append("sockets of another namespace are visible")
server = socket.socket()
server.bind(("127.0.0.1", 18441))
server.listen()
client = socket.create_connection(("127.0.0.1", 18441), timeout=5)
accepted, _ = server.accept()
client.sendall(b"ok")
if accepted.recv(2) != b"ok":
    faults.append("loopback does not carry data")
for fault in faults:
    print("FAIL -", fault)
sys.exit(1 if faults else 0)
