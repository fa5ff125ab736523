"""SMTP replies for the raw peer: each function plays one connection."""


def split_greeting(conv):
    # The greeting arrives in two pieces, cut inside its line end.
    conv.send(b"220 peer ready\r")
    conv.send(b"\n")
    conv.receive_until(b"\r\n")
    conv.send(b"221 bye\r\n")


SCENARIOS = {
    "smtp-split-greeting": split_greeting,
}
