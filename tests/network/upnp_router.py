#!/usr/bin/python3
"""A home router for the tests: answers SSDP searches for an Internet gateway on the LAN
address given, and serves its description and the GetExternalIPAddress action, whose answer is
read from a file at each request (the test changes the address by writing the file). Prints the
HTTP port once it listens. A hostile router for the tests: "location=URL" makes its search answer
name that description address, "control=URL" its description name that control address."""

import http.server
import socket
import struct
import sys
import threading

LAN_IP, ADDRESS_FILE = sys.argv[1], sys.argv[2]
OPTIONS = dict(arg.split("=", 1) for arg in sys.argv[3:])
SERVICE = "urn:schemas-upnp-org:service:WANIPConnection:1"
DESCRIPTION = f"""<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0"><device>
<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
<friendlyName>Stand-in Router</friendlyName><deviceList><device><deviceList><device>
<serviceList><service><serviceType>{SERVICE}</serviceType>
<controlURL>{OPTIONS.get("control", "/ctl/IPConn")}</controlURL></service></serviceList>
</device></deviceList></device></deviceList></device></root>"""
REPLY = """<?xml version="1.0"?>
<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>
<u:GetExternalIPAddressResponse xmlns:u="{service}"><NewExternalIPAddress>{address}
</NewExternalIPAddress></u:GetExternalIPAddressResponse></s:Body></s:Envelope>"""


class Handler(http.server.BaseHTTPRequestHandler):
    def answer(self, body):
        data = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", 'text/xml; charset="utf-8"')
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        if self.path == "/desc.xml":
            self.answer(DESCRIPTION)
        else:
            self.send_error(404)

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if self.path != "/ctl/IPConn" or "GetExternalIPAddress" not in self.headers.get(
                "SOAPAction", ""):
            self.send_error(404)
            return
        with open(ADDRESS_FILE) as f:
            self.answer(REPLY.format(service=SERVICE, address=f.read().strip()))

    def log_message(self, *args):
        pass


web = http.server.ThreadingHTTPServer((LAN_IP, 0), Handler)
threading.Thread(target=web.serve_forever, daemon=True).start()

ssdp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
ssdp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
ssdp.bind(("", 1900))
ssdp.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                struct.pack("4s4s", socket.inet_aton("239.255.255.250"), socket.inet_aton(LAN_IP)))
print(web.server_address[1], flush=True)
LOCATION = OPTIONS.get("location", f"http://{LAN_IP}:{web.server_address[1]}/desc.xml")
while True:
    data, peer = ssdp.recvfrom(4096)
    if data.startswith(b"M-SEARCH") and b"InternetGatewayDevice" in data:
        ssdp.sendto((
            "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nEXT:\r\n"
            "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
            "USN: uuid:00000000-0000-0000-0000-000000000001::"
            "urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
            f"LOCATION: {LOCATION}\r\n\r\n").encode(), peer)
