#!/usr/bin/env python3
"""Quorvane host-side sample: a CGI script that keeps the forwarded address of your server.

Quorvane, running on the machine at home, calls this script with the address in the query
string, for example

    storeip.py?IPAddress=203.0.113.7&UserID=joe&Password=secret&StartPage=/Demo/Default.htm

or IPAddress=2001:db8::7 for an IPv6 address, and calls it with an empty address (IPAddress=) when the machine goes off line. A visitor who
opens the script without those pairs is sent on to the stored address and start page, or told
that the server is off line.

Set it up:
  1. Put this file in a folder of your web host that runs CGI scripts (often cgi-bin) and make
     it executable.
  2. Choose a user ID and password below (or in the web server's environment as
     STOREIP_USER_ID and STOREIP_PASSWORD). Updates are refused until a password is set.
  3. Make sure the web server may write the data file (STOREIP_DATA_FILE; by default
     storeip.dat beside this script).
  4. In Quorvane's "HTTP Target" tab enter the script's URL, tick the User ID and Password pairs
     and fill in the same values.
The tags below must match the tags on that tab.
"""

import hmac
import ipaddress
import os
import re
import sys
import tempfile
from html import escape
from urllib.parse import unquote

USER_ID = os.environ.get("STOREIP_USER_ID", "")
PASSWORD = os.environ.get("STOREIP_PASSWORD", "")
DATA_FILE = os.environ.get(
    "STOREIP_DATA_FILE", os.path.join(os.path.dirname(os.path.abspath(__file__)), "storeip.dat"))

ADDRESS_TAG = "IPAddress"
USER_ID_TAG = "UserID"
PASSWORD_TAG = "Password"
START_PAGE_TAG = "StartPage"

# A start page is a path on your server: printable characters without blanks, quotes or brackets.
START_PAGE_RE = re.compile(r"^/[A-Za-z0-9._~!$&'()*+,;=:@%/?#-]*$")


def respond(status, body, headers=()):
    out = sys.stdout
    out.write("Status: %s\r\n" % status)
    for name, value in headers:
        out.write("%s: %s\r\n" % (name, value))
    out.write("Content-Type: text/html; charset=utf-8\r\n")
    out.write("Cache-Control: no-store\r\n\r\n")
    out.write("<!DOCTYPE html>\n<html><head><title>Quorvane</title></head><body>\n")
    out.write("<p>%s</p>\n</body></html>\n" % body)
    out.flush()


def read_stored():
    try:
        with open(DATA_FILE, encoding="ascii") as f:
            lines = f.read().splitlines()
    except OSError:
        return None, None
    if len(lines) < 2 or not lines[0]:
        return None, None
    return lines[0], lines[1]


def store(address, start_page):
    folder = os.path.dirname(os.path.abspath(DATA_FILE))
    if not address:
        try:
            os.remove(DATA_FILE)
        except FileNotFoundError:
            pass
        return
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".storeip-")
    try:
        with os.fdopen(fd, "w", encoding="ascii") as f:
            f.write("%s\n%s\n" % (address, start_page))
        os.replace(temp, DATA_FILE)
    except BaseException:
        os.unlink(temp)
        raise


def parse_query(text):
    """The query pairs as the program sends them: a "+" is a plus sign, not a blank."""
    pairs = {}
    for part in text.split("&"):
        if not part:
            continue
        name, _, value = part.partition("=")
        pairs.setdefault(unquote(name), [unquote(value)])
    return pairs


def normal_address(text):
    """An IPv4 or IPv6 address in its standard text; None for anything else, zone indexes
    (fe80::1%eth0) included: they mean nothing outside the sender's own link."""
    if "%" in text:
        return None
    try:
        return str(ipaddress.ip_address(text))
    except ValueError:
        return None


def normal_start_page(text):
    page = text.replace("\\", "/")
    if not page.startswith("/"):
        page = "/" + page
    return page if START_PAGE_RE.match(page) else None


def forward_request(query):
    """The program's request: check the credentials, then store or clear the address."""
    if not PASSWORD:
        return respond("403 Forbidden", "Updates are switched off: set a password in the script.")
    user = query.get(USER_ID_TAG, [""])[0]
    password = query.get(PASSWORD_TAG, [""])[0]
    if not (hmac.compare_digest(user.encode(), USER_ID.encode())
            and hmac.compare_digest(password.encode(), PASSWORD.encode())):
        return respond("403 Forbidden", "Access denied.")

    address = query[ADDRESS_TAG][0]
    if address:
        address = normal_address(address)
        if address is None:
            return respond("400 Bad Request", "That is not an IP address.")
    start_page = normal_start_page(query.get(START_PAGE_TAG, ["/"])[0])
    if start_page is None:
        return respond("400 Bad Request", "That is not a usable start page.")

    store(address, start_page)
    if address:
        return respond("200 OK", "Stored %s." % escape(address))
    return respond("200 OK", "The server is now off line.")


def visit():
    """A visitor: send them on to the stored address."""
    address, start_page = read_stored()
    if not address:
        return respond("200 OK", "The server is off line at the moment. Please try again later.")
    host = "[%s]" % address if ":" in address else address
    target = "http://%s%s" % (host, start_page)
    return respond("302 Found", 'Your server is at <a href="%s">%s</a>.' % (escape(target),
                                                                              escape(target)),
                   headers=[("Location", target)])


def main():
    query = parse_query(os.environ.get("QUERY_STRING", ""))
    if ADDRESS_TAG in query:
        forward_request(query)
    else:
        visit()


if __name__ == "__main__":
    main()
