#!/usr/bin/env python3
"""Real TLS peers for the https tests, on loopback ports the system picks.

server: an HTTPS server (Python's ssl module) with the given certificate; every request is
        stored raw (head and body) as req-NNNN.txt in the folder, and answered 200.
proxy:  an HTTP proxy that only tunnels: CONNECT with the right Basic Proxy-Authorization gets
        "200 Connection established" and a byte tunnel to a loopback target; anything else
        gets 407. Each request head is stored as connect-NNNN.txt.
Both write their port to port.txt in the folder once they listen, and run until killed.
"""
import base64
import os
import socket
import ssl
import sys
import threading

LOOPBACK = ("127.0.0.1", "localhost", "::1")


def store(folder, prefix, data, lock=threading.Lock(), counter=[0]):
    with lock:
        counter[0] += 1
        path = os.path.join(folder, "%s-%04d.txt" % (prefix, counter[0]))
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.rename(path + ".part", path)


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None, b""
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head + b"\r\n\r\n", rest


def serve_https(conn, folder):
    try:
        head, body = read_head(conn)
        if head is None:
            return
        length = 0
        for line in head.split(b"\r\n"):
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":", 1)[1])
        while len(body) < length:
            chunk = conn.recv(65536)
            if not chunk:
                break
            body += chunk
        store(folder, "req", head + body)
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK")
    finally:
        conn.close()


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    finally:
        try:
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def serve_proxy(conn, folder, credentials):
    head, rest = read_head(conn)
    if head is None:
        conn.close()
        return
    store(folder, "connect", head)
    lines = head.decode("latin-1").split("\r\n")
    method, target, _ = (lines[0].split(" ") + ["", "", ""])[:3]
    auth = ""
    for line in lines[1:]:
        if line.lower().startswith("proxy-authorization:"):
            auth = line.split(":", 1)[1].strip()
    host, _, port = target.rpartition(":")
    host = host.strip("[]")
    if method != "CONNECT" or auth != "Basic " + credentials or host not in LOOPBACK:
        conn.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                     b"Proxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n\r\n")
        conn.close()
        return
    upstream = socket.create_connection((host, int(port)), timeout=30)
    upstream.settimeout(None)
    conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
    if rest:
        upstream.sendall(rest)
    t = threading.Thread(target=pump, args=(upstream, conn), daemon=True)
    t.start()
    pump(conn, upstream)
    t.join(60)
    conn.close()
    upstream.close()


def main():
    mode, folder = sys.argv[1], sys.argv[2]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    if mode == "server":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
    else:
        credentials = base64.b64encode(sys.argv[3].encode()).decode()
    with open(os.path.join(folder, "port.txt.part"), "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(os.path.join(folder, "port.txt.part"), os.path.join(folder, "port.txt"))
    while True:
        conn, _ = listener.accept()
        if mode == "server":
            def handshake_and_serve(raw=conn):
                try:
                    raw.settimeout(30)
                    tls = context.wrap_socket(raw, server_side=True)
                except (ssl.SSLError, OSError):
                    raw.close()  # a refused client: nothing stored
                    return
                serve_https(tls, folder)
            threading.Thread(target=handshake_and_serve, daemon=True).start()
        else:
            threading.Thread(target=serve_proxy, args=(conn, folder, credentials),
                             daemon=True).start()


if __name__ == "__main__":
    main()
