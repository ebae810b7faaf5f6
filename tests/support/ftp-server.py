#!/usr/bin/python3
"""A receiver's FTP server for the tests: one user over a folder, on
127.0.0.1 and a free port, which it prints on its first line.

ftp-server.py ROOT USER PASSWORD [--full-after N] [--drop-after N]
  --full-after N  refuse every upload after the first N ("452", a full disk)
  --drop-after N  after the first N uploads, drop the connection in the
                  middle of the next one
  --slow SECONDS  wait that long before each upload
"""
import argparse
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("root")
parser.add_argument("user")
parser.add_argument("password")
parser.add_argument("--full-after", type=int, default=-1)
parser.add_argument("--drop-after", type=int, default=-1)
parser.add_argument("--slow", type=float, default=0)
args = parser.parse_args()

uploads = 0


class DroppingDTP(DTPHandler):
    """Takes part of the upload, then closes both connections."""

    def handle_read(self):
        super().handle_read()
        if getattr(self.cmd_channel, "dropping", False):
            self.cmd_channel.close()
            self.close()

    handle_read_event = handle_read


class Handler(FTPHandler):
    dtp_handler = DroppingDTP

    def ftp_STOR(self, file, mode="w"):
        global uploads
        time.sleep(args.slow)
        if 0 <= args.full_after <= uploads:
            self.respond("452 Insufficient storage space.")
            return
        if 0 <= args.drop_after <= uploads:
            self.dropping = True
        uploads += 1
        return super().ftp_STOR(file, mode)


authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
Handler.authorizer = authorizer
Handler.banner = "receiver ready"
server = FTPServer(("127.0.0.1", 0), Handler)
print(server.address[1], flush=True)
sys.stdout.close()
server.serve_forever()
