#!/usr/bin/python3
"""Small FTP server for the tests and the demo, over pyftpdlib.

Listens on 127.0.0.1 only and prints "PORT <n>" on stdout once it accepts
connections. It stops on SIGTERM, and also when its stdin closes, so a test
that crashes never leaves it running (unless --no-stdin-watch is given).

Accounts: --user NAME PASSWORD HOME [PERMS] (repeatable), or --accounts FILE,
a JSON list of {"name", "password", "home", "perm"} objects.
Permissions are pyftpdlib's letters: "elradfmwMT" read-write, "elr" read-only.

--close-421 NAME answers its first RETR with 421 and closes the session;
--max-per-ip N refuses sessions beyond N from one address (421 at connection).
--journal FILE appends every command received (passwords masked) to FILE.
--tls CERT KEY serves explicit FTPS only (AUTH TLS and PROT P required).
--fault picks a misbehaving server: "cut" closes the data connection of an
upload after 64 KiB, "truncate" drops the last byte of every stored file,
"no-overwrite" refuses RNTO onto an existing file (as some Windows servers do),
"echo-password" quotes a wrong password in its refusal.
"""

import argparse
import json
import logging
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer, ThreadedFTPServer
import time

READ_WRITE = "elradfmwMT"


def parse_args():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=int, default=0, help="fixed port (default: any free port)")
    p.add_argument("--user", nargs="+", action="append", default=[],
                   metavar="NAME PASSWORD HOME [PERMS]")
    p.add_argument("--accounts", help="JSON file listing the accounts")
    p.add_argument("--no-mlsd", action="store_true",
                   help="refuse MLSD and MLST, so that clients fall back to LIST")
    p.add_argument("--refuse-retr", action="append", default=[], metavar="NAME",
                   help="answer 550 to RETR of this file name (repeatable)")
    p.add_argument("--vanish", action="append", default=[], metavar="NAME",
                   help="delete this file when it is first retrieved, as if it went after the listing")
    p.add_argument("--raw-names", action="store_true",
                   help="list and accept file names as their bytes, UTF-8 or not")
    p.add_argument("--delay", type=float, default=0.0, metavar="SECONDS",
                   help="delay every reply, like a distant server (threaded)")
    p.add_argument("--close-421", action="append", default=[], metavar="NAME",
                   help="answer the first RETR of this file with 421 and close the session (repeatable)")
    p.add_argument("--max-per-ip", type=int, default=0, metavar="N",
                   help="refuse more than N sessions from one address with 421, as shared hosting does")
    p.add_argument("--no-stdin-watch", action="store_true",
                   help="keep running when stdin closes (stop with SIGTERM)")
    p.add_argument("--journal", help="append every command received to this file")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="explicit FTPS only")
    p.add_argument("--fault", choices=("cut", "truncate", "no-overwrite", "echo-password"))
    p.add_argument("--verbose", action="store_true", help="log every command on stderr")
    args = p.parse_args()
    for u in args.user:
        if len(u) not in (3, 4):
            p.error("--user takes NAME PASSWORD HOME [PERMS]")
    return args


def accounts(args):
    result = []
    for u in args.user:
        result.append({"name": u[0], "password": u[1], "home": u[2],
                       "perm": u[3] if len(u) == 4 else READ_WRITE})
    if args.accounts:
        with open(args.accounts, encoding="utf-8") as f:
            for a in json.load(f):
                result.append({"name": a["name"], "password": a["password"], "home": a["home"],
                               "perm": a.get("perm", READ_WRITE)})
    return result


def watch_stdin():
    # Returns when the parent closes our stdin or dies; then stop like on SIGTERM.
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except (OSError, ValueError):
        pass
    os.kill(os.getpid(), signal.SIGTERM)


def main():
    args = parse_args()
    logging.basicConfig(level=logging.DEBUG if args.verbose else logging.WARNING,
                        format="ftpserver: %(message)s", stream=sys.stderr)

    authorizer = DummyAuthorizer()
    for a in accounts(args):
        authorizer.add_user(a["name"], a["password"], a["home"], perm=a["perm"])

    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler

    class DTP(base.dtp_handler):
        def readable(self):
            # curl opens the TLS data connection before it sends STOR or LIST: pyftpdlib
            # would close a channel that is polled before its command; wait for it instead.
            if not self.receive and not self._initialized:
                return bool(getattr(self, "_ssl_accepting", False))
            return super().readable()

    class CutDTP(DTP):
        def handle_read(self):
            if self.receive and self.tot_bytes_received >= 64 * 1024:
                self._resp = ("426 Connection closed; transfer aborted.", logging.warning)
                self.close()
                return
            super().handle_read()

        handle_read_event = handle_read  # the base class calls this alias

    refused = set(args.refuse_retr)
    closing = set(args.close_421)
    vanishing = set(args.vanish)
    delay = args.delay

    class Handler(base):
        def ftp_RETR(self, file):
            name = os.path.basename(file)
            if name in refused:
                self.respond("550 Refused by the test.")
                return None
            if name in closing:
                closing.discard(name)
                self.respond("421 Too many connections (2) from this IP")
                self.close_when_done()
                return None
            if name in vanishing:
                vanishing.discard(name)
                try:
                    os.remove(file)
                except OSError:
                    pass
            return super().ftp_RETR(file)

        def respond(self, resp, logfun=logging.debug):
            if delay:
                time.sleep(delay)
            return super().respond(resp, logfun)

        def pre_process_command(self, line, cmd, arg):
            if args.journal:
                with open(args.journal, "a", encoding="utf-8") as f:
                    f.write(("PASS ******" if cmd == "PASS" else line) + "\n")
            return super().pre_process_command(line, cmd, arg)

        def ftp_PASS(self, line):
            if args.fault == "echo-password":
                try:
                    self.authorizer.validate_authentication(self.username, line, self)
                except AuthenticationFailed:
                    self.username = ""
                    self.respond("530 Login incorrect with password %s." % line)
                    return None
            return super().ftp_PASS(line)

        def on_file_received(self, file):
            if args.fault == "truncate":
                with open(file, "r+b") as f:
                    f.truncate(max(0, os.path.getsize(file) - 1))

        def ftp_RNTO(self, path):
            if args.fault == "no-overwrite" and os.path.exists(path):
                self._rnfr = None
                self.respond("550 Cannot create a file when that file already exists.")
                return None
            return super().ftp_RNTO(path)

    Handler.dtp_handler = CutDTP if args.fault == "cut" else DTP
    if args.tls:
        Handler.certfile, Handler.keyfile = args.tls
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    Handler.authorizer = authorizer
    # A refused login otherwise waits 3 s before answering.
    Handler.auth_failed_timeout = 0
    if args.no_mlsd:
        Handler.proto_cmds = {k: v for k, v in base.proto_cmds.items()
                              if k not in ("MLSD", "MLST")}

    if args.raw_names:
        # Names travel as the bytes on disk, and come back to the same bytes.
        Handler.unicode_errors = "surrogateescape"
    server = (ThreadedFTPServer if delay else FTPServer)(("127.0.0.1", args.port), Handler)
    if args.max_per_ip:
        server.max_cons_per_ip = args.max_per_ip

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if not args.no_stdin_watch:
        threading.Thread(target=watch_stdin, daemon=True).start()

    print("PORT %d" % server.address[1], flush=True)
    try:
        server.serve_forever(timeout=0.5, handle_exit=True)
    finally:
        server.close_all()
        sys.stdout.flush()
        sys.stderr.flush()
        # Not a normal shutdown: the stdin thread may still be blocked in read().
        os._exit(0)


if __name__ == "__main__":
    main()
