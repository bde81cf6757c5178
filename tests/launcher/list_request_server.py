#!/usr/bin/env python3
"""Answers one request with 404 and prints its request line: lets a test see
what the updater asks the update server for. Prints the port first."""
import socket
import sys

listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(1)
listener.settimeout(60)
print(listener.getsockname()[1], flush=True)
connection, _ = listener.accept()
connection.settimeout(30)
head = b""
while b"\r\n\r\n" not in head:
    piece = connection.recv(4096)
    if not piece:
        break
    head += piece
print(head.split(b"\r\n")[0].decode("latin-1"), flush=True)
connection.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
connection.close()
sys.exit(0)
