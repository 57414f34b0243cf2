#!/usr/bin/python3
"""A small SMTP server for the mail tests.

Listens on 127.0.0.1 on a free port and prints "PORT <n>" once it accepts
connections. Every message it receives is stored in the output folder as
message-<n>.eml (the raw data) and message-<n>.json (envelope, whether the
client logged in and used TLS, and the subject and body as a standard mail
parser reads them). The .json file is written last, so a message is complete
once it exists.

Options:
  --tls          offer STARTTLS with a certificate signed by a throwaway CA;
                 the CA is written to <folder>/ca.pem
  --auth L:P     offer AUTH and accept only login L with password P
  --auth-plain   allow AUTH over an unencrypted connection
  --silent       accept connections and never say a word (--stall greeting)
  --stall STAGE  answer like a server until STAGE, then fall silent:
                 greeting, ehlo, data (no reply to DATA), body (no reply to
                 the end of the message) or quit (no reply to QUIT; the
                 message is stored)
  --trickle      answer every command, one byte a second
  --hold-ms N    take the message, but wait N ms before saying so
  --cert-name N  the server certificate names N instead of localhost
Recipients named "unknown@..." are refused with 550.
Login attempts are appended to <folder>/auth-attempts.txt (logins only).
"""

import argparse
import asyncio
import email
import email.header
import email.policy
import json
import os
import ssl
import subprocess
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def write_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def make_certificates(folder, name=None):
    """A throwaway CA and a server certificate for localhost/127.0.0.1, or
    for the given name only."""
    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=folder,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Mail Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", *ec, "-keyout", "server.key", "-out", "server.csr",
        "-subj", "/CN=%s" % (name or "localhost"))
    with open(os.path.join(folder, "server.ext"), "w") as f:
        names = "DNS:%s" % name if name else "DNS:localhost,IP:127.0.0.1"
        f.write("subjectAltName=%s\n"
                "extendedKeyUsage=serverAuth\n" % names)
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2",
        "-extfile", "server.ext")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, "server.pem"),
                            os.path.join(folder, "server.key"))
    return context


class Store:
    def __init__(self, folder, hold_ms=0):
        self.folder = folder
        self.count = 0
        self.hold_ms = hold_ms

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        # Mailboxes named "unknown" do not exist here.
        if address.lower().startswith("unknown@"):
            return "550 5.1.1 No such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.hold_ms:
            await asyncio.sleep(self.hold_ms / 1000)
        raw = envelope.original_content or envelope.content
        if isinstance(raw, str):
            raw = raw.encode("utf-8", "surrogateescape")
        self.store(raw, envelope, session)
        return "250 OK"

    def store(self, raw, envelope, session):
        self.count += 1
        base = os.path.join(self.folder, "message-%d" % self.count)
        write_atomically(base + ".eml", raw)

        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "authenticated": bool(session and session.authenticated),
            "tls": session is not None and session.ssl is not None,
            "headers": [],
            "subject": None,
            "body": None,
            "parse_defects": [],
        }
        try:
            message = email.message_from_bytes(raw, policy=email.policy.default)
            info["headers"] = [[k, str(v)] for k, v in message.items()]
            info["subject"] = str(message["subject"]) if message["subject"] is not None else None
            info["body"] = message.get_content()
            info["parse_defects"] = [type(d).__name__ for d in message.defects]
        except Exception as error:  # a test looks at what could be read
            info["parse_defects"].append("exception: %s" % error)
        write_atomically(base + ".json",
                         json.dumps(info, ensure_ascii=False, indent=1).encode("utf-8"))


def make_authenticator(folder, login, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        with open(os.path.join(folder, "auth-attempts.txt"), "ab") as f:
            f.write(auth_data.login + b"\n")
        if auth_data.login == login and auth_data.password == password:
            return AuthResult(success=True)
        return AuthResult(success=False, handled=False)
    return authenticate


class Envelope:
    def __init__(self):
        self.mail_from = None
        self.rcpt_tos = []


def misbehaving_client(store, stall, trickle):
    """A plain SMTP dialogue that falls silent at one stage or answers one
    byte a second."""
    async def handle(reader, writer):
        async def say(line):
            data = (line + "\r\n").encode("ascii")
            if trickle:
                for i in range(len(data)):
                    writer.write(data[i:i + 1])
                    await writer.drain()
                    await asyncio.sleep(1)
            else:
                writer.write(data)
                await writer.drain()

        async def silence():
            while await reader.read(4096):
                pass

        try:
            if stall == "greeting":
                return await silence()
            await say("220 mail.test ESMTP")
            envelope = Envelope()
            while True:
                line = await reader.readline()
                if not line:
                    return
                verb = line.decode("ascii", "replace").strip().split(" ")[0].upper()
                if verb in ("EHLO", "HELO"):
                    if stall == "ehlo":
                        return await silence()
                    await say("250 mail.test")
                elif verb == "MAIL":
                    envelope.mail_from = line.decode("ascii", "replace").split(":", 1)[1].strip().strip("<>")
                    await say("250 OK")
                elif verb == "RCPT":
                    envelope.rcpt_tos.append(line.decode("ascii", "replace").split(":", 1)[1].strip().strip("<>"))
                    await say("250 OK")
                elif verb == "DATA":
                    if stall == "data":
                        return await silence()
                    await say("354 End data with <CR><LF>.<CR><LF>")
                    raw = b""
                    while True:
                        chunk = await reader.readline()
                        if not chunk or chunk == b".\r\n":
                            break
                        raw += chunk[1:] if chunk.startswith(b"..") else chunk
                    if stall == "body":
                        return await silence()
                    store.store(raw, envelope, None)
                    envelope = Envelope()
                    await say("250 OK")
                elif verb == "QUIT":
                    if stall == "quit":
                        return await silence()
                    await say("221 Bye")
                    return
                else:
                    await say("250 OK")
        finally:
            writer.close()
    return handle


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--auth-plain", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--stall", choices=["greeting", "ehlo", "data", "body", "quit"])
    parser.add_argument("--trickle", action="store_true")
    parser.add_argument("--hold-ms", type=int, default=0)
    parser.add_argument("--cert-name")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    loop = asyncio.get_running_loop()

    if args.silent:
        args.stall = "greeting"
    if args.stall or args.trickle:
        server = await asyncio.start_server(
            misbehaving_client(Store(args.folder), args.stall, args.trickle), "127.0.0.1", 0)
    else:
        store = Store(args.folder, args.hold_ms)
        options = {"hostname": "mail.test", "auth_require_tls": not args.auth_plain}
        if args.tls:
            options["tls_context"] = make_certificates(args.folder, args.cert_name)
        if args.auth:
            login, _, password = args.auth.partition(":")
            options["authenticator"] = make_authenticator(
                args.folder, login.encode("utf-8"), password.encode("utf-8"))
        else:
            # No AUTH offered at all.
            options["auth_exclude_mechanism"] = ["LOGIN", "PLAIN"]
        server = await loop.create_server(lambda: SMTP(store, loop=loop, **options),
                                          "127.0.0.1", 0)

    port = server.sockets[0].getsockname()[1]
    print("PORT %d" % port, flush=True)
    loop.create_task(exit_with_parent(os.getppid()))
    async with server:
        await server.serve_forever()


async def exit_with_parent(parent):
    # A test that crashed never stops its server: end with it.
    while os.getppid() == parent:
        await asyncio.sleep(1)
    os._exit(0)


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
