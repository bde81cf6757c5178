"""A scriptable HTTP peer on 127.0.0.1 for the network tests.

Each accepted connection runs a handler (a function of a Connection) in a
thread; the server keeps every request head it read, byte for byte.
"""
import socket
import threading
import time


class Connection:
    def __init__(self, server, sock):
        self.server = server
        self.sock = sock
        self.sock.settimeout(10)
        self.buffer = b""

    def read_request(self):
        """Reads one request head; returns its bytes or None when the peer closed."""
        while b"\r\n\r\n" not in self.buffer:
            try:
                data = self.sock.recv(65536)
            except OSError:
                return None
            if not data:
                return None
            self.buffer += data
        end = self.buffer.index(b"\r\n\r\n") + 4
        request, self.buffer = self.buffer[:end], self.buffer[end:]
        with self.server.lock:
            self.server.requests.append(request)
        return request

    def send(self, data, pieces=None, pause=0.0):
        """Sends data whole, or in pieces of the given size with a pause between."""
        try:
            if not pieces:
                self.sock.sendall(data)
                return
            for i in range(0, len(data), pieces):
                self.sock.sendall(data[i:i + pieces])
                if pause:
                    time.sleep(pause)
        except OSError:
            pass

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()


class ScriptedServer:
    def __init__(self, handler):
        self.handler = handler
        self.requests = []
        self.connections = 0
        self.lock = threading.Lock()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.stopping = False
        self.threads = []
        self.open = []
        self.acceptor = threading.Thread(target=self._accept, daemon=True)
        self.acceptor.start()

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def _accept(self):
        while not self.stopping:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.connections += 1
                index = self.connections
            conn = Connection(self, sock)
            self.open.append(conn)
            thread = threading.Thread(target=self._run, args=(conn, index), daemon=True)
            thread.start()
            self.threads.append(thread)

    def _run(self, conn, index):
        try:
            self.handler(conn, index)
        except OSError:
            pass
        finally:
            conn.close()

    def stop(self):
        self.stopping = True
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        for conn in self.open:
            conn.close()
        for thread in self.threads:
            thread.join(timeout=5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def response(body, status="200 OK", headers=()):
    head = "HTTP/1.1 %s\r\nContent-Length: %d\r\n" % (status, len(body))
    for line in headers:
        head += line + "\r\n"
    return head.encode() + b"\r\n" + body


def chunked(pieces, extension=b""):
    out = b""
    for piece in pieces:
        out += b"%x%s\r\n%s\r\n" % (len(piece), extension, piece)
    return out + b"0\r\n\r\n"
