"""A loopback FTP server for the forwarding tests.

Usage: ftp_server.py ROOT
Prints the port it listens on (127.0.0.1, a free port) on a line of its own, then serves until
it is killed. Accounts, all with the password "secret" and ROOT as their home:
  user      may do everything
  norename  may not rename (RNFR/RNTO are refused)
  readonly  may list and read, not store or delete
  silent    accepts EPRT/PORT and STOR but never opens the data connection
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class Handler(FTPHandler):
    def _silent(self):
        return self.username == "silent"

    def ftp_EPRT(self, line):
        if self._silent():
            self.respond("200 EPRT command successful.")
            return
        return super().ftp_EPRT(line)

    def ftp_PORT(self, line):
        if self._silent():
            self.respond("200 PORT command successful.")
            return
        return super().ftp_PORT(line)

    def ftp_STOR(self, file, mode="w"):
        if self._silent():
            self.respond("150 File status okay. About to open data connection.")
            return
        return super().ftp_STOR(file, mode)


def main():
    root = sys.argv[1]
    authorizer = DummyAuthorizer()
    authorizer.add_user("user", "secret", root, perm="elradfmwMT")
    authorizer.add_user("norename", "secret", root, perm="elradmwMT")
    authorizer.add_user("readonly", "secret", root, perm="elr")
    authorizer.add_user("silent", "secret", root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    Handler.auth_failed_timeout = 0.1  # answer a bad password at once
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
