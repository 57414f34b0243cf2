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
  --silent       accept connections and never say a word
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


def make_certificates(folder):
    """A throwaway CA and a server certificate for localhost/127.0.0.1."""
    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=folder,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Mail Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", *ec, "-keyout", "server.key", "-out", "server.csr",
        "-subj", "/CN=localhost")
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                "extendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2",
        "-extfile", "server.ext")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, "server.pem"),
                            os.path.join(folder, "server.key"))
    return context


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        # Mailboxes named "unknown" do not exist here.
        if address.lower().startswith("unknown@"):
            return "550 5.1.1 No such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "message-%d" % self.count)
        raw = envelope.original_content or envelope.content
        if isinstance(raw, str):
            raw = raw.encode("utf-8", "surrogateescape")
        write_atomically(base + ".eml", raw)

        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "authenticated": bool(session.authenticated),
            "tls": session.ssl is not None,
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
        return "250 OK"


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


async def silent_client(reader, writer):
    # Keep the connection open and never answer.
    try:
        while await reader.read(4096):
            pass
    finally:
        writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--auth-plain", action="store_true")
    parser.add_argument("--silent", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    loop = asyncio.get_running_loop()

    if args.silent:
        server = await asyncio.start_server(silent_client, "127.0.0.1", 0)
    else:
        store = Store(args.folder)
        options = {"hostname": "mail.test", "auth_require_tls": not args.auth_plain}
        if args.tls:
            options["tls_context"] = make_certificates(args.folder)
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
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
