#!/bin/sh
# The end-to-end scenarios: the demo package installed, upgraded and removed by setup.exe under
# Wine, in the prefix of tests/e2e/lib.sh, checked through the registry, the service manager, the
# files and the logs of the module stand-ins. Each scenario starts from the prefix as created, or,
# when it builds on an installation (uninstall, upgrade, interrupted, move, deselect), from the
# one the fresh scenario saved once its checks passed.
# Usage: scenario.sh BUILD NAME
#   BUILD  the Windows build tree (with demo/ and demo-damaged/ from scripts/build.sh)
#   NAME   prefix (creates the prefix when missing or older than lib.sh), fresh, upgrade,
#          interrupted, move, uninstall, command-line, failures, rollback, deselect, first-run or gui (the wizard's windows
#          clicked through; screenshots of its pages in BUILD/e2e/shots/)
#   E2E_PACKAGE  another package to install than BUILD/demo (the large package of
#          bench/install_bench.sh, for the wizard's figures with many files)
# Exit status 0 when every check passed.
E2E_LIB=$(cd "$(dirname "$0")" && pwd)/lib.sh
. "$E2E_LIB"
[ $# -eq 2 ] || {
  sed -n '/^# Usage:/,/^# Exit status/p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
# Some scenarios start a module as a desktop program, which needs a display; the click-through
# gets one of its own in true colour, for its screenshots.
if [ -z "${DISPLAY:-}" ] || { [ "$2" = gui ] && [ -z "${E2E_OWN_DISPLAY:-}" ]; }; then
  export E2E_OWN_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
e2e_init "$1"
SCENARIO=$2
E2E_FOLDERS='C:\OrvikMoved\'
MOVED='C:\OrvikMoved\'
trap e2e_stop_server EXIT

# --- what an installation holds ---

# The module stand-ins, their services and their display names, one line each.
MODULES='smtp OrvikSMTP Orvik SMTP
pop3 OrvikPOP3 Orvik POP3 / IMAP
control OrvikControl Orvik Control / Web / FTP
im OrvikIM Orvik IM / VoIP
cal OrvikCalendar Orvik GroupWare Server'

PROGRAM_FILES='smtp.exe pop3.exe control.exe config.exe dnsquery.exe tool.exe sendmail.exe api.dll
  libeay32.dll libssl32.dll db.dll regex.dll sqlite3.dll kestruncom.dll im.exe cal.exe'
TREES='doc wizards modules html api tutorial examples xml php avast'
LINKS='Orvik Mail Server Administration.lnk
Orvik Mail Server Readme.lnk
Orvik Mail Server Help.lnk
DNS Query Tool.lnk
Orvik Mail Server Tutorial.lnk
Uninstall Orvik Mail Server.lnk
Kestrun WebMail Documentation.lnk
Orvik Mail Server Web Mail.lnk
Orvik Mail Server Web Administration.lnk'
DESKTOP_LINK="$HOME/Orvik Mail Server Administration.lnk"
# Files an upgrade must leave as they are (an administrator edits them).
KEPT='config\cert.pem config\webserver.dat spam\challenge.mdb spam\rules\local.cf
  calendar\calendar.mdb webmail\config\settings.dat ldap\slapd.conf'

# The settings.cfg record is stored XORed with the 16-byte key of the server's file formats.
KEY='90 195 23 142 41 244 107 208 51 156 71 225 13 184 114 165'
# settings_bytes FILE OFFSET COUNT: the plain bytes there, in decimal, one a line.
settings_bytes() {
  od -An -tu1 -v -j "$2" -N "$3" "$1" 2>/dev/null | awk -v at="$2" -v key="$KEY" '
    function xor(a, b,   r, bit) {
      r = 0
      for (bit = 1; bit < 256; bit *= 2) if (int(a / bit) % 2 != int(b / bit) % 2) r += bit
      return r
    }
    BEGIN { split(key, k, " ") }
    { for (i = 1; i <= NF; i++) { print xor($i, k[at % 16 + 1]); at++ } }'
}
# settings_u32 FILE OFFSET: a 32-bit little-endian value; settings_text FILE OFFSET: a string with
# a length byte.
settings_u32() {
  settings_bytes "$1" "$2" 4 | awk '{ v += $1 * m; m *= 256 } BEGIN { m = 1 } END { print v }'
}
settings_text() {
  n=$(settings_bytes "$1" "$2" 1)
  [ "${n:-0}" -gt 0 ] && settings_bytes "$1" $(($2 + 1)) "$n" | awk '{ printf "%c", $1 }'
}
# settings_put FILE OFFSET BYTE...: writes plain bytes.
settings_put() {
  file=$1 at=$2
  shift 2
  for plain in "$@"; do
    stored=$(od -An -tu1 -j"$at" -N1 "$file" | tr -d ' ')
    old=$(settings_bytes "$file" "$at" 1)
    printf "\\$(printf '%03o' $((stored ^ old ^ plain)))" |
      dd of="$file" bs=1 seek="$at" conv=notrunc 2>/dev/null
    at=$((at + 1))
  done
}
settings_put_u32() {
  settings_put "$1" "$2" $(($3 & 255)) $(($3 >> 8 & 255)) $(($3 >> 16 & 255)) $(($3 >> 24 & 255))
}

# The 20-byte pipe message of a module command (message 0x500), as the stand-ins log it.
pipe_message() {
  printf 'pipe 0010000000050000'
  for value in "$1" "$2"; do
    printf '%02x%02x%02x%02x' $((value & 255)) $((value >> 8 & 255)) $((value >> 16 & 255)) \
      $((value >> 24 & 255))
  done
  printf '00000000\n'
}

need_free_port_25() {
  if ss -ltn | awk '{ print $4 }' | grep -q '[:.]25$'; then
    echo "port 25 is taken by another program: the scenario needs it for the demo message"
    exit 1
  fi
}

install() {
  e2e_setup /VERYSILENT "$@"
  printf "setup.exe /VERYSILENT %s: exit code %s after %ss\n" "$*" "$E2E_EXIT" "$E2E_SECONDS"
  [ "$E2E_EXIT" = 0 ] || explain_exit
}

# What a run that did not end with 0 answered and what the modules of the default folder logged
# about their starts, so that a failure under load can be told apart afterwards.
explain_exit() {
  explained=$(e2e_path "$E2E_INSTALL")
  [ ! -f "$explained/logs/setup/setup.log" ] ||
    e2e_log_lines "$explained/logs/setup/setup.log" | grep -E '^(Message|Error)' | tail -n 5 | sed 's/^/  /'
  for exe in smtp pop3 control im cal; do
    [ ! -f "$explained/$exe.exe.log" ] ||
      grep -E '^(start|exit|stop|smtp)' "$explained/$exe.exe.log" | tail -n 3 | sed "s/^/  $exe.exe: /"
  done
}

# The installation a scenario builds on: the scenario ends here when there is none.
install_first() {
  install
  e2e_expect "exit code of the first installation" "${EXPECTED_EXIT:-0}" "$E2E_EXIT"
  [ -f "$(e2e_path "${E2E_INSTALL}config\\settings.cfg")" ] && return
  e2e_fail "the first installation left no configuration: nothing to build on"
  echo "scenario $SCENARIO took $(($(date +%s) - scenario_started))s"
  e2e_finish
  exit 1
}

# The installation the fresh scenario saved, its services running again: what a scenario that
# builds on it relies on is checked; the scenario ends here when there is none.
start_installed() {
  e2e_stop_server
  need_free_port_25
  e2e_restore_installed "$0" || exit 1
  for service in $E2E_SERVICES; do
    e2e_wait_state "$service" RUNNING 30
  done
  check_services "$E2E_INSTALL"
  e2e_expect "product Version of the installation" 8.9.1 "$(e2e_reg "$E2E_PRODUCT_KEY" Version)"
  e2e_expect_files "configuration of the installation" PRESENT "$E2E_INSTALL" config\\settings.cfg
}

# check_services DIR [NAME...]: the services run from DIR, automatic, with quoted paths; the
# modules named (the executable's base name) are left out.
check_services() {
  dir=$1
  shift
  while read -r exe service display; do
    case " $* " in *" $exe "*) continue ;; esac
    e2e_expect "$service state" RUNNING "$(e2e_service_state "$service")"
    e2e_expect "$service start type" 2 "$(e2e_service_start_type "$service")"
    e2e_expect "$service path" "\"$dir$exe.exe\"" "$(e2e_service_path "$service")"
  done <<EOF
$MODULES
EOF
}

