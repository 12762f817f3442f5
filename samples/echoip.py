#!/usr/bin/env python3
"""Quorvane host-side sample: an echo page, a CGI script that replies with the caller's address.

Quorvane, running on a machine behind a home router, can read its public address from a page
like this one: the reply is the address the request came from, as plain text and nothing else,
for example

    203.0.113.7

Set it up:
  1. Put this file in a folder of your web host that runs CGI scripts (often cgi-bin) and make
     it executable.
  2. In Quorvane's "HTTP Target" tab enter the script's URL as the echo page URL.
Behind a proxy or load balancer the web server must pass the caller's own address on as
REMOTE_ADDR; the page never trusts headers such as X-Forwarded-For, which any caller can set.
"""

import os
import sys

address = os.environ.get("REMOTE_ADDR", "")
sys.stdout.write("Content-Type: text/plain; charset=us-ascii\r\n")
sys.stdout.write("Cache-Control: no-store\r\n\r\n")
sys.stdout.write(address + "\n")
