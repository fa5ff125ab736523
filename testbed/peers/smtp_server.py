#!/usr/bin/python3
"""aiosmtpd on loopback for the SMTP client tests.

"smtp-open" takes mail without authentication; "smtp-auth" offers CRAM-MD5,
LOGIN and PLAIN, "smtp-login" LOGIN and PLAIN, "smtp-plain" PLAIN only, and
these take mail only from an authenticated client (user "user", password
"secret"). Every server refuses recipients whose address begins with
"nobody@" (550). Each accepted message is appended to FOLDER/smtp-mail/
<name>.eml: the envelope lines, an empty line, then the data as received.

Usage: smtp_server.py FOLDER   (writes FOLDER/smtp_server.ports)
"""
import base64
import hashlib
import hmac
import logging
import os
import socket
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

USER, PASSWORD = b"user", b"secret"
LIFETIME = 3600


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Store:
    def __init__(self, path):
        self.path = path

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("nobody@"):
            return "550 5.1.1 no such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with open(self.path, "ab") as out:
            out.write(b"MAIL FROM: " + envelope.mail_from.encode() + b"\n")
            out.write(b"RCPT TO: " + ",".join(envelope.rcpt_tos).encode() + b"\n\n")
            out.write(envelope.original_content)
        return "250 stored"


class AuthStore(Store):
    async def auth_CRAM__MD5(self, server, args):
        challenge = b"<%d.%d@peer>" % (os.getpid(), time.time_ns())
        answer = await server.challenge_auth(base64.b64encode(challenge).decode(),
                                             encode_to_b64=False)
        if answer is None:
            return AuthResult(success=False, handled=False)
        user, _, digest = answer.partition(b" ")
        expected = hmac.new(PASSWORD, challenge, hashlib.md5).hexdigest().encode()
        ok = user == USER and hmac.compare_digest(digest, expected)
        return AuthResult(success=ok, handled=False)


def check_password(server, session, envelope, mechanism, data):
    ok = isinstance(data, LoginPassword) and data.login == USER and data.password == PASSWORD
    return AuthResult(success=ok, handled=False)


def main():
    logging.basicConfig(level=logging.ERROR)  # errors of a session go to smtp_server.out
    folder = sys.argv[1]
    mail = os.path.join(folder, "smtp-mail")
    # Name: mechanisms left out of CRAM-MD5, LOGIN and PLAIN (None: no AUTH).
    servers = {"smtp-open": None, "smtp-auth": [], "smtp-login": ["CRAM-MD5"],
               "smtp-plain": ["CRAM-MD5", "LOGIN"]}
    ports = {name: free_port() for name in servers}
    controllers = []
    for name, excluded in servers.items():
        store = os.path.join(mail, name + ".eml")
        if excluded is None:
            controllers.append(Controller(Store(store), hostname="127.0.0.1", port=ports[name]))
        else:
            controllers.append(Controller(
                AuthStore(store), hostname="127.0.0.1", port=ports[name],
                authenticator=check_password, auth_required=True, auth_require_tls=False,
                auth_exclude_mechanism=excluded))
    for c in controllers:
        c.start()
    temp = os.path.join(folder, "smtp_server.ports.tmp")
    with open(temp, "w") as out:
        for name, port in sorted(ports.items()):
            out.write("%s %d\n" % (name, port))
    os.rename(temp, os.path.join(folder, "smtp_server.ports"))
    threading.Event().wait(LIFETIME)
    for c in controllers:
        c.stop()


if __name__ == "__main__":
    main()