# The link's target (stored as text) and arguments (stored as UTF-16) appear in the file.
check_link() {
  file=$1 target=$2 arguments=$3
  if [ ! -f "$file" ]; then
    e2e_fail "link $file missing"
  elif ! grep -qaF -- "$target" "$file"; then
    e2e_fail "link $(basename "$file") does not point to $target"
  elif [ -n "$arguments" ] && ! tr -d '\000' <"$file" | grep -qaF -- "$arguments"; then
    e2e_fail "link $(basename "$file") lacks the arguments $arguments"
  else
    e2e_pass "link $(basename "$file"): $target $arguments"
  fi
}

# Everything a fresh installation into DIR of all components leaves.
check_fresh_installation() {
  dir=$1 root=$(e2e_path "$1")
  if [ ! -d "$root" ]; then
    e2e_fail "no installation in $dir"
    return
  fi
  e2e_expect_files "program files" PRESENT "$dir" $PROGRAM_FILES setup.exe control.exe.local
  for program in testbed/modules/smtp.exe testbed/modules/cal.exe testbed/api.dll demo/setup.exe; do
    e2e_expect "$(basename "$program") as built" same \
      "$(cmp -s "$E2E_BUILD/$program" "$root/$(basename "$program")" && echo same || echo different)"
  done
  e2e_expect_files "component data" PRESENT "$dir" doc\\manual.chm doc\\readme.txt \
    doc\\license.txt doc\\releasenotes.txt xml\\info.xml xml\\basic.xml html\\index.html \
    html\\mail\\index.html html\\mail\\help\\index.htm webmail\\scripts\\mail.js \
    modules\\wcs.dll wizards\\domain.xml spam\\challenge.mdb spam\\rules\\local.cf \
    spam\\rules\\10_base.cf spam\\template\\challenge.html calendar\\calendar.mdb \
    calendar\\holidays\\holidays.xml api\\readme.txt tutorial\\index.html \
    examples\\example.txt ldap\\slapd.conf php\\php.dll other.txt avast\\setup\\setiface.dll \
    config\\cert.pem config\\webserver.dat config\\settings.cfg config\\domains.cfg \
    config\\license.key config\\tags.dat config\\footervalue.txt logs\\setup\\setup.log
  e2e_expect "web mail settings with the path" "Root=${dir}webmail\\" \
    "$(tr -d '\r' <"$root/webmail/config/settings.dat" | grep '^Root=')"
  e2e_expect "footer text" "Sent through the Orvik Mail Server demo." \
    "$(tr -d '\r' <"$root/config/footervalue.txt")"

  check_services "$dir"

  e2e_expect "product Version" 8.9.1 "$(e2e_reg "$E2E_PRODUCT_KEY" Version)"
  e2e_expect "product InstallDir" "$dir" "$(e2e_reg "$E2E_PRODUCT_KEY" InstallDir)"
  for flag in NoInstallMail NoInstallControl NoInstallIAS NoInstallAV NoInstallCalendar \
    NoInstallIM; do
    e2e_expect "product $flag" 0x0 "$(e2e_reg "$E2E_PRODUCT_KEY" "$flag")"
  done
  while read -r name value; do
    e2e_expect "uninstall entry $name" "$value" "$(e2e_reg "$E2E_UNINSTALL_KEY" "$name")"
  done <<EOF
DisplayName Orvik Mail Server 8.9.1
UninstallString "${dir}setup.exe" /UNINSTALL
DisplayIcon ${dir}config.exe
DisplayVersion 8.9.1
InstallLocation $dir
NoModify 1
NoRepair 1
Publisher Kestrun
EOF
  e2e_expect_match "uninstall entry URLInfoAbout" 'https?://.+' \
    "$(e2e_reg "$E2E_UNINSTALL_KEY" URLInfoAbout)"

  e2e_expect "program group" "$LINKS" "$(cd "$E2E_GROUP" 2>/dev/null && echo "$LINKS" |
    while read -r link; do [ -f "$link" ] && echo "$link"; done)"
  e2e_expect "links in the program group" 9 "$(find "$E2E_GROUP" -name '*.lnk' | wc -l)"
  check_link "$E2E_GROUP/Orvik Mail Server Administration.lnk" "${dir}config.exe"
  check_link "$E2E_GROUP/Uninstall Orvik Mail Server.lnk" "${dir}setup.exe" /UNINSTALL
  check_link "$E2E_GROUP/Orvik Mail Server Web Mail.lnk" "${dir}setup.exe" /WEBMAILLOGON
  check_link "$E2E_GROUP/Orvik Mail Server Web Administration.lnk" "${dir}setup.exe" \
    /WEBADMINLOGON

  settings=$root/config/settings.cfg
  for field in "256 temp" "512 mail" "768 logs"; do
    e2e_expect "settings at ${field% *}" "$dir${field#* }\\" \
      "$(settings_text "$settings" "${field% *}")"
  done
  e2e_expect "settings footer switch" 1 "$(settings_bytes "$settings" 1463 1)"
  e2e_expect_match "settings console file" '(basic|advanced)\.xml' \
    "$(settings_text "$settings" 21428)"

  e2e_expect_lines "demo message" "$root/smtp.exe.eml" "Subject: Demonstration message" \
    "From: user@demo.orvik.example" "To: admin@demo.orvik.example"
  e2e_expect_match "demo message received" \
    'smtp from=user@demo\.orvik\.example to=admin@demo\.orvik\.example bytes=[1-9][0-9]*' \
    "$(grep '^smtp from=' "$root/smtp.exe.log" 2>/dev/null | tr -d '\r')"

  e2e_log_lines "$root/logs/setup/setup.log" >"$E2E_DIR/setup-log.txt"
  # The staging folder carries the run's identity.
  staging=$(sed -n 's/^Data file extracted to "\(.*\)"$/\1/p' "$E2E_DIR/setup-log.txt" | tail -n 1)
  e2e_expect_match "staging folder" "$(printf '%s' "$dir" | sed 's/[\\.]/\\&/g')~orvik-staging-[0-9a-f]{8}\\\\" \
    "$staging"
  e2e_expect_lines "setup.log" "$E2E_DIR/setup-log.txt" \
    "Started \"Orvik Mail Server\" 8.9.1 \"$dir\"" \
    "Installation folder protected: owner Administrators, SYSTEM and Administrators full control, Users read and execute" \
    "Data file extracted to \"$staging\"" \
    "Checking running services" "Services stopped" \
    "Copying files..." "Copying files done" "Creating demo accounts" "Installing services" \
    "Extracted data deleted \"$staging\"" "Starting services" "Finished" ""
  e2e_expect "setup.log errors" "" "$(grep -i '^error' "$E2E_DIR/setup-log.txt")"
  e2e_expect "setup.log upgrade lines" "" "$(grep '^Running upgrade' "$E2E_DIR/setup-log.txt")"
  e2e_expect "setup's own folders left" "" "$(own_folders "$root")"
}

# The folders of setup's own runs left in an installation folder.
own_folders() {
  (cd "$1" && find . -maxdepth 1 -name '~orvik-*' | sort | tr '\n' ' ')
}

