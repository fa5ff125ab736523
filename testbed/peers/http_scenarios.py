"""HTTP replies for the raw peer: each function plays one connection."""
import os
import re
import ssl


def read_request(conv):
    return conv.receive_until(b"\r\n\r\n")


def request_path(request):
    match = re.match(rb"[A-Z]+ (\S+) HTTP/1\.1\r\n", request)
    return match.group(1) if match else b""


def ok(conv, body):
    conv.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body))


def redirect(conv, location, extra=b""):
    conv.send(b"HTTP/1.1 302 Found\r\n%sLocation: %s\r\nContent-Length: 0\r\n\r\n"
              % (extra, location))


def content_location_first(conv):
    # A redirect whose Content-Location header comes before its Location.
    request = read_request(conv)
    if request_path(request) == b"/right.html":
        ok(conv, b"right")
    elif request:
        conv.send(b"HTTP/1.1 301 Moved\r\nContent-Location: /wrong.html\r\n"
                  b"Location: /right.html\r\nContent-Length: 0\r\n\r\n")


def status_in_reason(conv):
    # A failure whose reason text holds " 200".
    if read_request(conv):
        conv.send(b"HTTP/1.1 500 Error 200 OK\r\nContent-Length: 5\r\n\r\nerror")


def huge_headers(conv):
    # A 200 whose header block is 70 KiB long.
    if read_request(conv):
        filler = b"".join(b"X-Filler-%04d: %s\r\n" % (i, b"f" * 50) for i in range(1100))
        conv.send(b"HTTP/1.1 200 OK\r\n" + filler + b"Content-Length: 2\r\n\r\nok")


def endless(conv):
    # A body without a length that goes on past any sane size (80 MiB), then ends.
    if read_request(conv):
        conv.send(b"HTTP/1.1 200 OK\r\n\r\n")
        block = b"e" * 65536
        for _ in range(80 * 16):
            if not conv.send(block):
                return


def short_body(conv):
    # 10 bytes of the 100 that Content-Length announces, then the end.
    if read_request(conv):
        conv.send(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")


def no_length(conv):
    # A body that ends with the connection.
    if read_request(conv):
        conv.send(b"HTTP/1.1 200 OK\r\n\r\nread until close")


def over_tls(conv):
    # The connection continues in TLS, under the test CA's certificate for localhost.
    tls = os.path.join(os.path.dirname(conv.log_path), "tls")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(tls, "localhost.pem"), os.path.join(tls, "localhost.key"))
    conv.sock = context.wrap_socket(conv.sock, server_side=True)


def tls_no_length(conv, close_notify):
    # A body without a length over TLS that ends with close_notify, or where the
    # connection is cut without it (as a network fault would).
    over_tls(conv)
    try:
        if read_request(conv):
            conv.send(b"HTTP/1.1 200 OK\r\n\r\nread until close")
            if close_notify:
                # Sends close_notify, then closes without waiting for the client's.
                conv.sock.setblocking(False)
                try:
                    conv.sock.unwrap()
                except ssl.SSLWantReadError:
                    pass
    finally:
        conv.sock.close()


def trickle(conv):
    # One byte a tenth of a second: 100 bytes take 10 seconds.
    if read_request(conv):
        conv.send(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n")
        conv.trickle(b"t" * 100, 0.1)


def redirect_chain(conv):
    # /r/N redirects to /r/N-1; /r/0 answers.
    match = re.match(rb"/r/(\d+)$", request_path(read_request(conv)))
    if match and int(match.group(1)) > 0:
        redirect(conv, b"/r/%d" % (int(match.group(1)) - 1))
    elif match:
        ok(conv, b"end of chain")


def cookies(conv):
    # Cookies along same-origin redirects, then a redirect to another host (the
    # record peer under the name localhost).
    path = request_path(read_request(conv))
    if path == b"/start":
        redirect(conv, b"/hop", b"Set-Cookie: id=abc; Path=/; HttpOnly\r\n")
    elif path == b"/hop":
        redirect(conv, b"/last", b"Set-Cookie: id=def\r\n")
    elif path == b"/last":
        redirect(conv, b"http://localhost:%d/elsewhere" % conv.ports["http-record"])


def record(conv):
    # Answers any request; the log keeps what the client sent, a body included.
    if read_request(conv):
        conv.sock.settimeout(0.2)
        conv.receive()
        ok(conv, b"recorded")


def silent(conv):
    # Takes the request and never answers; waits for the client to close (the
    # peer's read time-out bounds the wait).
    if read_request(conv):
        while conv.receive():
            pass


SCENARIOS = {
    "http-content-location-first": content_location_first,
    "http-status-in-reason": status_in_reason,
    "http-huge-headers": huge_headers,
    "http-endless": endless,
    "http-short-body": short_body,
    "http-no-length": no_length,
    "http-trickle": trickle,
    "http-redirect-chain": redirect_chain,
    "http-cookies": cookies,
    "http-record": record,
    "http-silent": silent,
    "https-close-notify": lambda conv: tls_no_length(conv, True),
    "https-cut": lambda conv: tls_no_length(conv, False),
}
