#!/bin/sh
# Runs the demo package recipe (testbed/package/make-package.sh) with the native ilds and
# srvcfg on a stand-in build tree whose programs are small marked files: the package's files
# and archives, every archive verified, the programs taken from the build tree, the demo
# configuration, the damaged variants, the pack mode and a missing program.
# Usage: package_test.sh ILDS SRVCFG RECIPE
TOOL_NAME=make-package
SRVCFG=$2
RECIPE=$3
case $SRVCFG in /*) ;; *) SRVCFG=$(pwd)/$SRVCFG ;; esac
case $RECIPE in /*) ;; *) RECIPE=$(pwd)/$RECIPE ;; esac
set -- "$1" # run() below runs ilds
. "$(dirname "$0")/tool_test_lib.sh"
ILDS=$TOOL

# The build tree: each program a file that names it.
for file in src/setup.exe testbed/api.dll testbed/kestruncom.dll testbed/db.dll \
  testbed/setiface.dll testbed/config.exe testbed/dnsquery.exe testbed/modules/smtp.exe \
  testbed/modules/pop3.exe testbed/modules/control.exe testbed/modules/im.exe \
  testbed/modules/cal.exe; do
  mkdir -p "build/$(dirname $file)"
  echo "built $file" >"build/$file"
done

checks=$((checks + 1))
sh "$RECIPE" demo "$ILDS" "$SRVCFG" build demo damaged >recipe-out.txt 2>&1 ||
  fail "the recipe failed: $(cat recipe-out.txt)"
[ "$(ls demo | tr '\n' ' ')" = "info.xml license.txt orvik.mcb other.dat readme.txt \
releasenotes.txt setup.Dat setup.exe setupav.dat setupldap.dat setupphp.dat setupweb.dat " ] ||
  fail "the package holds: $(ls demo | tr '\n' ' ')"
cmp -s build/src/setup.exe demo/setup.exe || fail "setup.exe is not the built one"

# Every archive verifies and holds what deployment reads from it.
expect_names() {
  archive=$1
  shift
  run list "$archive"
  expect_rc 0 "list $archive"
  cut -f1 stdout.txt >names.txt
  for name in "$@"; do
    grep -qixF -- "$name" names.txt || fail "$archive lacks $name: $(tr '\n' ' ' <names.txt)"
  done
}
for archive in setup.Dat setupweb.dat setupav.dat setupldap.dat setupphp.dat other.dat \
  orvik.mcb; do
  run verify "demo/$archive"
  expect_rc 0 "verify $archive"
done
expect_names demo/setup.Dat smtp.exe pop3.exe control.exe config.exe dnsquery.exe tool.exe \
  sendmail.exe api.dll libeay32.dll libssl32.dll db.dll regex.dll sqlite3.dll kestruncom.dll \
  im.exe cal.exe webserver.dat demo.dat cert.pem 'doc\manual.chm' 'html\index.html' \
  'spam\challenge.mdb' 'spam\rules\local.cf' 'calendar\calendar.xml' 'calendar\calendar.mdb' \
  'tutorial\index.html' 'xml\advanced.xml' 'xml\basic.xml'
for folder in modules wizards 'spam\template' 'calendar\holidays' 'calendar\doc' api examples; do
  grep -qiF "$folder\\" names.txt || fail "setup.Dat has no folder $folder"
done
for n in 1 2 3 4 5 6; do
  grep -qi "^spam.rules.${n}[^.]*\.cf$" names.txt || fail "setup.Dat has no rule file $n*"
done
expect_names demo/setupweb.dat settings.dat 'html\index.html'
expect_names demo/setupav.dat setiface.dll avastoem.exe
expect_names demo/setupldap.dat slapd.conf 'schema\core.schema' 'ldbm\id2entry.dbb'
expect_names demo/setupphp.dat php.dll wmi.ini

# The programs come from the build tree; the texts carry the placeholders.
run extract demo/setup.Dat out
expect_rc 0 "extract setup.Dat"
for pair in smtp.exe:testbed/modules/smtp.exe cal.exe:testbed/modules/cal.exe \
  dnsquery.exe:testbed/dnsquery.exe db.dll:testbed/db.dll kestruncom.dll:testbed/kestruncom.dll; do
  cmp -s "out/${pair%%:*}" "build/${pair#*:}" || fail "${pair%%:*} is not build/${pair#*:}"
done
for placeholder in %%installpath%% %%temppath%%; do
  grep -q "$placeholder" out/webserver.dat || fail "webserver.dat lacks $placeholder"
done

# The demo configuration: the domain with user and admin and a group; the directories follow
# the folder it is extracted into.
run extract out/demo.dat install/config
expect_rc 0 "extract demo.dat"
checks=$((checks + 1))
"$SRVCFG" show "$WORK/install/config" >show.txt 2>&1 || fail "srvcfg show: $(cat show.txt)"
for line in "Domains: 1" "Domain 1: demo.orvik.example (primary), 3 accounts" \
  "Mail directory: $WORK/install/mail\\" "Logs directory: $WORK/install/logs\\"; do
  grep -qxF "$line" show.txt || fail "srvcfg show lacks \"$line\": $(cat show.txt)"
done
for account in user admin staff; do
  checks=$((checks + 1))
  "$SRVCFG" add-account install/config demo.orvik.example $account x >add.txt 2>&1 &&
    fail "the demo domain has no account $account"
  grep -q "already exists" add.txt || fail "add-account $account: $(cat add.txt)"
done

# The damaged variants fail the check that the intact ones pass.
run verify damaged/setup.Dat
expect_rc 1 "verify of the damaged setup.Dat"
expect_err asDataError "verify of the damaged setup.Dat"
run verify damaged/setupweb.dat
expect_rc 1 "verify of the cut setupweb.dat"

# pack: a folder of a test's own, under its name.
mkdir -p small/setupweb.dat/html
echo '%%installpath%%' >small/setupweb.dat/settings.dat
echo page >small/setupweb.dat/html/index.html
checks=$((checks + 1))
sh "$RECIPE" pack "$ILDS" small-out small/setupweb.dat >recipe-out.txt 2>&1 ||
  fail "pack mode: $(cat recipe-out.txt)"
run extract small-out/setupweb.dat small-back
diff -r small/setupweb.dat small-back >/dev/null || fail "pack mode: the archive differs"

# A program missing from the build tree fails the recipe, naming it.
rm build/testbed/setiface.dll
checks=$((checks + 1))
sh "$RECIPE" demo "$ILDS" "$SRVCFG" build demo2 >recipe-out.txt 2>&1 &&
  fail "the recipe succeeded without setiface.dll"
grep -q "setiface.dll is missing" recipe-out.txt || fail "missing program: $(cat recipe-out.txt)"

finish