# check_startups WHAT: the file the uninstall scenario put in each Startup folder is there.
check_startups() {
  for startup in "$startup_common" "$startup_user"; do
    e2e_expect_files "$1" PRESENT "$startup/" keep.txt
  done
}

# Sets an installation up as an older one would have left it.
age_installation() {
  e2e_wine reg add "$E2E_PRODUCT_KEY" /reg:64 /v Version /d "$1" /f </dev/null >/dev/null 2>&1
}

# --- the scenarios ---

scenario_prefix() {
  e2e_prefix_current || e2e_create_prefix || exit 1
  # The harness on its own: a stand-in service as the queries see it, and gone after a reset.
  e2e_reset || exit 1
  e2e_expect "keep-alive process" running "$(kill -0 "$E2E_KEEPALIVE" 2>/dev/null && echo running)"
  mkdir -p "$(e2e_path "$E2E_INSTALL")"
  cp "$E2E_BUILD/testbed/modules/pop3.exe" "$(e2e_path "$E2E_INSTALL")/"
  e2e_wine sc create OrvikPOP3 binPath= "\"${E2E_INSTALL}pop3.exe\"" start= demand \
    </dev/null >/dev/null 2>&1
  e2e_wine sc start OrvikPOP3 </dev/null >/dev/null 2>&1
  e2e_wait_state OrvikPOP3 RUNNING 20
  e2e_expect "stand-in service state" RUNNING "$(e2e_service_state OrvikPOP3)"
  e2e_expect "stand-in service start type" 3 "$(e2e_service_start_type OrvikPOP3)"
  e2e_expect "stand-in service path" "\"${E2E_INSTALL}pop3.exe\"" "$(e2e_service_path OrvikPOP3)"
  e2e_reset || exit 1
  e2e_expect "stand-in service after the reset" MISSING "$(e2e_service_state OrvikPOP3)"
  e2e_expect_files "installation folder after the reset" ABSENT 'C:\Program Files\' Orvik
  e2e_expect "browser of the prefix" '"C:\e2e\browser.exe" "%1"' \
    "$(e2e_reg 'HKCR\http\shell\open\command' '')"
  e2e_expect "product key of the prefix" no "$(e2e_reg_key "$E2E_PRODUCT_KEY" && echo yes || echo no)"
}

scenario_fresh() {
  rm -rf "$E2E_DIR/installed"
  e2e_reset || exit 1
  need_free_port_25
  install '/LOG=C:\e2e\install.log'
  e2e_expect "exit code" 0 "$E2E_EXIT"
  check_fresh_installation "$E2E_INSTALL"
  e2e_expect_files "desktop link" PRESENT "$HOME/" "Orvik Mail Server Administration.lnk"
  check_link "$DESKTOP_LINK" "${E2E_INSTALL}config.exe"
  e2e_log_lines "$E2E_C/e2e/install.log" >"$E2E_DIR/copy-log.txt"
  e2e_expect "/LOG= copy of the setup log" "" \
    "$(diff "$E2E_DIR/setup-log.txt" "$E2E_DIR/copy-log.txt" 2>&1)"
  [ "$E2E_FAILURES" -gt 0 ] || e2e_save_installed || e2e_fail "the installation could not be saved"
}

