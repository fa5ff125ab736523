"""SMTP replies for the raw peer: each function plays one connection."""
import base64
import socket
import time

EHLO_REPLY = b"250-peer greets you\r\n250-8BITMIME\r\n250 HELP\r\n"


def send_split(conv, reply):
    # Cut inside the first line end, in the middle and inside the last line
    # end; the pauses make each piece arrive on its own.
    cuts = sorted({reply.find(b"\r\n") + 1, len(reply) // 2, len(reply) - 1})
    start = 0
    for cut in cuts + [len(reply)]:
        if not conv.send(reply[start:cut]):
            return False
        start = cut
        time.sleep(0.03)
    return True


def record_rest(conv):
    # Logs whatever the client still sends, until it closes.
    while conv.receive():
        pass


def split_replies(conv):
    # A whole dialogue that takes the mail, every reply cut in pieces.
    conv.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    send_split(conv, b"220 peer ready\r\n")
    while True:
        line = conv.receive_until(b"\r\n")
        if not line:
            return
        verb = line[:4].upper()
        if verb in (b"HELO", b"EHLO"):
            send_split(conv, EHLO_REPLY)
        elif verb == b"DATA":
            send_split(conv, b"354 go on\r\n")
            if not conv.receive_until(b"\r\n.\r\n"):
                return
            send_split(conv, b"250 queued\r\n")
        elif verb == b"QUIT":
            send_split(conv, b"221 bye\r\n")
            return
        else:
            send_split(conv, b"250 ok\r\n")


def continuation_flood(conv):
    # Continuation lines without end, for at most ten seconds.
    lines = (b"220-" + b"x" * 70 + b"\r\n") * 64
    deadline = time.time() + 10
    while time.time() < deadline and conv.send(lines):
        pass
    record_rest(conv)


def long_line(conv):
    conv.send(b"220 " + b"x" * 1996 + b"\r\n")
    record_rest(conv)


def trickle(conv):
    # One byte of the greeting every 0.1 s, for at most 30 seconds.
    conv.trickle(b"220 " + b"x" * 296, 0.1)
    record_rest(conv)


def silent(conv):
    record_rest(conv)


def cram_md5_refused(conv):
    conv.send(b"220 peer ready\r\n")
    conv.receive_until(b"\r\n")
    conv.send(b"250-peer\r\n250-AUTH LOGIN PLAIN CRAM-MD5\r\n250 HELP\r\n")
    if conv.receive_until(b"\r\n").upper().startswith(b"AUTH CRAM-MD5"):
        conv.send(b"334 " + base64.b64encode(b"<1.2@peer>") + b"\r\n")
        conv.receive_until(b"\r\n")
    conv.send(b"535 no\r\n")
    # Anything after the refusal is invited, so that the log shows it.
    while conv.receive_until(b"\r\n"):
        conv.send(b"334 go on\r\n")


SCENARIOS = {
    "smtp-split": split_replies,
    "smtp-flood": continuation_flood,
    "smtp-long-line": long_line,
    "smtp-trickle": trickle,
    "smtp-silent": silent,
    "smtp-cram-md5-refused": cram_md5_refused,
}
