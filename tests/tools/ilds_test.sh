#!/bin/sh
# Runs the ilds tool on a real folder tree: every format and level, with and without a
# password, compared byte for byte after extraction; the list, verify and extract options; the
# exit statuses and the reasons on standard error.
# Usage: ilds_test.sh ILDS [RUNNER]   (RUNNER: scripts/wine-run.sh for ilds.exe)
TOOL_NAME=ilds
. "$(dirname "$0")/tool_test_lib.sh"

same_tree() {
  diff -r "$1" "$2" >diff.txt 2>&1 || fail "$3: trees differ: $(head -5 diff.txt)"
}

# The tree: real files of the system (texts, a program) and made ones (empty, several MiB,
# deep, blanks in names). No empty folders: the archive has no folder entries.
mkdir -p tree/licenses tree/bin "tree/docs/with blanks" tree/deep/a/b/c/d/e/f tree/big
cp -L /usr/share/common-licenses/* tree/licenses/
cp /bin/ls tree/bin/ls
printf 'abc' >tree/abc.txt
: >tree/empty.dat
printf 'some text\r\nwith CRLF\r\n' >"tree/docs/with blanks/read me.txt"
echo deep >tree/deep/a/b/c/d/e/f/file.txt
# Several MiB of program and text: entries of several pieces.
for f in /bin/ls /bin/cp /bin/mv /bin/sh /usr/share/common-licenses/*; do cat "$f"; done |
  head -c 1500000 >tree/big/part1
cat tree/big/part1 tree/licenses/* tree/big/part1 >tree/big/large.bin
seq 1 200000 >>tree/big/large.bin
file_count=$(find tree -type f | wc -l)

# Every format and level: pack, list, verify, extract, compare.
for combo in "0 default" "0 none" "2 default" "2 best" "3 none" "3 fastest" "3 default" "3 best"; do
  set -- $combo
  format=$1 level=$2
  what="format $format level $level"
  rm -rf out
  run pack --format "$format" --level "$level" "a$format.dat" tree
  expect_rc 0 "pack $what"
  run list "a$format.dat"
  expect_rc 0 "list $what"
  [ "$(wc -l <stdout.txt)" -eq "$file_count" ] || fail "list $what: $(wc -l <stdout.txt) lines"
  grep -q '^deep\\a\\b\\c\\d\\e\\f\\file.txt	' stdout.txt || fail "list $what: nested name"
  if [ "$format" = 3 ]; then crc=352441C2; else crc=-; fi
  grep -q "^abc.txt	[0-9]*	plain	$crc\$" stdout.txt || fail "list $what: abc.txt line"
  grep -q "^empty.dat	0	plain	" stdout.txt || fail "list $what: empty.dat line"
  run verify "a$format.dat"
  expect_rc 0 "verify $what"
  grep -q "all good" stdout.txt || fail "verify $what: no summary"
  run extract "a$format.dat" out
  expect_rc 0 "extract $what"
  same_tree tree out "$what"
done

# A destination of one or two letters, relative to the current folder, is made like any other.
for dest in o ab; do
  rm -rf "$dest"
  run extract a3.dat "$dest"
  expect_rc 0 "extract into $dest"
  same_tree tree "$dest" "extract into $dest"
done

# The order does not depend on the order of the sources, nor on the file system's listing.
run pack x1.dat tree/docs tree/abc.txt tree/licenses
run pack x2.dat tree/licenses tree/abc.txt tree/docs
cmp -s x1.dat x2.dat || fail "the order of the sources changed the archive"
run list x1.dat
cut -f1 stdout.txt >names.txt
sort -f names.txt | cmp -s - names.txt || fail "list: names not in order: $(head -3 names.txt)"
grep -q '^with blanks\\read me.txt$' names.txt || fail "a folder source: names relative to it"
grep -q '^abc.txt$' names.txt || fail "a file source: packed under its own name"

# Enciphered.
rm -rf out
run pack --password "pass word" p.dat tree
expect_rc 0 "pack with a password"
run list p.dat
[ "$(grep -c '	encrypted	' stdout.txt)" -eq "$file_count" ] || fail "list: not all encrypted"
run verify p.dat
expect_rc 1 "verify without the password"
expect_err asPasswordRequired "verify without the password"
run verify --password wrong p.dat
expect_rc 1 "verify with a wrong password"
expect_err asDataError "verify with a wrong password"
run verify --password "pass word" p.dat
expect_rc 0 "verify with the password"
run extract p.dat out
expect_rc 1 "extract without the password"
expect_err asPasswordRequired "extract without the password"
run extract --password "pass word" p.dat out
expect_rc 0 "extract with the password"
same_tree tree out "enciphered"

# Keep and filter lists.
rm -rf out && mkdir out
printf mine >out/abc.txt
printf mine >out/empty.dat
run extract --no-overwrite a3.dat out
expect_rc 0 "extract --no-overwrite"
[ "$(cat out/abc.txt)" = mine ] && [ "$(cat out/empty.dat)" = mine ] ||
  fail "--no-overwrite replaced a file"
cmp -s tree/bin/ls out/bin/ls || fail "--no-overwrite did not write a new file"
run extract --no-overwrite --keep ";ABC.TXT;" a3.dat out
expect_rc 0 "extract --keep"
[ "$(cat out/abc.txt)" = mine ] || fail "--keep replaced a kept file"
[ -s out/empty.dat ] && fail "--keep kept a file not in the list"
rm -rf out
run extract --filter 'ABC.txt;deep\a\b\c\d\e\f\file.txt' a3.dat out
expect_rc 0 "extract --filter"
[ "$(find out -type f | wc -l)" -eq 2 ] && [ -f out/abc.txt ] &&
  [ -f out/deep/a/b/c/d/e/f/file.txt ] || fail "--filter: $(find out -type f | head -5)"

# An archive in its own source folder is not packed into itself.
mkdir self && cp tree/abc.txt self/
run pack self/self.dat self
run pack self/self.dat self
expect_rc 0 "pack into the source folder"
run list self/self.dat
[ "$(cut -f1 stdout.txt)" = abc.txt ] || fail "the old archive was packed: $(cat stdout.txt)"

# Damage. The end marker of format 3 is 22 bytes; the preamble 17.
size=$(wc -c <a3.dat)
head -c $((size - 22)) a3.dat >cut-at-entry.dat
rm -rf out
run extract cut-at-entry.dat out
expect_rc 0 "extract of an archive without the end marker"
same_tree tree out "an archive without the end marker"
run verify cut-at-entry.dat
expect_rc 1 "verify of an archive without the end marker"
expect_err "no end marker" "verify of an archive without the end marker"
head -c $((17 + 10)) a3.dat >cut-in-header.dat
for command in list verify; do
  run $command cut-in-header.dat
  expect_rc 1 "$command of an archive cut inside an entry header"
  expect_err "ended inside an entry header" "$command of an archive cut inside a header"
done
# Overwrite 16 bytes in the middle of big\large.bin's data: its CRC no longer matches.
run list a3.dat
offset=$(awk -F '\t' -v target='big\\large.bin' '
  BEGIN { at = 17 }
  { at += 1 + length($1) + 21; if ($1 == target) { print at + int($2 / 2); exit } at += $2 }
' stdout.txt)
cp a3.dat damaged.dat
printf 'DAMAGEDDAMAGED!!' | dd of=damaged.dat bs=1 seek="$offset" conv=notrunc 2>/dev/null
run verify damaged.dat
expect_rc 1 "verify of damaged data"
expect_err asDataError "verify of damaged data"
expect_err 'large.bin' "verify names the damaged entry"
rm -rf out
run extract damaged.dat out
expect_rc 1 "extract of damaged data"
expect_err asDataError "extract of damaged data"
[ -e out/big/large.bin ] && fail "the damaged entry's file was left behind"
[ -f out/abc.txt ] || fail "entries before the damaged one were not written"
for command in list verify; do
  run $command missing.dat
  expect_rc 1 "$command of a missing archive"
  expect_err "could not be opened" "$command of a missing archive"
done
run extract missing.dat out
expect_rc 1 "extract of a missing archive"
expect_err "could not be opened" "extract of a missing archive"

# Sources that cannot be packed.
run pack bad.dat tree/no-such-folder
expect_rc 1 "pack of a missing source"
expect_err "no such file or folder" "pack of a missing source"
mkdir -p devices && printf x >devices/nul.txt
run pack bad.dat devices
expect_rc 1 "pack of a device name"
expect_err "device name" "pack of a device name"
[ -e bad.dat ] && fail "a failed pack left an archive"

# Usage errors and help.
run
expect_rc 2 "no command"
run frobnicate
expect_rc 2 "an unknown command"
for args in "pack --format 1 z.dat tree" "pack --password pw --format 2 z.dat tree" \
  "pack --level huge z.dat tree" "pack z.dat" "pack --threads 0 z.dat tree" \
  "extract a3.dat" "extract --keep ;a; a3.dat out" "list --bogus a3.dat" "list" \
  "verify a3.dat a3.dat" "verify --password"; do
  run $args
  expect_rc 2 "usage error: $args"
  grep -q . stderr.txt || fail "usage error without a message: $args"
done
[ -e z.dat ] && fail "a usage error wrote an archive"
for command in pack list extract verify; do
  run $command --help
  expect_rc 0 "$command --help"
  grep -q "^usage: ilds $command" stdout.txt || fail "$command --help: $(head -1 stdout.txt)"
done
run --help
expect_rc 0 "--help"

finish
