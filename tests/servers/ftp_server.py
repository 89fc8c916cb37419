"""A small FTP server for tests, on 127.0.0.1 only (pyftpdlib; run it with Debian's python3).

Accounts, both with --root as their root folder and full rights there:
  user / secret
  anonymous (any password)
except below --root/locked (made if missing), where nobody may create, store or delete anything.

Every command received is written to --log as "<client port> <command line>", before it is
answered, so a client that has its answer finds its command in the log. The port the server
listens on is printed as the first line of standard output; nothing more goes there.
"""

import argparse
import logging
import os
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

FULL_RIGHTS = "elradfmwMT"
READ_ONLY = "elr"


class LoggingHandler(FTPHandler):
    log_file = None

    def pre_process_command(self, line, cmd, arg):
        self.log_file.write("%d %s\n" % (self.remote_port, line))
        self.log_file.flush()
        super().pre_process_command(line, cmd, arg)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    options = parser.parse_args()

    root = os.path.realpath(options.root)
    locked = os.path.join(root, "locked")
    os.makedirs(locked, exist_ok=True)

    authorizer = DummyAuthorizer()
    # pyftpdlib warns about an anonymous account that may write; this one is meant to.
    warnings.simplefilter("ignore", RuntimeWarning)
    authorizer.add_user("user", "secret", root, perm=FULL_RIGHTS)
    authorizer.add_anonymous(root, perm=FULL_RIGHTS)
    for account in ("user", "anonymous"):
        authorizer.override_perm(account, locked, READ_ONLY, recursive=True)

    LoggingHandler.authorizer = authorizer
    # A refused login is answered at once; pyftpdlib would otherwise wait 3 s first.
    LoggingHandler.auth_failed_timeout = 0
    LoggingHandler.log_file = open(options.log, "a")
    logging.basicConfig(level=logging.WARNING)

    server = FTPServer(("127.0.0.1", 0), LoggingHandler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    sys.exit(main())
