"""HTTP replies for the raw peer: each function plays one connection."""


def read_request(conv):
    return conv.receive_until(b"\r\n\r\n")


def content_location_first(conv):
    # A redirect whose Content-Location header comes before its Location.
    if read_request(conv):
        conv.send(b"HTTP/1.1 301 Moved\r\nContent-Location: /wrong.html\r\n"
                  b"Location: /right.html\r\nContent-Length: 0\r\n\r\n")


SCENARIOS = {
    "http-content-location-first": content_location_first,
}