scenario_uninstall() {
  start_installed
  e2e_expect_files "desktop link of the installation" PRESENT "$HOME/" \
    "Orvik Mail Server Administration.lnk"
  root=$(e2e_path "$E2E_INSTALL")
  kept=
  for folder in config mail logs temp; do
    [ -d "$root/$folder" ] && kept="$kept $folder"
  done

  # The package's own setup.exe does not belong to the installation.
  e2e_setup /UNINSTALL /VERYSILENT
  echo "setup.exe /UNINSTALL /VERYSILENT from the package folder: exit code $E2E_EXIT"
  check_services "$E2E_INSTALL"
  e2e_expect_files "program files after a foreign uninstall" PRESENT "$E2E_INSTALL" \
    $PROGRAM_FILES $TREES
  e2e_expect "uninstall entry after a foreign uninstall" yes \
    "$(e2e_reg_key "$E2E_UNINSTALL_KEY" && echo yes)"
  e2e_expect "links after a foreign uninstall" 9 "$(find "$E2E_GROUP" -name '*.lnk' | wc -l)"

  # A translation that names the program group "Startup", installed over the installation (which
  # keeps the package's setup.lng for its uninstall): the group keeps its English name, and the
  # Startup folders keep what is in them through the install and the uninstall.
  startup_common=$(e2e_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Startup')
  startup_user="$E2E_USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"
  for startup in "$startup_common" "$startup_user"; do
    mkdir -p "$startup" && printf 'kept\r\n' >"$startup/keep.txt"
  done
  printf '<APPLICATION><STRINGS><STRING ID="TStrings"><ITEM ID="cName" VALUE="Startup"/></STRING></STRINGS></APPLICATION>' \
    >"$(e2e_path "${E2E_SETUP_DIR}setup.lng")"
  install
  e2e_expect "exit code of an installation with a group named Startup" 0 "$E2E_EXIT"
  check_startups "Startup folder after an installation with a group named Startup"
  e2e_expect_match "setup.log of a group named \"Startup\"" \
    '.*"Startup" names the folder .*\\Startup\\", which setup did not make.*' \
    "$(e2e_log_lines "$root/logs/setup/setup.log" | grep -m 1 'names the folder')"
  e2e_expect "links of the group named Startup by its translation" 9 \
    "$(find "$E2E_GROUP" -name '*.lnk' | wc -l)"

  e2e_run "${E2E_INSTALL}setup.exe" /UNINSTALL /VERYSILENT
  echo "installed setup.exe /UNINSTALL /VERYSILENT: exit code $E2E_EXIT after ${E2E_SECONDS}s"
  e2e_expect "exit code of the uninstall" 0 "$E2E_EXIT"
  for service in $E2E_SERVICES; do
    e2e_expect "$service after the uninstall" MISSING "$(e2e_service_state "$service")"
  done
  e2e_expect_files "program files after the uninstall" ABSENT "$E2E_INSTALL" $PROGRAM_FILES \
    $TREES spam\\template spam\\rules\\10_base.cf
  e2e_expect_files "program group after the uninstall" ABSENT 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\' \
    "Orvik Mail Server"
  e2e_expect_files "desktop link after the uninstall" ABSENT "$HOME/" \
    "Orvik Mail Server Administration.lnk"
  e2e_expect "uninstall entry after the uninstall" no \
    "$(e2e_reg_key "$E2E_UNINSTALL_KEY" && echo yes || echo no)"
  e2e_expect_files "data after the uninstall" PRESENT "$E2E_INSTALL" $kept setup.exe \
    config\\settings.cfg spam\\challenge.mdb spam\\rules\\local.cf
  e2e_expect "product key after the uninstall" 8.9.1 "$(e2e_reg "$E2E_PRODUCT_KEY" Version)"
  check_startups "Startup folder after the uninstall with a group named Startup"
  rm -f "$startup_common/keep.txt" "$startup_user/keep.txt"
}

scenario_command_line() {
  e2e_reset || exit 1
  # Without /VERYSILENT the text also comes in a box that waits for OK.
  E2E_TIMEOUT=60 e2e_setup '/?' /VERYSILENT
  e2e_expect "exit code of /? /VERYSILENT" 0 "$E2E_EXIT"
  e2e_expect "switches missing in the text of /?" "" "$(for word in /VERYSILENT /DIR= \
    /COMPONENTS= /NOICONS /LOG= /UNINSTALL /WEBMAILLOGON /WEBADMINLOGON /SUPPRESSMSGBOXES \
    /NORESTART /SP- /CLOSEAPPLICATIONS; do
    grep -qF -- "$word" "$E2E_OUTPUT" || printf ' %s' "$word"
  done)"
  # A first argument that is no mode ends at once; an unattended line that cannot be followed
  # ends with 2. Neither touches the machine.
  while read -r code arguments; do
    eval "set -- $arguments"
    e2e_setup "$@"
    e2e_expect "exit code of $arguments" "$code" "$E2E_EXIT"
    e2e_expect_match "time of $arguments" '[0-9]|[1-5][0-9]' "$E2E_SECONDS"
    e2e_expect_files "installation after $arguments" ABSENT 'C:\Program Files\' Orvik
    e2e_expect "product key after $arguments" no \
      "$(e2e_reg_key "$E2E_PRODUCT_KEY" && echo yes || echo no)"
  done <<'EOF'
0 /NOSUCHMODE
2 /VERYSILENT /COMPONENTS=mail,bogus
2 /VERYSILENT /COMPONENTS=
2 /VERYSILENT /DIR=
2 /VERYSILENT /LOG=
2 /VERYSILENT /FROBNICATE
EOF
  # Wine reads the arguments in the locale's character set: in UTF-8 the full-width quote
  # arrives as itself, which the ANSI code page cannot hold. A best-fit conversion made it a
  # real quote, joining "/NOICONS" to the folder.
  code=$(export LC_ALL=C.UTF-8; e2e_setup /VERYSILENT '/DIR=C:\Orvik＂' /NOICONS; echo "$E2E_EXIT")
  e2e_expect "exit code of a switch with a full-width quote" 2 "$code"
  e2e_expect "line of a switch with a full-width quote" 1 "$(grep -c 'no place in the code page' "$E2E_OUTPUT")"
  e2e_expect_files "installation after a switch with a full-width quote" ABSENT 'C:\' Orvik
  # Without a display no question can be seen: what would ask ends with 4 and one line on
  # standard error that says to use /VERYSILENT.
  display=$DISPLAY
  unset DISPLAY
  for mode in /SILENT /UNINSTALL; do
    e2e_setup $mode
    e2e_expect "exit code of $mode without a display" 4 "$E2E_EXIT"
    e2e_expect "line on standard error of $mode without a display" 1 \
      "$(grep -c 'use /VERYSILENT' "$E2E_DIR/stderr.txt")"
  done
  export DISPLAY="$display"
  e2e_expect_files "installation after runs without a display" ABSENT 'C:\Program Files\' Orvik

  refused_destinations

  # A translation that names the program group "." gets the English name; the Programs folder
  # around it stays.
  programs='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\'
  printf 'kept\r\n' >"$(e2e_path "${programs}keep.txt")"
  printf '<APPLICATION><STRINGS><STRING ID="TStrings"><ITEM ID="cName" VALUE="."/></STRING></STRINGS></APPLICATION>' \
    >"$(e2e_path "${E2E_SETUP_DIR}setup.lng")"
  need_free_port_25
  # With the switches deployment tools add.
  install '/DIR=C:\OrvikMoved' /NOICONS /COMPONENTS=mail,control,antispam,antivirus,groupware,im \
    /SUPPRESSMSGBOXES /NORESTART /SP- /CLOSEAPPLICATIONS
  e2e_expect "exit code of /DIR= /NOICONS and the deployment tools' switches" 0 "$E2E_EXIT"
  e2e_expect_files "Programs folder after a group named \".\"" PRESENT "$programs" keep.txt
  e2e_expect_match "setup.log of a group named \".\"" '.*"\." cannot name a folder.*' \
    "$(e2e_log_lines "$(e2e_path "${MOVED}logs\\setup\\setup.log")" | grep -m 1 'cannot name a folder')"
  rm -f "$(e2e_path "${programs}keep.txt")" "$(e2e_path "${E2E_SETUP_DIR}setup.lng")"
  e2e_expect "InstallDir of /DIR=" "$MOVED" "$(e2e_reg "$E2E_PRODUCT_KEY" InstallDir)"
  check_services "$MOVED"
  e2e_expect_files "desktop link with /NOICONS" ABSENT "$HOME/" \
    "Orvik Mail Server Administration.lnk"
  e2e_expect "links in the group with /NOICONS" 9 "$(find "$E2E_GROUP" -name '*.lnk' | wc -l)"

  # The shell starts the browser (the recorder) on its own: its line comes a little later.
  for page in WEBMAIL:mail WEBADMIN:admin; do
    e2e_run "${MOVED}setup.exe" "/${page%:*}LOGON"
    e2e_expect "exit code of /${page%:*}LOGON" 0 "$E2E_EXIT"
    wait_for_line "$E2E_C/e2e/browser.exe.log" "/${page#*:}/" 30
    e2e_expect_match "address opened by /${page%:*}LOGON" \
      "\"C:\\\\e2e\\\\browser\\.exe\" \"?http://[^/:]+:32000/${page#*:}/\"?.*" \
      "$(tr -d '\r' <"$E2E_C/e2e/browser.exe.log" 2>/dev/null | grep -F "/${page#*:}/")"
  done
}

scenario_move() {
  start_installed
  age_installation 8.5.3
  install "/DIR=$MOVED"
  e2e_expect "exit code of the installation into another folder" 0 "$E2E_EXIT"
  check_fresh_installation "$MOVED"
  e2e_expect_files "the first installation" PRESENT "$E2E_INSTALL" config\\settings.cfg
  # Only the finishing step's word to Control (3), no upgrade commands.
  for exe in smtp pop3 control im cal; do
    e2e_expect "commands to $exe.exe in the new folder" \
      "$([ $exe = control ] && pipe_message 3 0)" "$(grep '^pipe' "$(e2e_path "$MOVED$exe.exe.log")")"
  done
}

scenario_upgrade() {
  start_installed
  root=$(e2e_path "$E2E_INSTALL")
  # Aged: version 8.5.3, IM disabled and stopped, edited files, settings of the old units.
  age_installation 8.5.3
  e2e_wine sc stop OrvikIM </dev/null >/dev/null 2>&1
  e2e_disable_service OrvikIM
  e2e_wait_state OrvikIM STOPPED 20
  for file in $KEPT spam\\rules\\10_base.cf tool.exe; do
    printf 'edited by the administrator\r\n' >>"$(e2e_path "$E2E_INSTALL$file")"
  done
  chmod a-w "$root/tool.exe"
  (cd "$root" && sha256sum $(printf '%s\n' "$KEPT" | tr '\\' /)) >"$E2E_DIR/kept.sha256"
  settings=$root/config/settings.cfg
  settings_put_u32 "$settings" 7012 5
  settings_put_u32 "$settings" 7016 2
  settings_put_u32 "$settings" 28059 3
  settings_put "$settings" 1476 0
  settings_put_u32 "$settings" 22136 0
  for exe in smtp pop3 control im cal; do
    wc -l <"$root/$exe.exe.log" >"$E2E_DIR/$exe.lines"
  done
  # control.exe serves the web administration on a free port; once it runs again, that port
  # goes into the settings (offset 1036), which the upgrade reads for task 26 two seconds or
  # more later.
  printf 'web-admin\r\n' >"$root/control.exe.behaviour"
  (
    end=$(($(date +%s) + 200))
    until port=$(tail -n +$(($(cat "$E2E_DIR/control.lines") + 1)) "$root/control.exe.log" |
      sed -n 's/^web-admin port=\([0-9]*\).*/\1/p' | head -n 1) && [ -n "$port" ] ||
      [ "$(date +%s)" -ge "$end" ]; do
      sleep 0.2
    done
    [ -z "$port" ] || settings_put "$settings" 1036 $((port & 255)) $((port >> 8))
  ) &
  watcher=$!

  install
  wait "$watcher"
  rm -f "$root/control.exe.behaviour"
  e2e_expect "exit code of the upgrade" 0 "$E2E_EXIT"
  e2e_expect "product Version after the upgrade" 8.9.1 "$(e2e_reg "$E2E_PRODUCT_KEY" Version)"
  (cd "$root" && sha256sum -c --quiet "$E2E_DIR/kept.sha256" >"$E2E_DIR/kept.txt" 2>&1) &&
    e2e_pass "kept files byte for byte" || e2e_fail "kept files changed: $(cat "$E2E_DIR/kept.txt")"
  for file in tool.exe spam/rules/10_base.cf; do
    grep -q 'edited by the administrator' "$root/$file" && e2e_fail "$file not replaced" ||
      e2e_pass "$file replaced"
  done
  check_services "$E2E_INSTALL" im
  e2e_expect "OrvikIM start type" 4 "$(e2e_service_start_type OrvikIM)"
  e2e_expect "OrvikIM state" STOPPED "$(e2e_service_state OrvikIM)"

  # Tasks 19 to 26 of 8.5.3: every one of the 26 version tests tells the running modules to
  # reload (0x101); task 19 is GroupWare's step 20, tasks 20 and 21 SMTP's steps 21 and 22.
  reload=$(pipe_message 257 0)
  expected_messages() {
    i=1
    while [ $i -le 26 ]; do
      echo "$reload"
      case "$1:$i" in
      cal:19) pipe_message 3845 20 ;;
      smtp:20) pipe_message 2 21 ;;
      smtp:21) pipe_message 2 22 ;;
      esac
      i=$((i + 1))
    done
    [ "$1" != control ] || pipe_message 3 0
  }
  for exe in smtp pop3 control cal; do
    e2e_expect "commands to $exe.exe" "$(expected_messages $exe)" \
      "$(tail -n +$(($(cat "$E2E_DIR/$exe.lines") + 1)) "$root/$exe.exe.log" | tr -d '\r' |
        grep '^pipe')"
  done
  e2e_expect "commands to the disabled im.exe" "" \
    "$(tail -n +$(($(cat "$E2E_DIR/im.lines") + 1)) "$root/im.exe.log" | grep '^pipe')"
  e2e_expect "settings 7012 (task 23)" 300 "$(settings_u32 "$settings" 7012)"
  e2e_expect "settings 7016 (task 23)" 2880 "$(settings_u32 "$settings" 7016)"
  e2e_expect "settings 28059 (task 24)" 3072 "$(settings_u32 "$settings" 28059)"
  e2e_expect "settings 1476 (task 25)" 3 "$(settings_bytes "$settings" 1476 1)"
  e2e_expect "settings 22136 (task 25)" 1 "$(settings_u32 "$settings" 22136)"
  e2e_expect_match "task 26 at control.exe" \
    'http GET /admin/tools/convert_imap_rules\.html HTTP/1\.[01] host=[^ ]+' \
    "$(tr -d '\r' <"$root/control.exe.log" | grep '^http ')"
  e2e_expect "demo messages" 1 "$(grep -c '^smtp from=' "$root/smtp.exe.log")"

  e2e_log_lines "$root/logs/setup/setup.log" >"$E2E_DIR/setup-log.txt"
  start_line="Started \"Orvik Mail Server\" 8.9.1 \"$E2E_INSTALL\""
  e2e_expect_lines "setup.log of both runs" "$E2E_DIR/setup-log.txt" "$start_line" \
    "Creating demo accounts" "Finished" "$start_line" "Services stopped" "Copying files done" \
    "Installing services" "Starting services" "Running upgrade procedures 8.5.3 -> 8.9.1" \
    "Finished"
  e2e_expect "demo accounts created" 1 "$(grep -c '^Creating demo accounts$' "$E2E_DIR/setup-log.txt")"
}

