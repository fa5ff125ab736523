#!/usr/bin/python3
"""aiosmtpd on loopback for the SMTP client tests.

"smtp-open" takes mail without authentication; "smtp-auth" offers CRAM-MD5,
LOGIN and PLAIN and takes mail only from an authenticated client (user "user",
password "secret"). Every accepted message is stored as FOLDER/smtp-mail/
<port>-<n>.eml: the envelope lines, an empty line, then the data as received.

Usage: smtp_server.py FOLDER   (writes FOLDER/smtp_server.ports)
"""
import base64
import hashlib
import hmac
import itertools
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
counter = itertools.count(1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Store:
    def __init__(self, folder, port):
        self.folder, self.port = folder, port

    async def handle_DATA(self, server, session, envelope):
        name = os.path.join(self.folder, "%d-%d.eml" % (self.port, next(counter)))
        with open(name + ".tmp", "wb") as out:
            out.write(b"MAIL FROM: " + envelope.mail_from.encode() + b"\n")
            out.write(b"RCPT TO: " + ",".join(envelope.rcpt_tos).encode() + b"\n\n")
            out.write(envelope.original_content)
        os.rename(name + ".tmp", name)
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
    ports = {"smtp-open": free_port(), "smtp-auth": free_port()}
    controllers = [
        Controller(Store(mail, ports["smtp-open"]), hostname="127.0.0.1",
                   port=ports["smtp-open"]),
        Controller(AuthStore(mail, ports["smtp-auth"]), hostname="127.0.0.1",
                   port=ports["smtp-auth"], authenticator=check_password,
                   auth_required=True, auth_require_tls=False),
    ]
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
