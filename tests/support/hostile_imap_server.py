#!/usr/bin/python3
"""A hostile IMAP server for the roster's tests: it lets the client log in
like any server, then misbehaves in the one way --mode names: trickle,
untagged, continuation, long-line, huge-literal, literal-minus,
literal-letters, literal-digits, open-quote, uid-range, and with --tls
starttls, starttls-no and greeting-trickle (the roster's program test says
what each does); "normal" serves two start mails.

    hostile_imap_server.py FOLDER --mode MODE [--tls implicit|starttls]

Prints "PORT <n>" and "CA <FOLDER/ca.pem>" (a throwaway CA for 127.0.0.1)
once it listens; appends the commands it receives to FOLDER/commands.txt
(a LOGIN without its password); serves until killed or its parent dies.
"""

import argparse
import ctypes
import os
import signal
import socket
import ssl
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_server import make_certificates  # noqa: E402  the same throwaway CA

PR_SET_PDEATHSIG = 1

MAIL = (b"From: pc1@centre.example\r\nTo: boss@centre.example\r\n"
        b"Date: Mon, 07 Dec 2026 10:00:00 +0900\r\nMessage-ID: <m%d@centre.example>\r\n"
        b"Subject: =?UTF-8?B?44CQ5rCP5ZCN44CROuWkqumDjiDplovlp4s=?=\r\n"
        b"MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"
        b"\xe3\x80\x90\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88\xe3\x82\xb9\xe3\x82\xbf"
        b"\xe3\x83\xbc\xe3\x83\x88\xe3\x80\x91\r\n")


class Client:
    def __init__(self, sock, args):
        self.sock = sock
        self.args = args
        self.buffer = b""

    def log(self, line):
        text = line.decode("latin-1")
        parts = text.split(" ")
        if len(parts) > 3 and parts[1].upper() == "LOGIN":
            text = " ".join(parts[:3]) + " ***"
        with open(os.path.join(self.args.folder, "commands.txt"), "a") as f:
            f.write(text + "\n")

    def send(self, data):
        if self.args.mode == "trickle" and self.logged_in:
            for i in range(len(data)):
                self.sock.sendall(data[i:i + 1])
                time.sleep(0.1)
        else:
            self.sock.sendall(data)

    def endless(self, piece):
        while True:
            self.sock.sendall(piece * 256)

    def line(self):
        while b"\r\n" not in self.buffer:
            data = self.sock.recv(65536)
            if not data:
                raise ConnectionError
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        self.log(line)
        return line

    def serve(self):
        self.logged_in = False
        mode = self.args.mode
        if mode == "greeting-trickle":
            for byte in b"* OK hostile":
                self.sock.sendall(bytes([byte]))
                time.sleep(0.1)
            while True:
                self.sock.sendall(b"x")
                time.sleep(0.1)
        self.sock.sendall(b"* OK hostile IMAP ready\r\n")
        while True:
            line = self.line()
            words = line.split(b" ")
            tag, command = words[0], (words[1].upper() if len(words) > 1 else b"")
            if command == b"CAPABILITY":
                starttls = b" STARTTLS" if self.args.tls == "starttls" else b""
                self.send(b"* CAPABILITY IMAP4rev1" + starttls + b"\r\n" + tag + b" OK done\r\n")
            elif command == b"STARTTLS":
                if mode == "starttls-no":
                    self.send(tag + b" NO [UNAVAILABLE] TLS \x1b[2Jis resting\r\n")
                    continue
                self.send(tag + b" OK begin TLS\r\n")
                self.sock = self.context.wrap_socket(self.sock, server_side=True)
            elif command in (b"LOGIN", b"AUTHENTICATE"):
                self.send(tag + b" OK logged in\r\n")
                self.logged_in = True
            elif command == b"EXAMINE":
                self.examine(tag)
            elif command == b"FETCH":
                self.list_mails(tag, line)
            elif command == b"UID":
                self.fetch(tag, words)
            elif command == b"LOGOUT":
                self.send(b"* BYE bye\r\n" + tag + b" OK done\r\n")
                return
            else:
                self.send(tag + b" BAD what?\r\n")

    def examine(self, tag):
        mode = self.args.mode
        if mode == "untagged":
            self.endless(b"* OK still looking\r\n")
        if mode == "continuation":
            self.endless(b"+ go on\r\n")
        if mode == "long-line":
            self.endless(b"x" * 4096)
        self.send(b"* 2 EXISTS\r\n* FLAGS (\\Seen)\r\n" + tag + b" OK [READ-ONLY] done\r\n")

    def list_mails(self, tag, line):
        first = b"4294967296" if self.args.mode == "uid-range" else b"1"
        date = b' INTERNALDATE " 7-Dec-2026 10:00:01 +0900"' if b"INTERNALDATE" in line.upper() else b""
        self.send(b"* 1 FETCH (UID " + first + b" RFC822.SIZE %d" % len(MAIL % 1) + date + b")\r\n" +
                  b"* 2 FETCH (UID 2 RFC822.SIZE %d" % len(MAIL % 2) + date + b")\r\n" + tag + b" OK done\r\n")

    def fetch(self, tag, words):
        mode = self.args.mode
        head = b"* 1 FETCH (UID 1 BODY[] "
        if mode == "huge-literal":
            self.sock.sendall(head + b"{4294967296}\r\n")
            self.endless(b"\0" * 4096)
        bad = {"literal-minus": b"{-1}", "literal-letters": b"{12a}",
               "literal-digits": b"{99999999999999999999}"}
        if mode in bad:
            self.send(head + bad[mode] + b"\r\n)\r\n" + tag + b" OK done\r\n")
            return
        if mode == "open-quote":
            self.send(head + b"\"From: x\r\n" + tag + b" OK done\r\n")
            return
        out = b""
        for n in (1, 2):
            mail = MAIL % n
            out += b"* %d FETCH (UID %d BODY[] {%d}\r\n" % (n, n, len(mail)) + mail + b")\r\n"
        self.send(out + tag + b" OK done\r\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--mode", default="normal")
    parser.add_argument("--tls", choices=["implicit", "starttls"], default="implicit")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    context = make_certificates(args.folder)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("PORT %d" % listener.getsockname()[1])
    print("CA %s" % os.path.join(args.folder, "ca.pem"))
    sys.stdout.flush()
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)

    def handle(conn):
        try:
            if args.tls == "implicit":
                conn = context.wrap_socket(conn, server_side=True)
            client = Client(conn, args)
            client.context = context
            client.serve()
        except (OSError, ConnectionError, ssl.SSLError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    while True:
        conn, _ = listener.accept()
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
