# End-to-end helpers: a Wine prefix of their own for the demo package, reset between runs,
# setup.exe runs with their exit codes, a process that keeps the services alive, queries of
# services and the registry, and checks that say what they expected and what they found.
# Sourced (POSIX sh) by tests/e2e/scenario.sh and scripts/demo.sh; e2e_init comes first.
#
# The prefix lives in BUILD/e2e/prefix, its home in BUILD/e2e/home (Wine links the desktop
# there, so no link ever reaches the real home), the registry as created in BUILD/e2e/snapshot,
# what an installation changed in BUILD/e2e/installed.

# e2e_init BUILD [DIR]: BUILD is the Windows build tree (with demo/ made by scripts/build.sh);
# DIR holds the prefix and what goes with it (default BUILD/e2e).
e2e_init() {
  E2E_ROOT=$(cd "$(dirname "$E2E_LIB")/../.." && pwd)
  ORVIK_ROOT=$E2E_ROOT
  # shellcheck source=scripts/wine-path.sh
  . "$E2E_ROOT/scripts/wine-path.sh"
  E2E_BUILD=$(cd "$1" && pwd)
  E2E_DIR=${2:-$E2E_BUILD/e2e}
  WINEPREFIX=$E2E_DIR/prefix
  HOME=$E2E_DIR/home
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  WINEDEBUG=-all
  LANG=en_US.UTF-8
  export WINEPREFIX HOME WINEDLLOVERRIDES WINEDEBUG LANG
  unset WINESERVER
  E2E_C=$WINEPREFIX/drive_c
  E2E_USER_DIR=$E2E_C/users/$(id -un)
  E2E_GROUP="$E2E_C/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvik Mail Server"
  E2E_SETUP_DIR='C:\OrvikSetup\'
  E2E_INSTALL='C:\Program Files\Orvik\'
  E2E_PRODUCT_KEY='HKLM\Software\Kestrun\Orvik Mail Server'
  E2E_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvik'
  E2E_SERVICES_KEY='HKLM\System\CurrentControlSet\Services\'
  E2E_SERVICES="OrvikSMTP OrvikPOP3 OrvikControl OrvikIM OrvikCalendar"
  E2E_FAILURES=0
  E2E_KEEPALIVE=
  E2E_FOLDERS=
}