# An upgrade killed while its last conversion (task 26) waits for the web administration, a
# peer that accepts and never answers, then run again: each value is converted exactly once.
scenario_interrupted() {
  start_installed
  root=$(e2e_path "$E2E_INSTALL")
  settings=$root/config/settings.cfg
  age_installation 8.5.3
  settings_put_u32 "$settings" 7012 5
  settings_put_u32 "$settings" 7016 2
  settings_put_u32 "$settings" 28059 3
  rm -f "$E2E_DIR/silent.port" "$E2E_DIR/silent.log"
  timeout 300 python3 -c '
import socket, sys
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(4)
open(sys.argv[1], "w").write("%d\n" % listener.getsockname()[1])
held = []
while True:
    held.append(listener.accept()[0])
    open(sys.argv[2], "a").write("accepted\n")
' "$E2E_DIR/silent.port" "$E2E_DIR/silent.log" &
  silent=$!
  wait_for_line "$E2E_DIR/silent.port" "" 20
  port=$(cat "$E2E_DIR/silent.port")
  settings_put "$settings" 1036 $((port & 255)) $((port >> 8))

  lines=$(setup_log | wc -l)
  (cd "$(e2e_path "$E2E_SETUP_DIR")" &&
    exec timeout 300 wine setup.exe /VERYSILENT </dev/null >/dev/null 2>&1) &
  run=$!
  wait_for_line "$E2E_DIR/silent.log" accepted 200
  kill "$run" 2>/dev/null
  wait "$run"
  echo "setup.exe ended with status $? while task 26 waited"
  kill "$silent" 2>/dev/null
  wait "$silent"
  e2e_expect "task 26 reached" accepted "$(head -n 1 "$E2E_DIR/silent.log" 2>/dev/null)"
  e2e_expect "conversions owed after the kill" 8.6.9 "$(e2e_reg "$E2E_PRODUCT_KEY" UpgradeFromVersion)"
  e2e_expect "Finished lines of the killed run" "" \
    "$(setup_log | tail -n +$((lines + 1)) | grep '^Finished')"

  install
  e2e_expect "exit code of the run after the kill" 0 "$E2E_EXIT"
  e2e_expect "upgrade procedures of both runs" \
    "$(printf 'Running upgrade procedures %s -> 8.9.1\n' 8.5.3 8.6.9)" \
    "$(setup_log | tail -n +$((lines + 1)) | grep '^Running upgrade')"
  e2e_expect "conversions owed at the end" "" "$(e2e_reg "$E2E_PRODUCT_KEY" UpgradeFromVersion)"
  e2e_expect "held failure actions at the end" no \
    "$(e2e_reg_key "$E2E_PRODUCT_KEY\\HeldFailureActions" && echo yes || echo no)"
  e2e_expect "settings 7012 (task 23 once)" 300 "$(settings_u32 "$settings" 7012)"
  e2e_expect "settings 7016 (task 23 once)" 2880 "$(settings_u32 "$settings" 7016)"
  e2e_expect "settings 28059 (task 24 once)" 3072 "$(settings_u32 "$settings" 28059)"
}

scenario_deselect() {
  start_installed
  root=$(e2e_path "$E2E_INSTALL")
  for file in spam/challenge.mdb spam/rules/local.cf; do
    printf 'edited by the administrator\r\n' >>"$root/$file"
  done
  (cd "$root" && sha256sum spam/challenge.mdb spam/rules/local.cf) >"$E2E_DIR/spam.sha256"
  install /COMPONENTS=mail,control,antivirus,groupware,im
  e2e_expect "exit code without anti-spam" 0 "$E2E_EXIT"
  (cd "$root" && sha256sum -c --quiet "$E2E_DIR/spam.sha256" >"$E2E_DIR/kept.txt" 2>&1) &&
    e2e_pass "anti-spam data kept" || e2e_fail "anti-spam data changed: $(cat "$E2E_DIR/kept.txt")"
  e2e_expect_files "anti-spam program data" ABSENT "$E2E_INSTALL" spam\\template \
    spam\\rules\\10_base.cf
  e2e_expect "product NoInstallIAS" 0x1 "$(e2e_reg "$E2E_PRODUCT_KEY" NoInstallIAS)"
  check_services "$E2E_INSTALL"
}

service_table() {
  for service in $E2E_SERVICES; do
    echo "$service $(e2e_service_state "$service") $(e2e_service_start_type "$service")"
  done
}
setup_log() {
  e2e_log_lines "$(e2e_path "${E2E_INSTALL}logs\\setup\\setup.log")"
}

