#!/bin/sh
# Ends the peers that start-peers.sh started in FOLDER, by their process ids.
DIR=$1
for pidfile in "$DIR/nginx/nginx.pid" "$DIR/raw_peer.pid" "$DIR/smtp_server.pid"; do
  [ -f "$pidfile" ] || continue
  kill "$(cat "$pidfile")" 2>/dev/null
  rm -f "$pidfile"
done
exit 0