# The Linux path of a path on the prefix's drive C: ("C:\Program Files\x" -> .../drive_c/Program
# Files/x); a Linux path stays as it is.
e2e_path() {
  case $1 in
  /*) printf '%s' "$1" ;;
  *) printf '%s/%s' "$E2E_C" "$(printf '%s' "${1#[Cc]:\\}" | tr '\\' /)" ;;
  esac
}

# Runs a Windows program of the prefix, bounded in time (E2E_TIMEOUT seconds, 300 by default).
e2e_wine() {
  timeout "${E2E_TIMEOUT:-300}" wine "$@"
}

# Creates the prefix and takes the registry snapshot; the web browser is the testbed's recorder
# (C:\e2e\browser.exe, logging to C:\e2e\browser.exe.log), so that opened addresses can be read.
e2e_create_prefix() {
  e2e_stop_server
  rm -rf "$WINEPREFIX" "$HOME" "$E2E_DIR/snapshot"
  mkdir -p "$HOME" "$E2E_DIR/snapshot"
  e2e_wine wineboot -i </dev/null >/dev/null 2>&1 || true
  timeout 120 wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || {
    echo "e2e: wineboot made no prefix in $WINEPREFIX" >&2
    return 1
  }
  mkdir -p "$E2E_C/e2e"
  cp "$E2E_BUILD/testbed/config.exe" "$E2E_C/e2e/browser.exe"
  for e2e_key in 'HKCR\http\shell\open\command' 'HKCR\htmlfile\shell\open\command'; do
    e2e_wine reg add "$e2e_key" /reg:64 /ve /d '"C:\e2e\browser.exe" "%1"' /f </dev/null >/dev/null 2>&1 || {
      echo "e2e: cannot set $e2e_key" >&2
      return 1
    }
  done
  timeout 120 wineserver -w
  cp "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" "$WINEPREFIX/userdef.reg" "$E2E_DIR/snapshot/"
  "$E2E_ROOT/scripts/wine-packages.sh" >"$E2E_DIR/snapshot/wine-packages"
}

# True when the prefix and snapshot exist, are newer than this library and were made by the Wine
# packages installed now (a prefix of other Wine packages fails to load kernel32.dll).
e2e_prefix_current() {
  [ -f "$E2E_DIR/snapshot/userdef.reg" ] && [ -f "$E2E_C/e2e/browser.exe" ] &&
    [ ! "$E2E_LIB" -nt "$E2E_DIR/snapshot/userdef.reg" ] &&
    "$E2E_ROOT/scripts/wine-packages.sh" | cmp -s - "$E2E_DIR/snapshot/wine-packages"
}

# Ends every process of the prefix and its wineserver.
e2e_stop_server() {
  e2e_keepalive_stop
  wineserver -k 2>/dev/null || true
  timeout 60 wineserver -w 2>/dev/null || true
}

# Back to the prefix as created, with the package (default E2E_PACKAGE, else BUILD/demo) in
# C:\OrvikSetup\.
# Every installation folder a scenario used is listed in E2E_FOLDERS (Windows paths).
e2e_reset() {
  e2e_clear "$E2E_DIR/snapshot"
  e2e_copy_package "${1:-${E2E_PACKAGE:-$E2E_BUILD/demo}}" || return 1
  e2e_start_server
}

# e2e_clear FOLDER: the server stopped, the registry files of FOLDER put back and what the
# scenarios change outside the registry removed.
e2e_clear() {
  e2e_stop_server
  cp "$1/system.reg" "$1/user.reg" "$1/userdef.reg" "$WINEPREFIX/"
  for e2e_folder in "$E2E_INSTALL" $E2E_FOLDERS 'C:\OrvikSetup\'; do
    rm -rf "$(e2e_path "$e2e_folder")"
  done
  rm -rf "$E2E_GROUP"
  find "$E2E_C/e2e" -mindepth 1 ! -name browser.exe -exec rm -rf {} +
  find "$HOME" -name '*.lnk' -exec rm -f {} +
}

# e2e_save_installed: what an installation in the default folder changed in the prefix (the
# registry files, the folder, the program group, the desktop link) kept in BUILD/e2e/installed,
# for the scenarios that build on an installation.
e2e_save_installed() {
  e2e_stop_server
  rm -rf "$E2E_DIR/installed"
  mkdir -p "$E2E_DIR/installed/drive_c"
  e2e_tree=$(e2e_path "$E2E_INSTALL")
  cp "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" "$WINEPREFIX/userdef.reg" \
    "$E2E_DIR/installed/" &&
    (cd "$E2E_C" && cp -a --parents "${e2e_tree#"$E2E_C/"}" "${E2E_GROUP#"$E2E_C/"}" \
      "$E2E_DIR/installed/drive_c/") &&
    cp -a "$HOME" "$E2E_DIR/installed/home" && : >"$E2E_DIR/installed/stamp"
}

# e2e_restore_installed [FILE...]: back to the saved installation, with the package in
# C:\OrvikSetup\ and the server started again (which starts the automatic services); fails when
# none was saved after the package, the prefix, this library and the FILEs were made.
e2e_restore_installed() {
  for e2e_file in "$E2E_BUILD"/demo/* "$E2E_DIR/snapshot/userdef.reg" "$E2E_LIB" "$@"; do
    [ -f "$E2E_DIR/installed/stamp" ] && [ ! "$e2e_file" -nt "$E2E_DIR/installed/stamp" ] || {
      echo "e2e: no installation saved after $e2e_file was made: the fresh scenario saves one" >&2
      return 1
    }
  done
  e2e_clear "$E2E_DIR/installed"
  cp -a "$E2E_DIR/installed/drive_c/." "$E2E_C/" && cp -a "$E2E_DIR/installed/home/." "$HOME/" &&
    e2e_copy_package "$E2E_BUILD/demo" || return 1
  e2e_start_server
}

# The prefix's server, its service manager (which starts the automatic services) and the
# keep-alive process.
e2e_start_server() {
  # One server for the whole run, so that no program starts just as an idle one shuts down.
  # Its output (and that of the service manager it starts) goes nowhere: a test runner must
  # not wait for them.
  wineserver -p </dev/null >/dev/null 2>&1
  e2e_keepalive_start
}

# e2e_copy_package FOLDER: the package's files into C:\OrvikSetup\ (replaced when there).
e2e_copy_package() {
  [ -f "$1/setup.Dat" ] && [ -f "$1/setup.exe" ] || {
    echo "e2e: no package in $1: scripts/build.sh all makes it" >&2
    return 1
  }
  mkdir -p "$(e2e_path "$E2E_SETUP_DIR")"
  cp "$1"/* "$(e2e_path "$E2E_SETUP_DIR")/"
}

# e2e_run PROGRAM [ARGS...]: runs a program of the prefix (a Windows path) in its own folder;
# E2E_EXIT gets its exit code (127: no such program), E2E_SECONDS its duration, E2E_OUTPUT its
# standard output file.
e2e_run() {
  e2e_program=$1
  shift
  E2E_OUTPUT=$E2E_DIR/output.txt
  e2e_started=$(date +%s)
  e2e_dir=$(e2e_path "$e2e_program")
  if [ ! -f "$e2e_dir" ]; then
    echo "e2e: no program $e2e_program" >&2
    E2E_EXIT=127 E2E_SECONDS=0
    return
  fi
  if (cd "$(dirname "$e2e_dir")" && e2e_wine "$e2e_program" "$@" </dev/null >"$E2E_OUTPUT" 2>"$E2E_DIR/stderr.txt"); then
    E2E_EXIT=0
  else
    E2E_EXIT=$?
  fi
  E2E_SECONDS=$(($(date +%s) - e2e_started))
}

# e2e_setup ARGS...: the package's setup.exe.
e2e_setup() {
  e2e_run "${E2E_SETUP_DIR}setup.exe" "$@"
}

# A process of the prefix that runs until e2e_keepalive_stop (e2e_reset starts it): Wine ends
# the running services when the last ordinary process of the prefix exits, and a later program
# would start its service manager again, which starts the automatic services anew: checks of
# services after setup.exe ended would see services that setup never started. It is the first
# program of the server and is waited for until it runs inside the prefix (it writes
# C:\e2e\keepalive.txt): a program started before then could find the service manager shutting
# down after an earlier program ended.
e2e_keepalive_start() {
  [ -z "$E2E_KEEPALIVE" ] || return 0
  e2e_marker=$E2E_C/e2e/keepalive.txt
  rm -f "$E2E_DIR/keepalive.pid" "$e2e_marker"
  sh -c 'echo $$ >"$1"; exec sleep 900' sh "$E2E_DIR/keepalive.pid" |
    wine cmd /c 'echo up>C:\e2e\keepalive.txt&pause' >/dev/null 2>&1 &
  E2E_KEEPALIVE=$!
  e2e_tries=0
  until { [ -s "$E2E_DIR/keepalive.pid" ] && [ -f "$e2e_marker" ]; } || [ $e2e_tries -ge 600 ]; do
    sleep 0.1
    e2e_tries=$((e2e_tries + 1))
  done
  [ -f "$e2e_marker" ] && kill -0 "$E2E_KEEPALIVE" 2>/dev/null || {
    echo "e2e: the keep-alive process did not start" >&2
    return 1
  }
}
e2e_keepalive_stop() {
  [ -n "$E2E_KEEPALIVE" ] || return 0
  kill "$E2E_KEEPALIVE" 2>/dev/null || true
  [ ! -s "$E2E_DIR/keepalive.pid" ] || kill "$(cat "$E2E_DIR/keepalive.pid")" 2>/dev/null || true
  wait "$E2E_KEEPALIVE" 2>/dev/null || true
  E2E_KEEPALIVE=
  E2E_FOLDERS=
}

# e2e_service_state NAME: RUNNING, STOPPED, ... or MISSING.
e2e_service_state() {
  e2e_wine sc query "$1" </dev/null 2>/dev/null | tr -d '\r' |
    awk '$1 == "STATE" { print $4; found = 1 } END { if (!found) print "MISSING" }'
}
# e2e_service_start_type NAME: 2 automatic, 3 manual, 4 disabled; empty for a missing service.
# e2e_service_path NAME: the executable path as configured. Both from the service manager's
# keys in the registry (Wine's sc has no "qc").
e2e_service_start_type() {
  e2e_type=$(e2e_reg "$E2E_SERVICES_KEY$1" Start)
  [ -z "$e2e_type" ] || printf '%d\n' "$e2e_type"
}
e2e_service_path() {
  e2e_reg "$E2E_SERVICES_KEY$1" ImagePath
}
# e2e_wait_state NAME STATE SECONDS: waits until the service is in that state.
e2e_wait_state() {
  e2e_end=$(($(date +%s) + $3))
  while [ "$(e2e_service_state "$1")" != "$2" ] && [ "$(date +%s)" -lt "$e2e_end" ]; do
    sleep 1
  done
}

# e2e_reg KEY NAME: the data of a registry value (REG_DWORD as 0x..), empty when missing; an
# empty NAME is the key's default value. e2e_reg_key KEY: true when the key exists.
e2e_reg() {
  if [ -n "$2" ]; then set -- "$1" "$2" /v "$2"; else set -- "$1" "(Default)" /ve; fi
  # Seen once under load: reg.exe printed nothing for a value that was there; a second query
  # answers.
  e2e_reg_output=$(e2e_wine reg query "$1" "$3" ${4:+"$4"} /reg:64 </dev/null 2>/dev/null) ||
    e2e_reg_output=$(e2e_wine reg query "$1" "$3" ${4:+"$4"} /reg:64 </dev/null 2>/dev/null)
  printf '%s\n' "$e2e_reg_output" | tr -d '\r' |
    awk -v name="$2" '{ line = $0; sub(/^    /, "", line); at = index(line, "    ")
        if (at && tolower(substr(line, 1, at - 1)) == tolower(name)) {
          line = substr(line, at + 4); sub(/^REG_[A-Z_]*    /, "", line); sub(/^REG_[A-Z_]*$/, "", line)
          print line; exit } }'
}
e2e_reg_key() {
  e2e_wine reg query "$1" /reg:64 </dev/null >/dev/null 2>&1
}

# The lines of a setup log without their time stamps.
e2e_log_lines() {
  tr -d '\r' <"$1" | sed 's/^[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9:]\{8\} //'
}

# --- checks: each prints one line; e2e_finish ends with 1 when one failed ---

e2e_pass() {
  printf 'ok   %s\n' "$1"
}
e2e_fail() {
  printf 'FAIL %s\n' "$1"
  E2E_FAILURES=$((E2E_FAILURES + 1))
}
# e2e_expect WHAT EXPECTED FOUND
e2e_expect() {
  if [ "$2" = "$3" ]; then e2e_pass "$1: $2"; else e2e_fail "$1: expected '$2', found '$3'"; fi
}
# e2e_expect_match WHAT PATTERN FOUND (an extended regular expression for the whole text)
e2e_expect_match() {
  if printf '%s\n' "$3" | grep -Eqx -- "$2"; then
    e2e_pass "$1: $3"
  else
    e2e_fail "$1: expected /$2/, found '$3'"
  fi
}
# e2e_expect_files WHAT PRESENT|ABSENT WINDOWS-FOLDER NAME...
e2e_expect_files() {
  e2e_what=$1 e2e_want=$2 e2e_folder=$3
  shift 3
  e2e_missing= e2e_present=
  for e2e_name in "$@"; do
    if [ -e "$(e2e_path "$e2e_folder$e2e_name")" ]; then
      e2e_present="$e2e_present $e2e_name"
    else
      e2e_missing="$e2e_missing $e2e_name"
    fi
  done
  if [ "$e2e_want" = PRESENT ] && [ -z "$e2e_missing" ]; then
    e2e_pass "$e2e_what: $# names present in $e2e_folder"
  elif [ "$e2e_want" = ABSENT ] && [ -z "$e2e_present" ]; then
    e2e_pass "$e2e_what: $# names absent from $e2e_folder"
  elif [ "$e2e_want" = PRESENT ]; then
    e2e_fail "$e2e_what: missing in $e2e_folder:$e2e_missing"
  else
    e2e_fail "$e2e_what: still in $e2e_folder:$e2e_present"
  fi
}
# e2e_expect_lines WHAT FILE LINE...: the lines appear in FILE in this order (others may lie
# between them).
e2e_expect_lines() {
  e2e_what=$1 e2e_file=$2
  shift 2
  printf '%s\n' "$@" >"$E2E_DIR/wanted.txt"
  if [ ! -f "$e2e_file" ]; then
    e2e_fail "$e2e_what: no file $e2e_file"
  elif e2e_first=$(awk 'NR == FNR { want[++n] = $0; next }
      { sub(/\r$/, "") }
      got < n && $0 == want[got + 1] { got++ }
      END { if (got < n) { print want[got + 1]; exit 1 } }' "$E2E_DIR/wanted.txt" "$e2e_file"); then
    e2e_pass "$e2e_what: $# lines in order"
  else
    e2e_fail "$e2e_what: no line '$e2e_first' in its place in $e2e_file"
  fi
}

e2e_finish() {
  e2e_stop_server
  if [ "$E2E_FAILURES" -gt 0 ]; then
    echo "$E2E_FAILURES check(s) failed"
    return 1
  fi
  echo "all checks passed"
}

# e2e_reg_values KEY: the key's values, one "name = data" a line.
e2e_reg_values() {
  e2e_wine reg query "$1" /reg:64 </dev/null 2>/dev/null | tr -d '\r' |
    awk '/^    [^ ]/ { line = substr($0, 5); at = index(line, "    "); name = substr(line, 1, at - 1)
      line = substr(line, at + 4); sub(/^REG_[A-Z_]*( |$)/, "", line); sub(/^   /, "", line)
      print name " = " line }'
}

# e2e_disable_service NAME: the service's start type becomes disabled, as after a restart of the
# machine (Wine's sc cannot change it): the prefix is stopped, its registry edited, started again.
e2e_disable_service() {
  e2e_stop_server
  E2E_REG_KEY="[System\\\\CurrentControlSet\\\\Services\\\\$1]" awk '
    /^\[/ { inside = index($0, ENVIRON["E2E_REG_KEY"]) == 1 }
    inside && /^"Start"=dword:/ { $0 = "\"Start\"=dword:00000004" }
    { print }' "$WINEPREFIX/system.reg" >"$WINEPREFIX/system.reg.new" &&
    mv "$WINEPREFIX/system.reg.new" "$WINEPREFIX/system.reg"
  e2e_start_server
}

# e2e_click_through SHOTS: runs the package's setup.exe with its windows on $DISPLAY and clicks
# through the installation and the first-run wizard with the GUI driver (the steps of
# click-through.txt beside this library); the PNG of every page goes to the folder SHOTS.
# E2E_EXIT gets setup.exe's exit code, E2E_DRIVEN the driver's (its output in
# BUILD/e2e/driver.txt), E2E_SECONDS the time of the whole. Every step of the driver is bounded;
# when one fails, setup.exe is ended.
e2e_click_through() {
  e2e_started=$(date +%s)
  rm -rf "$E2E_C/e2e/shots" "$1"
  mkdir -p "$E2E_C/e2e/shots" "$1"
  cp "$(dirname "$E2E_LIB")/click-through.txt" "$E2E_C/e2e/"
  (cd "$(e2e_path "$E2E_SETUP_DIR")" &&
    exec timeout "${E2E_TIMEOUT:-300}" wine "${E2E_SETUP_DIR}setup.exe" </dev/null \
      >"$E2E_DIR/output.txt" 2>"$E2E_DIR/stderr.txt") &
  e2e_setup_pid=$!
  if e2e_wine "$E2E_BUILD/tests/gui_driver.exe" -t 120 -f 'C:\e2e\click-through.txt' \
    </dev/null >"$E2E_DIR/driver.txt" 2>&1; then
    E2E_DRIVEN=0
  else
    E2E_DRIVEN=$?
    kill "$e2e_setup_pid" 2>/dev/null || true
  fi
  if wait "$e2e_setup_pid"; then E2E_EXIT=0; else E2E_EXIT=$?; fi
  cp "$E2E_C/e2e/shots/"*.png "$1/" 2>/dev/null || true
  E2E_SECONDS=$(($(date +%s) - e2e_started))
}