# wait_for_line FILE TEXT SECONDS [SKIP]: waits for a line holding TEXT after the first SKIP lines.
wait_for_line() {
  end=$(($(date +%s) + $3))
  until tail -n +$((${4:-0} + 1)) "$1" 2>/dev/null | grep -qF -- "$2" ||
    [ "$(date +%s)" -ge "$end" ]; do
    sleep 0.2
  done
}

scenario_failures() {
  e2e_reset || exit 1
  need_free_port_25
  root=$(e2e_path "$E2E_INSTALL")
  # A module that ends at its start: installed, but reported.
  mkdir -p "$root"
  printf 'exit-at-start\r\n' >"$root/im.exe.behaviour"
  EXPECTED_EXIT=6 install_first
  check_services "$E2E_INSTALL" im
  e2e_expect_match "setup.log names the module" '.*Orvik IM / VoIP.*' \
    "$(setup_log | grep -m 1 'Orvik IM / VoIP')"
  rm -f "$root/im.exe.behaviour"
  e2e_wine sc start OrvikIM </dev/null >/dev/null 2>&1
  e2e_wait_state OrvikIM RUNNING 20

  # A damaged package on an upgrade changes nothing.
  age_installation 8.5.3
  before=$(service_table)
  cp "$E2E_BUILD/demo-damaged/setup.Dat" "$(e2e_path "$E2E_SETUP_DIR")/"
  install
  e2e_expect "exit code with a damaged setup.Dat" 4 "$E2E_EXIT"
  e2e_expect "services after the damaged package" "$before" "$(service_table)"
  e2e_expect "product Version after the damaged package" 8.5.3 \
    "$(e2e_reg "$E2E_PRODUCT_KEY" Version)"
  e2e_expect_match "setup.log of the damaged package" 'Error: Setup aborted - .*setup\.Dat' \
    "$(setup_log | grep 'setup\.Dat' | tail -n 1)"
  e2e_copy_package "$E2E_BUILD/demo"

  # An upgrade ended between registration and the upgrade tasks: the next run runs them.
  lines=$(setup_log | wc -l)
  (cd "$(e2e_path "$E2E_SETUP_DIR")" &&
    exec timeout 300 wine setup.exe /VERYSILENT </dev/null >/dev/null 2>&1) &
  run=$!
  wait_for_line "$root/logs/setup/setup.log" "Installing services" 200 "$lines"
  kill "$run" 2>/dev/null
  wait "$run"
  echo "setup.exe ended with status $? once it logged \"Installing services\""
  e2e_expect "the ended run reached step 21" "Installing services" \
    "$(setup_log | tail -n +$((lines + 1)) | grep -m 1 '^Installing services$')"
  e2e_expect "log lines of the ended run" "" \
    "$(setup_log | tail -n +$((lines + 1)) | grep -E '^(Running upgrade|Finished)')"
  install
  e2e_expect "exit code after the ended upgrade" 0 "$E2E_EXIT"
  e2e_expect_match "upgrade tasks after the ended upgrade" \
    'Running upgrade procedures 8\.5\.3 -> 8\.9\.1' \
    "$(setup_log | tail -n +$((lines + 1)) | grep '^Running upgrade')"

  # IIS's SMTP service holds port 25: it is stopped and disabled, Orvik SMTP runs.
  e2e_reset || exit 1
  need_free_port_25
  mkdir -p "$E2E_C/iis"
  cp "$E2E_BUILD/testbed/modules/smtpsvc.exe" "$E2E_C/iis/"
  e2e_wine sc create SMTPSVC binPath= 'C:\iis\smtpsvc.exe' start= auto </dev/null >/dev/null 2>&1
  e2e_wine sc start SMTPSVC </dev/null >/dev/null 2>&1
  e2e_wait_state SMTPSVC RUNNING 20
  ss -ltn | awk '{ print $4 }' | grep -q '[:.]25$' && e2e_pass "SMTPSVC holds port 25" ||
    e2e_fail "the SMTPSVC stand-in does not hold port 25"
  install
  e2e_expect "exit code beside IIS's SMTP service" 0 "$E2E_EXIT"
  e2e_expect "SMTPSVC state" STOPPED "$(e2e_service_state SMTPSVC)"
  e2e_expect "SMTPSVC start type" 4 "$(e2e_service_start_type SMTPSVC)"
  check_services "$E2E_INSTALL"
}

# The installation and the first-run wizard through the windows, as a user clicks them: the GUI
# driver works setup.exe's windows and takes a screenshot of every page.
# --- rollback ---

