"""A loopback FTP server for the forwarding tests.

Usage: ftp_server.py ROOT [--tls CERTFILE KEYFILE] [--implicit]
Prints the port it listens on (127.0.0.1, a free port) on a line of its own, then the name of
each command it receives on a line of its own, and serves until it is killed. Accounts, all with
the password "secret" and ROOT as their home:
  user      may do everything
  norename  may not rename (RNFR/RNTO are refused)
  readonly  may list and read, not store or delete
  silent    accepts EPRT/PORT and STOR but never opens the data connection
With --tls it speaks FTP over TLS with that certificate: AUTH TLS is required before the log-in
and the data connections are protected; with --implicit as well, TLS starts at once on connection.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class Silent:
    def _silent(self):
        return self.username == "silent"

    def pre_process_command(self, line, cmd, arg):
        print(cmd, flush=True)
        return super().pre_process_command(line, cmd, arg)

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


def handler_class(args):
    if "--tls" not in args:
        return type("Handler", (Silent, FTPHandler), {})
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class EagerDataConnection(TLS_DTPHandler):
        # libcurl starts TLS on a passive data connection at once, before the transfer command;
        # pyftpdlib would take those early bytes for a hang-up.
        def readable(self):
            return self._ssl_accepting or super().readable()

    at = args.index("--tls")
    attributes = {
        "certfile": args[at + 1],
        "keyfile": args[at + 2],
        "tls_control_required": True,
        "tls_data_required": True,
        "dtp_handler": EagerDataConnection,
    }
    # The data connections resume the control connection's TLS session, as clients do.
    def get_ssl_context(cls):
        context = TLS_FTPHandler.get_ssl_context.__func__(cls)
        context.set_session_id(b"quorvane-test")
        return context

    attributes["get_ssl_context"] = classmethod(get_ssl_context)
    if "--implicit" in args:
        def handle(self):
            # Implicit TLS: the greeting already travels inside TLS.
            self.secure_connection(self.ssl_context)
            TLS_FTPHandler.handle(self)

        attributes["handle"] = handle
    return type("Handler", (Silent, TLS_FTPHandler), attributes)


def main():
    root = sys.argv[1]
    authorizer = DummyAuthorizer()
    authorizer.add_user("user", "secret", root, perm="elradfmwMT")
    authorizer.add_user("norename", "secret", root, perm="elradmwMT")
    authorizer.add_user("readonly", "secret", root, perm="elr")
    authorizer.add_user("silent", "secret", root, perm="elradfmwMT")
    handler = handler_class(sys.argv[2:])
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # answer a bad password at once
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
