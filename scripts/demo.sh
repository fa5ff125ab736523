#!/bin/sh
# The demo: builds both targets, installs the demo package unattended under Wine into a prefix
# of its own (build/windows/e2e/prefix, as the end-to-end tests use it) and reports what the
# installation left: the services, the installed tree, the registry entries, the demo message
# as the smtp.exe stand-in received it, the setup log's last lines and the time it took.
# Usage: demo.sh [--uninstall | --gui]
#   --uninstall  then uninstalls and reports what stayed
#   --gui        installs through the wizard's windows instead, on this machine's display
#                ($DISPLAY; a virtual one when there is none), clicked through by the GUI
#                driver with the first-run wizard; a screenshot of every page goes to
#                build/windows/e2e/shots/
# Exit status: that of the installation (0 done; see setup.exe /?).
set -eu
say() {
  printf "%s\n" "$*"
}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
uninstall= gui=
case ${1:-} in
--uninstall) uninstall=1 ;;
--gui) gui=1 ;;
"") ;;
*)
  say "usage: demo.sh [--uninstall | --gui]" >&2
  exit 2
  ;;
esac
if [ -n "$gui" ] && [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
"$ROOT/scripts/setup-machine.sh"
"$ROOT/scripts/build.sh" all

E2E_LIB=$ROOT/tests/e2e/lib.sh
. "$E2E_LIB"
e2e_init "$ROOT/build/windows"
trap e2e_stop_server EXIT
say "== Wine prefix $WINEPREFIX"
e2e_prefix_current || e2e_create_prefix
e2e_reset
root=$(e2e_path "$E2E_INSTALL")

meaning() {
  case $1 in
  0) say "done" ;;
  2) say "bad command line" ;;
  4) say "fatal error" ;;
  5) say "cancelled at a copy error" ;;
  6) say "installed, but a module is not running" ;;
  124) say "did not end within its time limit" ;;
  127) say "no such program" ;;
  *) say "unexpected" ;;
  esac
}
services() {
  for service in $E2E_SERVICES; do
    printf '  %-14s %-8s start type %-2s %s\n' "$service" "$(e2e_service_state "$service")" \
      "$(e2e_service_start_type "$service")" "$(e2e_service_path "$service")"
  done
  say "  (start type 2 automatic, 3 manual, 4 disabled)"
}
keys() {
  for key in "$E2E_PRODUCT_KEY" "$E2E_UNINSTALL_KEY"; do
    if e2e_reg_key "$key"; then
      say "  $key"
      e2e_reg_values "$key" | sed 's/^/    /'
    else
      say "  $key: none"
    fi
  done
}
tree() {
  if [ -d "$root" ]; then
    say "  $E2E_INSTALL ($root): $(find "$root" -type f | wc -l) files," \
      "$(du -sh "$root" | cut -f1)"
  else
    say "  $E2E_INSTALL: none"
  fi
}

if [ -n "$gui" ]; then
  shots=$ROOT/build/windows/e2e/shots
  say "== Installing: C:\\OrvikSetup\\setup.exe on display $DISPLAY, clicked through by the GUI driver"
  e2e_click_through "$shots"
  say "  driver: $(tail -n 1 "$E2E_DIR/driver.txt") (exit code $E2E_DRIVEN)"
  say "  screenshots in $shots:"
  ls "$shots" | sed 's/^/    /'
else
  say "== Installing: C:\\OrvikSetup\\setup.exe /VERYSILENT"
  e2e_setup /VERYSILENT
fi
installed=$E2E_EXIT
say "  exit code $E2E_EXIT ($(meaning "$E2E_EXIT")) after ${E2E_SECONDS}s"
say "== Installed tree"
tree
say "== Services"
services
say "== Registry"
keys
say "== Program group"
find "$E2E_GROUP" -name '*.lnk' 2>/dev/null | sed 's|.*/|  |' | sort
say "== Demo message, as the smtp.exe stand-in received it"
if [ -f "$root/smtp.exe.eml" ]; then
  grep '^smtp from=' "$root/smtp.exe.log" | tr -d '\r' | sed 's/^/  /'
  tr -d '\r' <"$root/smtp.exe.eml" | sed -n '1,/^$/p' | sed 's/^/  /'
else
  say "  none received"
fi
say "== Setup log, last lines (logs\\setup\\setup.log)"
tail -n 12 "$root/logs/setup/setup.log" 2>/dev/null | tr -d '\r' | sed 's/^/  /'

if [ -n "$uninstall" ]; then
  say "== Uninstalling: ${E2E_INSTALL}setup.exe /UNINSTALL /VERYSILENT"
  e2e_run "${E2E_INSTALL}setup.exe" /UNINSTALL /VERYSILENT
  say "  exit code $E2E_EXIT ($(meaning "$E2E_EXIT")) after ${E2E_SECONDS}s"
  say "== Services"
  services
  say "== Registry"
  keys
  say "== What stayed in the installation folder"
  tree
  [ -d "$root" ] && (cd "$root" && find . -maxdepth 2 | sed 's|^\./||; /^\.$/d' | sort |
    sed 's/^/  /')
  say "== Program group: $(find "$E2E_GROUP" -name '*.lnk' 2>/dev/null | wc -l) links"
fi
exit "$installed"