# Checksums of every file below the installation folder but the logs of setup and of the
# stand-ins (the modules, the COM and anti-virus libraries), which every run adds to.
installation_sums() {
  (cd "$(e2e_path "$E2E_INSTALL")" && find . -type f ! -path './logs/*' ! -name '*.log' \
    ! -name '*.calls' ! -name '*.exe.times' ! -name '*.exe.eml' -print | LC_ALL=C sort |
    tr '\n' '\0' | xargs -0 sha256sum)
}
# The keys setup writes and the services' configuration.
registry_state() {
  for key in "$E2E_PRODUCT_KEY" "$E2E_UNINSTALL_KEY" 'HKLM\Software\ODBC\ODBC.INI'; do
    e2e_wine reg query "$key" /s /reg:64 </dev/null 2>/dev/null | tr -d '\r'
  done
  for service in $E2E_SERVICES; do
    e2e_wine sc qc "$service" </dev/null 2>/dev/null | tr -d '\r'
  done
}
# hold FILE: a program keeps FILE open without sharing until it is ended ($holder).
hold() {
  holder_log=$E2E_BUILD/testbed/modules/pop3.exe.log
  holder_lines=$({ wc -l <"$holder_log"; } 2>/dev/null || echo 0)
  (exec timeout 300 wine "$E2E_BUILD/testbed/modules/pop3.exe" /hold "$1" </dev/null >/dev/null 2>&1) &
  holder=$!
  wait_for_line "$holder_log" "holding" 30 "$holder_lines"
}
# The modules' programs get a mark of their own, so that the old ones differ from the package's.
mark_old_modules() {
  for service in $E2E_SERVICES; do e2e_wine sc stop "$service" </dev/null >/dev/null 2>&1; done
  for service in $E2E_SERVICES; do e2e_wait_state "$service" STOPPED 20; done
  for exe in smtp pop3 control im cal; do printf 'old build\r\n' >>"$root/$exe.exe"; done
  for service in $E2E_SERVICES; do e2e_wine sc start "$service" </dev/null >/dev/null 2>&1; done
  for service in $E2E_SERVICES; do e2e_wait_state "$service" RUNNING 30; done
}
# same_as NAME: files, registry and services as saved under NAME, the modules running.
same_as() {
  e2e_expect "$2: files" "" "$(installation_sums | diff "$E2E_DIR/$1.sha256" - 2>&1)"
  e2e_expect "$2: registry and services" "" "$(registry_state | diff "$E2E_DIR/$1.reg" - 2>&1)"
  for service in $E2E_SERVICES; do
    e2e_expect "$2: $service" RUNNING "$(e2e_service_state "$service")"
  done
}
scenario_rollback() {
  start_installed
  root=$(e2e_path "$E2E_INSTALL")
  journal=$E2E_C/windows/OrvikSetup.journal
  age_installation 8.5.3
  mark_old_modules
  installation_sums >"$E2E_DIR/before.sha256"
  registry_state >"$E2E_DIR/before.reg"

  # A program file held open by another program: Cancel after the retries, everything back.
  hold "${E2E_INSTALL}sendmail.exe"
  lines=$(setup_log | wc -l)
  install
  kill "$holder" 2>/dev/null
  wait "$holder"
  e2e_expect "exit code at a held program file" 5 "$E2E_EXIT"
  same_as before "after the rolled-back upgrade"
  setup_log | tail -n +$((lines + 1)) >"$E2E_DIR/rollback-log.txt"
  e2e_expect_lines "setup.log of the rollback" "$E2E_DIR/rollback-log.txt" \
    'Restoring the previous installation' 'Rollback: starting Orvik SMTP'
  e2e_expect_match "setup.log of the rollback" \
    'Previous installation restored in [0-9]+\.[0-9] s: [0-9]+ changes undone' \
    "$(grep '^Previous installation restored' "$E2E_DIR/rollback-log.txt")"
  e2e_expect_files "journal and backup after the rollback" ABSENT 'C:\windows\' OrvikSetup.journal
  e2e_expect "setup's own folders after the rollback" "" "$(own_folders "$root")"
  echo "measure: $(grep '^Previous installation restored' "$E2E_DIR/rollback-log.txt"), the old modules started"

  # Killed at notes spread over a whole upgrade, then run again: always the clean upgrade's
  # result. Each run upgrades from 8.5.3 with the settings as they were before the conversions.
  cp "$root/config/settings.cfg" "$E2E_DIR/settings-8.5.3.cfg"
  install
  e2e_expect "exit code of the clean upgrade" 0 "$E2E_EXIT"
  installation_sums >"$E2E_DIR/upgraded.sha256"
  registry_state >"$E2E_DIR/upgraded.reg"
  tried=0 working=0
  for point in 1 2 4 7 11 17 22 36 50 68 90 118 150 190; do
    age_installation 8.5.3
    cp "$E2E_DIR/settings-8.5.3.cfg" "$root/config/settings.cfg"
    ORVIK_SETUP_HALT_AT=$point
    export ORVIK_SETUP_HALT_AT
    e2e_setup /VERYSILENT
    unset ORVIK_SETUP_HALT_AT
    [ "$E2E_EXIT" = 9 ] || break
    tried=$((tried + 1)) last=$point
    # Once, the last note torn as a power cut leaves it.
    [ "$point" != 22 ] || truncate -s -5 "$journal"
    failures=$E2E_FAILURES
    install
    e2e_expect "killed after note $point, then run again: exit code" 0 "$E2E_EXIT"
    same_as upgraded "killed after note $point, then run again"
    [ "$E2E_FAILURES" != "$failures" ] || working=$((working + 1))
  done
  echo "measure: $tried kill points tried (the run had $((point - 1)) or more notes), $working ended in a working server"
  e2e_expect "kill points tried" yes "$([ "$tried" -ge 10 ] && echo yes)"

  # What the administrator made between a kill and the next run is theirs, also folders named
  # like setup's own: the next run leaves it as it was.
  age_installation 8.5.3
  cp "$E2E_DIR/settings-8.5.3.cfg" "$root/config/settings.cfg"
  ORVIK_SETUP_HALT_AT=$last
  export ORVIK_SETUP_HALT_AT
  e2e_setup /VERYSILENT
  unset ORVIK_SETUP_HALT_AT
  e2e_expect "exit code of the run ended before the administrator's files" 9 "$E2E_EXIT"
  cp "$journal" "$E2E_DIR/killed.journal"
  for mine in '~backup/keep.txt' '~staging/keep.txt' 'archive/2026/mail.eml'; do
    mkdir -p "$root/$(dirname "$mine")"
    printf 'the administrator'"'"'s %s\r\n' "$mine" >"$root/$mine"
  done
  (cd "$root" && sha256sum '~backup/keep.txt' '~staging/keep.txt' 'archive/2026/mail.eml') \
    >"$E2E_DIR/mine.sha256"
  install
  e2e_expect "exit code after a kill with the administrator's files" 0 "$E2E_EXIT"
  e2e_expect "the administrator's files" "" \
    "$(cd "$root" && sha256sum -c --quiet "$E2E_DIR/mine.sha256" 2>&1)"
  rm -rf "$root/~backup" "$root/~staging" "$root/archive"

  # Killed once more after it replaced the installation's setup.exe, then uninstalled through
  # that program: the uninstall rolls the killed run back first, moving the program it runs
  # from aside, and ends in the same run.
  replaced=$(tr -d '\r' <"$E2E_DIR/killed.journal" | awk -F '\t' '$1 == "create" && $2 ~ /setup\.exe$/ { print NR; exit }')
  e2e_expect_match "the note of the replaced setup.exe" '[0-9]+' "$replaced"
  age_installation 8.5.3
  cp "$E2E_DIR/settings-8.5.3.cfg" "$root/config/settings.cfg"
  ORVIK_SETUP_HALT_AT=$((replaced + 1))
  export ORVIK_SETUP_HALT_AT
  e2e_setup /VERYSILENT
  unset ORVIK_SETUP_HALT_AT
  e2e_expect "exit code of the run ended before the uninstall" 9 "$E2E_EXIT"
  lines=$(setup_log | wc -l)
  e2e_run "${E2E_INSTALL}setup.exe" /UNINSTALL /VERYSILENT
  e2e_expect "exit code of the uninstall after a killed run" 0 "$E2E_EXIT"
  e2e_expect_match "the uninstall rolled the killed run back first" \
    'Setup found the journal of a run that did not finish: .*' \
    "$(setup_log | tail -n +$((lines + 1)) | head -n 1)"
  e2e_expect_files "journal after the uninstall" ABSENT 'C:\windows\' OrvikSetup.journal
  e2e_expect_files "program files after the uninstall" ABSENT "$E2E_INSTALL" $PROGRAM_FILES

  # A failed fresh installation leaves nothing but the setup log.
  e2e_reset || exit 1
  need_free_port_25
  wmi_before=$(sha256sum "$E2E_C/windows/wmi.ini" 2>&1)
  hold "${E2E_SETUP_DIR}license.txt"
  install
  kill "$holder" 2>/dev/null
  wait "$holder"
  e2e_expect "exit code of the fresh installation at a held file" 5 "$E2E_EXIT"
  e2e_expect "what the failed fresh installation left" "./logs/setup/setup.log" \
    "$(cd "$root" && find . ! -type d)"
  e2e_expect "product key after the failed fresh installation" no \
    "$(e2e_reg_key "$E2E_PRODUCT_KEY" && echo yes || echo no)"
  e2e_expect "uninstall entry after the failed fresh installation" no \
    "$(e2e_reg_key "$E2E_UNINSTALL_KEY" && echo yes || echo no)"
  for service in $E2E_SERVICES; do
    e2e_expect "$service after the failed fresh installation" MISSING "$(e2e_service_state "$service")"
  done
  e2e_expect_files "program group after the failed fresh installation" ABSENT "$(dirname "$E2E_GROUP")/" \
    "$(basename "$E2E_GROUP")"
  e2e_expect "wmi.ini after the failed fresh installation" "$wmi_before" \
    "$(sha256sum "$E2E_C/windows/wmi.ini" 2>&1)"
}

scenario_gui() {
  e2e_reset || exit 1
  need_free_port_25
  e2e_click_through "$E2E_DIR/shots"
  printf "setup.exe clicked through: exit code %s, driver %s, after %ss\n" "$E2E_EXIT" \
    "$E2E_DRIVEN" "$E2E_SECONDS"
  [ "$E2E_DRIVEN" = 0 ] || tail -n 2 "$E2E_DIR/driver.txt" | sed 's/^/  /'
  e2e_expect "the driver's steps" 0 "$E2E_DRIVEN"
  e2e_expect "exit code" 0 "$E2E_EXIT"
  e2e_expect "screenshots" 12 "$(find "$E2E_DIR/shots" -name '*.png' -size +1k | wc -l)"
  # A step that failed left the wizard unfinished: nothing after it can be checked.
  [ "$E2E_DRIVEN" = 0 ] || return 0
  root=$(e2e_path "$E2E_INSTALL")
  e2e_expect_files "program files" PRESENT "$E2E_INSTALL" $PROGRAM_FILES setup.exe
  check_services "$E2E_INSTALL"
  e2e_expect "product InstallDir" "$E2E_INSTALL" "$(e2e_reg "$E2E_PRODUCT_KEY" InstallDir)"
  # The first-run wizard's values, and the directories it leaves to the next load.
  settings=$root/config/settings.cfg
  e2e_expect "host name" mail.gui.example "$(settings_text "$settings" 0)"
  for at in 256 512 768; do
    e2e_expect "settings directory at $at" "" "$(settings_text "$settings" "$at")"
  done
  e2e_expect "primary domain" gui.example \
    "$(dd if="$root/config/domains.cfg" bs=1 skip=1 count=11 2>/dev/null)"
  e2e_expect_files "the domain's files" PRESENT "${E2E_INSTALL}config\\gui.example\\" domain.cfg \
    users.cfg
  e2e_expect "administrator alias" administrator \
    "$(settings_text "$root/config/gui.example/users.cfg" 260)"
}

