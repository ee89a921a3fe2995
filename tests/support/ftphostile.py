#!/usr/bin/python3
"""A hostile FTP server for the robustness tests: one misbehaviour per run.

Listens on 127.0.0.1 only, prints "PORT <n>" once it accepts connections, serves one
client at a time, and stops by itself after --duree seconds or when its stdin closes.
Accepts any user and password.

Modes:
  ligne-sans-fin   the greeting never ends: bytes without a line end, for good
  liste-100mo      LIST answers 100 MB of lines
  liste-100000     LIST answers 100,000 report entries
  pasv-ailleurs    PASV announces 127.0.0.2 and the port --piege (where the test listens);
                   the data really waits on 127.0.0.1 at that port
  coupe            the connection is closed after each reply
  rapport-2go      RETR of any file announces 2 GB and streams until the client stops
  rapport-sans-fin the same without announcing a size
"""

import argparse
import os
import signal
import socket
import sys
import threading
import time


def repondre(c, texte):
    c.sendall(texte.encode() + b"\r\n")


def donnees(ecoute):
    ecoute.settimeout(10)
    d, _ = ecoute.accept()
    return d


def lignes_liste(n):
    for i in range(n):
        yield b"-rw-r--r--   1 ftp ftp   1234 Mar 25 06:30 %06d.xml\r\n" % i


def servir(c, mode, piege):
    if mode == "ligne-sans-fin":
        bloc = b"220-" + b"x" * 65536
        while True:
            c.sendall(bloc)
    repondre(c, "220 hostile")
    ecoute = None
    f = c.makefile("rb")
    while True:
        ligne = f.readline()
        if not ligne:
            return
        commande = ligne.decode("latin-1").strip()
        verbe = commande.split(" ")[0].upper()
        argument = commande[len(verbe):].strip()
        if verbe == "USER":
            repondre(c, "331 mot de passe")
        elif verbe == "PASS":
            repondre(c, "230 ok")
        elif verbe == "PWD":
            repondre(c, '257 "/"')
        elif verbe in ("CWD", "TYPE"):
            repondre(c, "250 ok" if verbe == "CWD" else "200 ok")
        elif verbe == "EPSV" or verbe in ("MLSD", "MLST", "EPRT", "PORT"):
            repondre(c, "500 non")
        elif verbe == "PASV":
            ecoute = socket.socket()
            ecoute.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            if mode == "pasv-ailleurs":
                # The trap's port: a client that believed the announce would connect there.
                ecoute.bind(("127.0.0.1", piege))
                adresse = "127,0,0,2"
            else:
                ecoute.bind(("127.0.0.1", 0))
                adresse = "127,0,0,1"
            ecoute.listen(1)
            port = ecoute.getsockname()[1]
            repondre(c, "227 Entering Passive Mode (%s,%d,%d)" % (adresse, port >> 8, port & 255))
        elif verbe in ("LIST", "NLST"):
            repondre(c, "150 liste")
            d = donnees(ecoute)
            try:
                if mode == "liste-100mo":
                    ligne_longue = b"-rw-r--r--   1 ftp ftp 1 Mar 25 06:30 " + b"n" * 200 + b".xml\r\n"
                    for _ in range(100 * 1024 * 1024 // len(ligne_longue)):
                        d.sendall(ligne_longue)
                else:
                    n = 100000 if mode == "liste-100000" else 1
                    tampon = []
                    for l in lignes_liste(n):
                        tampon.append(l)
                        if len(tampon) == 1000:
                            d.sendall(b"".join(tampon))
                            tampon = []
                    d.sendall(b"".join(tampon))
            except OSError:
                pass
            d.close()
            repondre(c, "226 fin")
        elif verbe == "SIZE":
            repondre(c, "213 2147483648" if mode == "rapport-2go" else "502 non")
        elif verbe == "RETR":
            taille = " (2147483648 bytes)" if mode == "rapport-2go" else ""
            repondre(c, "150 Opening BINARY mode data connection for %s%s" % (argument, taille))
            d = donnees(ecoute)
            try:
                bloc = b"<" * 65536
                for _ in range(2 * 1024 * 1024 * 1024 // len(bloc)):
                    d.sendall(bloc)
            except OSError:
                pass
            d.close()
            try:
                repondre(c, "226 fin")
            except OSError:
                return
        elif verbe == "QUIT":
            repondre(c, "221 au revoir")
            return
        else:
            repondre(c, "502 non")
        if mode == "coupe":
            return


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("mode")
    p.add_argument("--duree", type=float, default=60)
    p.add_argument("--piege", type=int, default=0)
    args = p.parse_args()

    # Stops by itself, whatever the test does.
    threading.Timer(args.duree, lambda: os._exit(0)).start()

    def surveiller():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        except (OSError, ValueError):
            pass
        os._exit(0)

    threading.Thread(target=surveiller, daemon=True).start()
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

    serveur = socket.socket()
    serveur.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    serveur.bind(("127.0.0.1", 0))
    serveur.listen(4)
    print("PORT %d" % serveur.getsockname()[1], flush=True)
    while True:
        c, _ = serveur.accept()
        try:
            servir(c, args.mode, args.piege)
        except OSError:
            pass
        finally:
            c.close()


if __name__ == "__main__":
    main()
