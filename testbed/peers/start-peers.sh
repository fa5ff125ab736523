#!/bin/sh
# Starts the network peers of the client tests on loopback ports of their own:
# nginx (plain and TLS), the aiosmtpd server and the scripted raw peer. Writes
# FOLDER/peers.txt ("name port" lines) and the test CA (FOLDER/tls/ca.pem).
# Usage: start-peers.sh FOLDER    (stop-peers.sh FOLDER ends them)
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
DIR=$1
PYTHON=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1  # no __pycache__ in the source tree
"$HERE/stop-peers.sh" "$DIR"
rm -rf "$DIR"
mkdir -p "$DIR/tls" "$DIR/nginx/www" "$DIR/smtp-mail"

# TLS material made for this run: a test CA, a certificate for localhost signed
# by it, one signed by it for another name, and a self-signed one.
cd "$DIR/tls"
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
  -subj "/CN=Orvik Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"
signed() {  # NAME SUBJECT-ALT-NAMES
  quiet openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1"
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' "$2" >"$1.ext"
  quiet openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile "$1.ext" -out "$1.pem"
}
signed localhost "DNS:localhost,IP:127.0.0.1"
signed other.example "DNS:other.example"
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout self-signed.key -out self-signed.pem \
  -days 30 -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
cd - >/dev/null

# nginx on free ports; its folder must be readable by its workers.
set -- $("$PYTHON" -c '
import socket
socks = [socket.socket() for _ in range(4)]
for s in socks: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))')
sed -e "s|@DIR@|$DIR|g" -e "s|@PLAIN@|$1|g" -e "s|@GOOD@|$2|g" -e "s|@WRONG_NAME@|$3|g" \
  -e "s|@SELF_SIGNED@|$4|g" "$HERE/nginx.conf.in" >"$DIR/nginx/nginx.conf"
printf 'http-plain %s\nhttps-good %s\nhttps-wrong-name %s\nhttps-self-signed %s\n' "$@" \
  >"$DIR/nginx.ports"
printf 'hello from nginx\n' >"$DIR/nginx/www/index.html"
mkdir -p "$DIR/nginx/www/a" "$DIR/nginx/www/private"
printf 'next\n' >"$DIR/nginx/www/a/next.html"
printf 'up\n' >"$DIR/nginx/www/up.html"
printf 'secret\n' >"$DIR/nginx/www/private/secret.html"
head -c 3000000 /dev/urandom >"$DIR/nginx/www/large.bin"
# Basic authorization for user "u" with password "p".
printf 'u:%s\n' "$(openssl passwd -apr1 p)" >"$DIR/nginx/htpasswd"
chmod -R a+rX "$DIR"
nginx -p "$DIR/nginx/" -c "$DIR/nginx/nginx.conf" -e "$DIR/nginx/error.log"

# The Python peers write their own ports files once they listen.
for peer in raw_peer smtp_server; do
  "$PYTHON" "$HERE/$peer.py" "$DIR" </dev/null >"$DIR/$peer.out" 2>&1 &
  echo $! >"$DIR/$peer.pid"
done
tries=0
until [ -f "$DIR/raw_peer.ports" ] && [ -f "$DIR/smtp_server.ports" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 300 ]; then
    echo "the Python peers did not start:" >&2
    cat "$DIR"/*.out >&2
    exit 1
  fi
  sleep 0.1
done
cat "$DIR/nginx.ports" "$DIR/raw_peer.ports" "$DIR/smtp_server.ports" >"$DIR/peers.txt"
echo "peers listening:"
cat "$DIR/peers.txt"
