#!/usr/bin/env python3
"""A name server stand-in for the update tests, on 127.0.0.1.

  dns_standin.py truncate PORT SERVER_PORT   answers every UDP message with TC set and carries
                                             TCP connections to the server on SERVER_PORT
  dns_standin.py refuse PORT                 answers every UDP message REFUSED
Prints "ready" once it listens.
"""
import socket
import sys
import threading

TRUNCATED = 0x02
ANSWER = 0x80
REFUSED = 5


def header_reply(message, truncated, rcode):
    return (message[:2] + bytes([message[2] | ANSWER | (TRUNCATED if truncated else 0), rcode])
            + bytes(8))


def pipe(source, target):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    finally:
        target.close()


def relay(listener, server_port):
    while True:
        client, _ = listener.accept()
        server = socket.create_connection(("127.0.0.1", server_port))
        threading.Thread(target=pipe, args=(client, server), daemon=True).start()
        threading.Thread(target=pipe, args=(server, client), daemon=True).start()


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", port))
    if mode == "truncate":
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", port))
        listener.listen()
        threading.Thread(target=relay, args=(listener, int(sys.argv[3])), daemon=True).start()
    print("ready", flush=True)
    while True:
        message, peer = udp.recvfrom(65536)
        if len(message) >= 12:
            udp.sendto(header_reply(message, mode == "truncate", 0 if mode == "truncate"
                                    else REFUSED), peer)


if __name__ == "__main__":
    main()