# The first-run values of /CONFIG=: refused before anything is installed when the wizard would
# refuse them, otherwise applied after the installation, with four modules told of the domain.
scenario_first_run() {
  e2e_reset || exit 1
  answers=$(e2e_path 'C:\answers.ini')
  good='[FirstRun]\r\nHostName= mail.e2e.example \r\nDomain= E2E.Example\r\nAdministrator=admin\r\n'
  refused_answers 'no answers file'
  refused_answers 'lacks Password=' "$good"
  refused_answers 'the user name' \
    '[FirstRun]\r\nHostName=h\r\nDomain=e2e.example\r\nAdministrator=..\\..\\x\r\nPassword=\r\n'

  need_free_port_25
  printf '%b' "${good}Password= pw \r\n" >"$answers"
  install '/CONFIG=C:\answers.ini'
  e2e_expect "exit code with /CONFIG=" 0 "$E2E_EXIT"
  root=$(e2e_path "$E2E_INSTALL")
  config=$root/config
  users=$config/e2e.example/users.cfg
  e2e_expect "host name" mail.e2e.example "$(settings_text "$config/settings.cfg" 0)"
  e2e_expect "primary domain" e2e.example \
    "$(dd if="$config/domains.cfg" bs=1 skip=1 count=11 2>/dev/null)"
  e2e_expect_files "the new domain's files" PRESENT "${E2E_INSTALL}config\\e2e.example\\" \
    domain.cfg users.cfg
  e2e_expect "administrator alias" admin "$(settings_text "$users" 260)"
  e2e_expect "administrator mailbox" 'E2E.Example\admin\' "$(settings_text "$users" 1028)"
  e2e_expect "administrator flag" 1 "$(settings_bytes "$users" 1284 1)"
  for exe in smtp pop3 control im cal; do
    expected=$(pipe_message 0 0)
    [ $exe != control ] || expected=$(pipe_message 3 0)
    e2e_expect "commands to $exe.exe" "$expected" \
      "$(tr -d '\r' <"$root/$exe.exe.log" | grep '^pipe')"
  done

  # Again over that installation: the domain exists, which is logged; nothing else changes.
  printf '%b' "${good}Password=other\r\n" | sed 's/mail\.e2e\.example/other.host/' >"$answers"
  users_sum=$(sha256sum <"$users")
  install '/CONFIG=C:\answers.ini'
  e2e_expect "exit code with an existing domain" 0 "$E2E_EXIT"
  e2e_expect "the existing domain logged" 1 \
    "$(setup_log | grep -ci '^Message "Information": The domain e2e.example already exists')"
  e2e_expect "host name after an existing domain" mail.e2e.example \
    "$(settings_text "$config/settings.cfg" 0)"
  e2e_expect "administrator's file after an existing domain" "$users_sum" "$(sha256sum <"$users")"

  # Values that cannot be applied (a file where the domain's folder belongs): installed, but
  # exit code 7 and the reason in the log.
  printf '%b' "${good}Password=pw\r\n" | sed 's/E2E\.Example/blocked.example/' >"$answers"
  : >"$config/blocked.example"
  install '/CONFIG=C:\answers.ini'
  e2e_expect "exit code with answers that cannot be applied" 7 "$E2E_EXIT"
  e2e_expect "the reason the answers were not applied" 1 \
    "$(setup_log | grep -c 'answers file could not be applied - The domain blocked.example')"
  rm -f "$answers"
}

# Folders no installation may have, however they are spelled and wherever they come from (/DIR=,
# the registered folder of an upgrade or of an uninstall): the run ends with 4 and neither makes
# nor removes anything.
refused_destinations() {
  short=$(e2e_wine cmd /c dir /x 'C:\' </dev/null | tr -d '\r' |
    awk '$NF == "ProgramData" { print $(NF - 1) }')
  e2e_expect_match "short name of C:\\ProgramData" '[^ ]{1,8}~[^ ]*' "$short"
  for dir in 'C:\x/..\' 'C:\Windows.\' "C:\\$short\\"; do
    e2e_setup /VERYSILENT "/DIR=$dir"
    e2e_expect "exit code of /DIR=$dir" 4 "$E2E_EXIT"
  done
  e2e_wine reg add "$E2E_PRODUCT_KEY" /v InstallDir /d 'C:\Windows.' /f /reg:64 </dev/null >/dev/null
  e2e_setup /VERYSILENT
  e2e_expect "exit code of an upgrade of C:\\Windows." 4 "$E2E_EXIT"
  for dir in 'C:\' 'C:\windows\' 'C:\ProgramData\'; do
    e2e_expect_files "after the refused folders" ABSENT "$dir" x config\\settings.cfg \
      logs\\setup spam avast
  done

  data=$(e2e_path 'C:\ProgramData\')
  mkdir -p "$data/doc"
  printf 'kept\r\n' >"$data/doc/keep.txt"
  cp "$(e2e_path "${E2E_SETUP_DIR}setup.exe")" "$data/"
  e2e_wine reg add "$E2E_PRODUCT_KEY" /v InstallDir /d 'C:\ProgramData' /f /reg:64 </dev/null >/dev/null
  e2e_run 'C:\ProgramData\setup.exe' /UNINSTALL /VERYSILENT
  e2e_expect "exit code of an uninstall of C:\\ProgramData" 4 "$E2E_EXIT"
  e2e_expect_files "ProgramData after its uninstall" PRESENT 'C:\ProgramData\' doc\\keep.txt
  rm -rf "$data/doc" "$data/setup.exe"
  e2e_wine reg delete "$E2E_PRODUCT_KEY" /f /reg:64 </dev/null >/dev/null
}

# refused_answers REASON [TEXT]: an answers file of TEXT (none without it) ends with 2, the
# reason on standard output, before anything is installed.
refused_answers() {
  rm -f "$answers"
  [ $# -lt 2 ] || printf '%b' "$2" >"$answers"
  e2e_setup /VERYSILENT '/CONFIG=C:\answers.ini'
  e2e_expect "exit code of an answers file: $1" 2 "$E2E_EXIT"
  e2e_expect "reason on standard output: $1" yes \
    "$(grep -qF "$1" "$E2E_OUTPUT" && echo yes || echo no)"
  e2e_expect_files "installation after an answers file: $1" ABSENT 'C:\Program Files\' Orvik
  e2e_expect "product key after an answers file: $1" no \
    "$(e2e_reg_key "$E2E_PRODUCT_KEY" && echo yes || echo no)"
}

scenario_started=$(date +%s)
case $SCENARIO in
prefix | fresh | upgrade | interrupted | move | uninstall | deselect | failures | rollback | gui)
  "scenario_$SCENARIO"
  ;;
command-line) scenario_command_line ;;
first-run) scenario_first_run ;;
*)
  echo "scenario.sh: no scenario $SCENARIO" >&2
  exit 2
  ;;
esac
echo "scenario $SCENARIO took $(($(date +%s) - scenario_started))s"
e2e_finish
