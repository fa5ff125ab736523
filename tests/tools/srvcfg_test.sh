#!/bin/sh
# Runs the srvcfg tool on configuration folders of its own: show on a folder that does not
# exist yet, domains and accounts added and read back, the primary domain changed and changed
# back, the path fields cleared, the sizes of the files written, names and passwords that are refused, the settings a
# new configuration starts from, path.dat, settings that cannot be read, and the exit statuses
# and messages of usage errors.
# Usage: srvcfg_test.sh SRVCFG [RUNNER]   (RUNNER: scripts/wine-run.sh for srvcfg.exe)
TOOL_NAME=srvcfg
. "$(dirname "$0")/tool_test_lib.sh"

# A folder below $WORK as the program names it: under Wine the Z: drive is this system's root.
BS='\'
program_path() {
  if [ -n "$RUNNER" ]; then
    printf 'Z:%s' "$(printf '%s' "$WORK/$1" | tr / '\\')"
  else
    printf '%s' "$WORK/$1"
  fi
}
CONFIG=$(program_path config)

# A failure: status 1 and one line on standard error, "srvcfg: " and the reason.
expect_failure() {
  expect_rc 1 "$2"
  [ "$(wc -l <stderr.txt)" -eq 1 ] && grep -q "^srvcfg: .*$1" stderr.txt ||
    fail "$2: standard error is not one line \"srvcfg: ...$1...\": $(cat stderr.txt)"
}
expect_line() {
  grep -qxF -- "$1" stdout.txt || fail "$2: no line \"$1\" in: $(cat stdout.txt)"
}
# The domain lines of the last show.
domain_lines() {
  grep '^Domain [0-9]' stdout.txt
}
expect_size() {
  size=$(wc -c <"$1" 2>/dev/null || echo missing)
  [ "$size" = "$2" ] || fail "$1: $size bytes, expected $2"
}
# XORs a byte of a settings.cfg: the file is the record XORed with a fixed key, so this XORs
# the plain byte alike, and sets bits whose plain value is known without knowing the key.
xor_settings_byte() {
  old=$(od -An -tu1 -j"$2" -N1 "$1" | tr -d ' ')
  printf "$(printf '\\%03o' $((old ^ $3)))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}

# show on a folder that does not exist: the defaults, no domains, and nothing written.
run show "$CONFIG"
expect_rc 0 "show of a missing folder"
INSTALL=$(program_path "")
for line in "Host name:" "Config directory: $CONFIG$BS" "Install directory: $INSTALL" \
  "Temp directory: ${INSTALL}temp$BS" "Mail directory: ${INSTALL}mail$BS" \
  "Logs directory: ${INSTALL}logs$BS" "SMTP port: 25" "SMTP SSL port: 465" \
  "POP3 port: 110" "POP3 SSL port: 995" "IMAP port: 143" "IMAP SSL port: 993" \
  "Web administration port: 32000" "Web administration SSL port: 32001" "Domains: 0" \
  "Account storage mode: 0"; do
  expect_line "$line" "show of a missing folder"
done
[ -z "$(domain_lines)" ] || fail "show of a missing folder lists domains: $(domain_lines)"
[ -e config ] && fail "show created the configuration folder"

# Domains: the name in lower case, its folder and record, the list and the settings.
run add-domain "$CONFIG" Example.COM
expect_rc 0 "add-domain Example.COM"
[ -s stderr.txt ] && fail "add-domain wrote to standard error: $(cat stderr.txt)"
expect_size config/settings.cfg 29454
expect_size config/domains.cfg 96
expect_size config/example.com/domain.cfg 1169
for name in example.com EXAMPLE.com; do
  run add-domain "$CONFIG" $name
  expect_failure "domain $name already exists" "add-domain $name a second time"
done
expect_size config/domains.cfg 96
run add-domain "$CONFIG" other.org
expect_rc 0 "add-domain other.org"
expect_size config/domains.cfg 192

# Accounts: each prints the index of its record; an alias already used is refused in any case.
run add-account "$CONFIG" example.com alice "pass word"
expect_rc 0 "add-account alice"
[ "$(cat stdout.txt)" = 0 ] || fail "add-account alice printed \"$(cat stdout.txt)\", not 0"
run add-account "$CONFIG" EXAMPLE.COM bob secret --kind 0
expect_rc 0 "add-account bob"
[ "$(cat stdout.txt)" = 1 ] || fail "add-account bob printed \"$(cat stdout.txt)\", not 1"
run add-account "$CONFIG" other.org --kind=7 staff -- -starts-with-a-dash
expect_rc 0 "add-account of a group"
[ "$(cat stdout.txt)" = 0 ] || fail "add-account staff printed \"$(cat stdout.txt)\", not 0"
run add-account "$CONFIG" example.com ALICE other
expect_failure "account ALICE already exists in example.com" "add-account of a used alias"
run add-account "$CONFIG" example.com "carol;bob" other
expect_failure "already exists in example.com" "add-account of an alias list with a used alias"
run add-account "$CONFIG" missing.net dave pw
expect_failure "domain missing.net does not exist" "add-account in a missing domain"
[ -e config/missing.net ] && fail "add-account in a missing domain made its folder"
expect_size config/example.com/users.cfg $((2 * 2848))
expect_size config/other.org/users.cfg 2848

# The domains read back in order, with their accounts; show changes no file.
cp config/settings.cfg settings-before-show
cp config/domains.cfg domains-before-show
run show "$CONFIG"
expect_rc 0 "show of two domains"
expect_line "Domains: 2" "show of two domains"
expect_line "Account storage mode: 0" "show of a configuration srvcfg made"
printf 'Domain 1: example.com (primary), 2 accounts\nDomain 2: other.org, 1 account\n' >expected
domain_lines | cmp -s - expected || fail "show of two domains: $(domain_lines)"
cmp -s settings-before-show config/settings.cfg || fail "show changed settings.cfg"
cmp -s domains-before-show config/domains.cfg || fail "show changed domains.cfg"

# The primary domain swaps places with the one named; swapping back restores the list's bytes.
run make-primary "$CONFIG" OTHER.org
expect_rc 0 "make-primary other.org"
run show "$CONFIG"
printf 'Domain 1: other.org (primary), 1 account\nDomain 2: example.com, 2 accounts\n' >expected
domain_lines | cmp -s - expected || fail "show after make-primary: $(domain_lines)"
cmp -s domains-before-show config/domains.cfg && fail "make-primary left domains.cfg as it was"
run make-primary "$CONFIG" other.org
expect_rc 0 "make-primary of the primary domain"
cmp -s settings-before-show config/settings.cfg ||
  fail "make-primary of the primary domain changed settings.cfg"
run make-primary "$CONFIG" example.com
expect_rc 0 "make-primary example.com"
cmp -s domains-before-show config/domains.cfg || fail "swapping back did not restore domains.cfg"
run make-primary "$CONFIG" missing.net
expect_failure "domain missing.net does not exist" "make-primary of a missing domain"

# Names that cannot be domains: nothing is written, least of all outside the folder.
cp config/settings.cfg settings-before-refusals
long95=$(printf '%095d' 0 | tr 0 a)
for name in "..${BS}evil" "../evil" "" "." ".." ".hidden" "trailing." "a b" "a@b.com" "c:x" \
  "a*b" "con" "Nul.org" "$long95"; do
  run add-domain "$CONFIG" "$name"
  expect_failure "invalid domain name" "add-domain \"$name\""
done
[ -e evil ] || [ -e "..${BS}evil" ] || [ -e "config/..${BS}evil" ] && fail "a refused name was written"
cmp -s settings-before-refusals config/settings.cfg || fail "a refused name changed settings.cfg"
cmp -s domains-before-show config/domains.cfg || fail "a refused name changed domains.cfg"
# The longest name that the list holds comes back whole.
long94=$(printf '%094d' 0 | tr 0 b)
run add-domain "$CONFIG" "$long94"
expect_rc 0 "add-domain of a 94-character name"
run show "$CONFIG"
expect_line "Domain 3: $long94, 0 accounts" "show of a 94-character name"

# Aliases and passwords that cannot be stored.
for alias in "" "a/b" "a${BS}b" "x@y" "a b" ".." "con" ";second"; do
  run add-account "$CONFIG" example.com "$alias" pw
  expect_failure "invalid alias" "add-account \"$alias\""
done
run add-account "$CONFIG" example.com eve "$(printf '%0128d' 0)"
expect_failure "longer than 127 characters" "add-account with a 128-character password"
expect_size config/example.com/users.cfg $((2 * 2848))

# Usage errors: status 2 and the usage text, and nothing written.
cp config/settings.cfg settings-before-usage
for args in "" "frobnicate $CONFIG" "show" "show $CONFIG extra" "add-domain $CONFIG" \
  "add-domain $CONFIG a.org b.org" "add-domain --kind 7 $CONFIG a.org" \
  "add-account $CONFIG example.com zed" "add-account $CONFIG example.com zed pw extra" \
  "add-account $CONFIG example.com zed pw --kind 256" \
  "add-account $CONFIG example.com zed pw --kind x7" \
  "add-account $CONFIG example.com zed pw --kind -1" \
  "add-account $CONFIG example.com zed pw --kind=" "add-account $CONFIG example.com zed pw --kind" \
  "make-primary $CONFIG" "show --bogus $CONFIG" "clear-paths $CONFIG extra"; do
  # shellcheck disable=SC2086
  run $args
  expect_rc 2 "usage error: $args"
  grep -q "^srvcfg: " stderr.txt && grep -q "^usage: srvcfg" stderr.txt ||
    fail "usage error without message and usage text: $args: $(cat stderr.txt)"
done
run show ""
expect_rc 2 "show of an empty folder name"
cmp -s settings-before-usage config/settings.cfg || fail "a usage error changed settings.cfg"
expect_size config/example.com/users.cfg $((2 * 2848))
for args in "--help" "show --help"; do
  run $args
  expect_rc 0 "$args"
  grep -q "^usage: srvcfg" stdout.txt || fail "$args: $(head -1 stdout.txt)"
done

# The files after the run: the whole settings record and 96 bytes per domain.
expect_size config/settings.cfg 29454
expect_size config/domains.cfg $((3 * 96))

# A folder given relative to the current one.
run add-domain relative${BS}config relative.test
expect_rc 0 "add-domain in a relative folder"
expect_size relative/config/domains.cfg 96
[ -f relative/config/relative.test/domain.cfg ] || fail "relative folder: no domain record"

# Settings that cannot be read (a folder in place of settings.cfg): nothing is written.
mkdir -p unread/config/settings.cfg
run add-domain "$(program_path unread/config)" unread.test
expect_failure "settings.cfg exists but could not be read" "add-domain with unreadable settings"
cp config/domains.cfg unread/config/domains.cfg
run add-account "$(program_path unread/config)" example.com zoe pw
expect_failure "settings.cfg exists but could not be read" "add-account with unreadable settings"
[ "$(find unread | sort | tr '\n' ' ')" = \
  "unread unread/config unread/config/domains.cfg unread/config/settings.cfg " ] ||
  fail "unreadable settings: written anyway: $(find unread)"

# A new configuration starts from the settings the setup writes, so that a storage mode set
# later sticks.
run add-domain "$(program_path fresh/config)" fresh.test
expect_rc 0 "add-domain in a new folder"
xor_settings_byte fresh/config/settings.cfg 3633 2
run show "$(program_path fresh/config)"
expect_line "Account storage mode: 2" "show of database storage set after srvcfg made the folder"

# With encryption on, a password too long for its encrypted form is refused.
run add-domain "$(program_path crypt/config)" crypt.test
xor_settings_byte crypt/config/settings.cfg 187 1
run add-account "$(program_path crypt/config)" crypt.test long "$(printf '%094d' 0)"
expect_failure "password is longer than 93 characters, too long to be stored encrypted" \
  "add-account with a 94-character password, encrypted"
[ -e crypt/config/crypt.test/users.cfg ] && fail "a refused password made users.cfg"
run add-account "$(program_path crypt/config)" crypt.test longest "$(printf '%093d' 0)"
expect_rc 0 "add-account with a 93-character password, encrypted"

# path.dat in the installation folder names the configuration folder, as for the server.
mkdir -p moved/install
printf '%s\r\n' "$(program_path moved/elsewhere)" >moved/install/path.dat
run add-domain "$(program_path moved/install/config)" moved.test
expect_rc 0 "add-domain where path.dat moves the configuration"
expect_size moved/elsewhere/domains.cfg 96
[ -e moved/install/config ] && fail "path.dat: the folder it replaces was written"
run show "$(program_path moved/install/config)"
expect_line "Config directory: $(program_path moved/elsewhere)$BS" "show where path.dat moves it"

# clear-paths: the directories then follow the folder the configuration is copied to; the
# domains stay. Before, they still name the folder it was made in.
run add-domain "$(program_path made/config)" made.test
cp -r made copied
run show "$(program_path copied/config)"
expect_line "Mail directory: $(program_path made/mail)$BS" "show of a copy before clear-paths"
run clear-paths "$(program_path made/config)"
expect_rc 0 "clear-paths"
rm -rf copied && cp -r made copied
run show "$(program_path copied/config)"
for line in "Temp directory: $(program_path copied/temp)$BS" \
  "Mail directory: $(program_path copied/mail)$BS" "Logs directory: $(program_path copied/logs)$BS" \
  "Domain 1: made.test (primary), 0 accounts"; do
  expect_line "$line" "show of a copy after clear-paths"
done
run clear-paths "$(program_path unread/config)"
expect_failure "settings.cfg exists but could not be read" "clear-paths with unreadable settings"

# Natively a drive path lies below the drive root, itself below TMPDIR.
if [ -z "$RUNNER" ]; then
  mkdir drives
  for drive in C D; do
    checks=$((checks + 1))
    TMPDIR="$WORK/drives" "$TOOL" add-domain "$drive:${BS}Orvik${BS}config" drive.test >stdout.txt \
      2>stderr.txt
    rc=$?
    expect_rc 0 "add-domain on drive $drive:"
    expect_size "drives/orvik-drives/$(echo $drive | tr CD cd)/Orvik/config/domains.cfg" 96
  done
fi

# A configuration folder of one letter, relative to the current folder, is made like any other.
run add-domain c one.example
expect_rc 0 "add-domain into the relative folder c"
[ -f c/domains.cfg ] && [ -f c/one.example/domain.cfg ] || fail "add-domain into c: $(find c)"

finish
