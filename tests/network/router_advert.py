"""Sends one IPv6 router advertisement out of a link, for the namespace tests.

Usage: router_advert.py LINK MAC PREFIX
The advertisement names MAC, the link's own hardware address (so that the receiver enters the
router in its neighbour table), and offers PREFIX/64 for addresses of the receiver's own making.
"""
import socket
import struct
import sys
import time

link, mac, prefix = sys.argv[1], bytes.fromhex(sys.argv[2].replace(":", "")), sys.argv[3]
s = socket.socket(socket.AF_INET6, socket.SOCK_RAW, socket.IPPROTO_ICMPV6)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, link.encode())
s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_HOPS, 255)
# Type 134, code 0, checksum (the kernel's), hop limit 64, no flags, router lifetime 1800 s.
advert = struct.pack("!BBHBBHII", 134, 0, 0, 64, 0, 1800, 0, 0)
# Source link-layer address option.
advert += struct.pack("!BB", 1, 1) + mac
# Prefix information: /64, on-link and autonomous, valid a day, preferred four hours.
advert += struct.pack("!BBBBIII", 3, 4, 64, 0xC0, 86400, 14400, 0)
advert += socket.inet_pton(socket.AF_INET6, prefix)
# A router speaks from its link-local address (receivers ignore any other), here the one the
# kernel makes from the hardware address; it may take a moment to be usable.
eui = bytes([mac[0] ^ 2]) + mac[1:3] + b"\xff\xfe" + mac[3:6]
source = socket.inet_ntop(socket.AF_INET6, b"\xfe\x80" + bytes(6) + eui)
index = socket.if_nametoindex(link)
for attempt in range(50):
    try:
        s.bind((source, 0, 0, index))
        break
    except OSError:
        if attempt == 49:
            raise
        time.sleep(0.1)
s.sendto(advert, ("ff02::1", 0, 0, index))
