#!/usr/bin/python3
"""A real IMAP server for the tests and the benchmark: Debian's dovecot with a
configuration of its own in a temporary folder.

    imap_server.py FOLDER [--tls starttls|implicit|none] [--user U --password P]

Writes the configuration, a password file and (for TLS) a throwaway CA with a
server certificate for 127.0.0.1 into FOLDER, starts dovecot in the
foreground on a free port of 127.0.0.1 and prints, once the server greets:

    PORT <n>
    PID <process group of the server>
    MAILDIR <the user's Maildir>
    CA <FOLDER/ca.pem>            (with TLS)

Mails put into MAILDIR/new are seen by the server. The server runs until this
script gets SIGTERM or SIGINT, or its parent dies. Run as root (as on CI), the
login process runs as dovenull and mail is kept under the uid of nobody, as
dovecot insists; as another user everything runs as that user.
"""

import argparse
import ctypes
import grp
import imaplib
import os
import pwd
import signal
import socket
import ssl
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_server import make_certificates  # noqa: E402  the same throwaway CA

DOVECOT = "/usr/sbin/dovecot"
PR_SET_PDEATHSIG = 1


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_config(folder, port, tls, user, password, mail_uid, mail_gid, internal_user, login_user):
    home = os.path.join(folder, "home", user)
    maildir = os.path.join(home, "Maildir")
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(maildir, sub), exist_ok=True)
    for d in (os.path.join(folder, "home"), home):
        os.chmod(d, 0o755)
    for root, dirs, files in os.walk(home):
        os.chown(root, mail_uid, mail_gid)
        for name in files:
            os.chown(os.path.join(root, name), mail_uid, mail_gid)
    os.chmod(folder, 0o755)

    passwd = os.path.join(folder, "passwd")
    with open(passwd, "w") as f:
        f.write("%s:{PLAIN}%s:%d:%d::%s\n" % (user, password, mail_uid, mail_gid, home))
    os.chmod(passwd, 0o644)

    ssl = {"none": "no", "starttls": "yes", "implicit": "yes"}[tls]
    imap_port = 0 if tls == "implicit" else port
    imaps_port = port if tls == "implicit" else 0
    config = f"""
base_dir = {folder}/run
state_dir = {folder}/state
log_path = {folder}/dovecot.log
info_log_path = {folder}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = {ssl}
disable_plaintext_auth = {"no" if tls == "none" else "yes"}
auth_mechanisms = plain login
auth_failure_delay = 0
default_internal_user = {internal_user}
default_internal_group = {grp.getgrgid(pwd.getpwnam(internal_user).pw_gid).gr_name}
default_login_user = {login_user}
first_valid_uid = 1
first_valid_gid = 1
mail_location = maildir:~/Maildir
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {passwd}
}}
userdb {{
  driver = passwd-file
  args = username_format=%u {passwd}
}}
service imap-login {{
  inet_listener imap {{
    address = 127.0.0.1
    port = {imap_port}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {imaps_port}
  }}
}}
service pop3-login {{
  inet_listener pop3 {{
    port = 0
  }}
  inet_listener pop3s {{
    port = 0
  }}
}}
service submission-login {{
  inet_listener submission {{
    port = 0
  }}
}}
service lmtp {{
  unix_listener lmtp {{
    mode = 0600
  }}
}}
"""
    if tls != "none":
        config += f"ssl_cert = <{folder}/server.pem\nssl_key = <{folder}/server.key\n"
    path = os.path.join(folder, "dovecot.conf")
    with open(path, "w") as f:
        f.write(config)
    return path, maildir


def wait_for_greeting(port, process, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
                s.settimeout(2)
                if s.recv(1):  # TLS servers wait for the client: any answer at all is fine
                    return True
        except socket.timeout:
            return True
        except OSError:
            pass
        time.sleep(0.05)
    return False


def login_works(port, tls, user, password, ca):
    """A whole login, so that the server's authentication is up before the
    first client comes (it starts its helpers lazily)."""
    context = ssl.create_default_context(cafile=ca) if tls != "none" else None
    try:
        if tls == "implicit":
            client = imaplib.IMAP4_SSL("127.0.0.1", port, ssl_context=context, timeout=5)
        else:
            client = imaplib.IMAP4("127.0.0.1", port, timeout=5)
            if tls == "starttls":
                client.starttls(ssl_context=context)
        client.login(user, password)
        client.logout()
        return True
    except (OSError, imaplib.IMAP4.error):
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tls", choices=["starttls", "implicit", "none"], default="starttls")
    parser.add_argument("--user", default="boss")
    parser.add_argument("--password", default="secret")
    args = parser.parse_args()

    folder = os.path.abspath(args.folder)
    os.makedirs(folder, exist_ok=True)
    if os.getuid() == 0:
        nobody = pwd.getpwnam("nobody")
        mail_uid, mail_gid = nobody.pw_uid, nobody.pw_gid
        internal_user, login_user = "dovecot", "dovenull"
    else:
        me = pwd.getpwuid(os.getuid())
        mail_uid, mail_gid = me.pw_uid, me.pw_gid
        internal_user = login_user = me.pw_name
    if args.tls != "none":
        make_certificates(folder)

    def pdeathsig():
        os.setsid()
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)

    for attempt in range(5):
        port = free_port()
        config, maildir = write_config(folder, port, args.tls, args.user, args.password,
                                       mail_uid, mail_gid, internal_user, login_user)
        log = open(os.path.join(folder, "dovecot.out"), "ab")
        process = subprocess.Popen([DOVECOT, "-F", "-c", config], stdout=log, stderr=log,
                                   preexec_fn=pdeathsig)
        ca = os.path.join(folder, "ca.pem")
        if wait_for_greeting(port, process):
            deadline = time.monotonic() + 30
            while not login_works(port, args.tls, args.user, args.password, ca) and time.monotonic() < deadline:
                time.sleep(0.2)
            break
        process.kill()
        process.wait()
    else:
        sys.stderr.write(open(os.path.join(folder, "dovecot.out"), errors="replace").read())
        sys.stderr.write(open(os.path.join(folder, "dovecot.log"), errors="replace").read()
                         if os.path.exists(os.path.join(folder, "dovecot.log")) else "")
        sys.exit("dovecot did not start")

    print("PORT %d" % port)
    print("PID %d" % process.pid)
    print("MAILDIR %s" % maildir)
    if args.tls != "none":
        print("CA %s" % os.path.join(folder, "ca.pem"))
    sys.stdout.flush()

    def stop(*_):
        # The master stops its own processes; the wait below then returns.
        try:
            os.killpg(process.pid, signal.SIGCONT)
        except ProcessLookupError:
            pass
        process.terminate()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    process.wait()
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


if __name__ == "__main__":
    main()
