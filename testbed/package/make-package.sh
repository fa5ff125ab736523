#!/bin/sh
# Makes the demo package of the Orvik Mail Server: setup.exe beside setup.Dat, the nested
# archives, info.xml and the texts. Every file is made here, from the programs of the Windows
# build (setup.exe and the stand-ins of testbed/) and small generated texts and placeholders.
# Every archive is packed with the native ilds and checked with "ilds verify".
#
# Usage:
#   make-package.sh demo ILDS SRVCFG BUILD OUT [DAMAGED]
#       The whole package in the folder OUT (emptied first). BUILD is the Windows build tree:
#       BUILD/src/setup.exe, BUILD/testbed/{api,kestruncom,db,setiface}.dll,
#       BUILD/testbed/{config,dnsquery}.exe and BUILD/testbed/modules/{smtp,pop3,control,im,
#       cal}.exe. With DAMAGED, that folder (emptied first) gets the damaged variants:
#       setup.Dat with one data byte changed, and setupweb.dat cut inside an entry.
#   make-package.sh pack ILDS OUT FOLDER...
#       Packs each FOLDER into OUT/<the folder's own name> (a folder "x/setupweb.dat" gives
#       OUT/setupweb.dat) and verifies it: for tests that make small packages of their own.
# ILDS and SRVCFG are the native tools (build/native/tools/ilds/ilds, .../srvcfg/srvcfg).
# Exit status: 0 when everything was made and verified, 1 otherwise, 2 a usage error.
#
# The demo domain is demo.orvik.example, with the accounts "user" and "admin" (password
# "demo") and the group "staff".
set -eu

usage() {
  sed -n '/^# Usage:/,/^# Exit status/p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
die() {
  echo "make-package.sh: $*" >&2
  exit 1
}

# pack ILDS OUT FOLDER...
pack() {
  ilds=$1 out=$2
  shift 2
  mkdir -p "$out"
  for folder in "$@"; do
    archive=$out/$(basename "$folder")
    rm -f "$archive"
    "$ilds" pack "$archive" "$folder" >/dev/null || die "packing $folder failed"
    "$ilds" verify "$archive" >/dev/null || die "$archive does not verify"
  done
}

# A text file with Windows line ends, one argument a line; its folders are made.
text() {
  file=$1
  shift
  mkdir -p "$(dirname "$file")"
  printf '%s\r\n' "$@" >"$file"
}
# A placeholder for a file of the server that setup only copies.
placeholder() {
  for file in "$@"; do
    text "$file" "Placeholder for $(basename "$file") of the Orvik Mail Server demo package."
  done
}
# Copies a built program; its folder is made.
program() {
  [ -f "$1" ] || die "$1 is missing: build the Windows target first"
  mkdir -p "$(dirname "$2")"
  cp "$1" "$2"
}

# The offset of the middle of an entry's data: the archive begins with a 17-byte preamble,
# each entry with a length byte, its name and 21 bytes, and "ilds list" gives the stored size.
middle_of_entry() {
  "$1" list "$2" | tr -d '\r' | awk -F '\t' -v target="$3" '
    BEGIN { at = 17 }
    { at += 1 + length($1) + 21; if ($1 == target) { print at + int($2 / 2); found = 1; exit }
      at += $2 }
    END { if (!found) exit 1 }'
}

# The content of setup.Dat: the programs, the web server configuration, the demo data and the
# component folders.
main_package() {
  dir=$1
  for module in smtp pop3 control im cal; do
    program "$BUILD/testbed/modules/$module.exe" "$dir/$module.exe"
  done
  for file in config.exe dnsquery.exe api.dll kestruncom.dll db.dll; do
    program "$BUILD/testbed/$file" "$dir/$file"
  done
  placeholder "$dir/tool.exe" "$dir/sendmail.exe" "$dir/libeay32.dll" "$dir/libssl32.dll" \
    "$dir/regex.dll" "$dir/sqlite3.dll"

  # One site; WriteWithPaths fills in the installation and the temporary path.
  text "$dir/webserver.dat" '<?xml version="1.0" encoding="UTF-8"?>' '<WEB>' \
    '<OPTIONS><RELOADISAPI>20000</RELOADISAPI><HTTP10>0</HTTP10><LOGFORMAT></LOGFORMAT></OPTIONS>' \
    '<HOST>' '<USEGLOBAL>0</USEGLOBAL>' '<NAME></NAME>' \
    '<DESC>Web administration and web mail</DESC>' '<IP></IP>' \
    '<PATH>%%installpath%%html\</PATH>' '<NOKEEPOPENHTTP>0</NOKEEPOPENHTTP>' \
    '<LOGGING>1</LOGGING>' '<LOGGINGDEBUG>0</LOGGINGDEBUG>' \
    '<LOGGINGPATH>%%installpath%%logs\web\</LOGGINGPATH>' '<DELETELOGS>30</DELETELOGS>' \
    '<NOSCRIPTS>0</NOSCRIPTS>' '<NOREAD>0</NOREAD>' '<WRITE>0</WRITE>' '<NOWEBDAV>1</NOWEBDAV>' \
    '<NOPOST>0</NOPOST>' '<EXECUTABLES>0</EXECUTABLES>' '<DIRLIST>0</DIRLIST>' \
    '<DEFAULTHOST></DEFAULTHOST>' '<MAXCONNECTIONS></MAXCONNECTIONS>' '<AUTHMODE>0</AUTHMODE>' \
    '<AUTHADMIN>0</AUTHADMIN>' '<AUTHDOMAINADMIN>0</AUTHDOMAINADMIN>' '<AUTHUSERS>0</AUTHUSERS>' \
    '<EXPIRATIONMODE>0</EXPIRATIONMODE>' '<EXPIRATIONMINS></EXPIRATIONMINS>' \
    '<EXTENSIONS><ITEM><EXT>.php</EXT><MODULE>php\php.dll</MODULE><TITLE>php</TITLE></ITEM></EXTENSIONS>' \
    '<DEFAULTS><ITEM><DOC>index.html</DOC></ITEM><ITEM><DOC>index.php</DOC></ITEM></DEFAULTS>' \
    '<DIRECTORIES>' '<ITEM><ALIAS>/mail/</ALIAS><PATH>%%installpath%%html\mail\</PATH></ITEM>' \
    '<ITEM><ALIAS>/cache/</ALIAS><PATH>%%temppath%%cache\</PATH></ITEM>' '</DIRECTORIES>' \
    '</HOST>' '</WEB>'

  "$SRVCFG" add-domain "$STAGE/demo/config" demo.orvik.example >/dev/null
  "$SRVCFG" add-account "$STAGE/demo/config" demo.orvik.example user demo >/dev/null
  "$SRVCFG" add-account "$STAGE/demo/config" demo.orvik.example admin demo >/dev/null
  "$SRVCFG" add-account "$STAGE/demo/config" demo.orvik.example staff "" --kind 7 >/dev/null
  # The install run sets them to the installation's folders.
  "$SRVCFG" clear-paths "$STAGE/demo/config" >/dev/null
  mv "$STAGE/demo/config" "$STAGE/demo/demo.dat"
  pack "$ILDS" "$dir" "$STAGE/demo/demo.dat"

  # Not a certificate: the server makes its own; setup only keeps an existing one.
  {
    echo '-----BEGIN CERTIFICATE-----'
    printf 'Orvik Mail Server demo package: placeholder, no key material.' | base64 -w 64
    echo '-----END CERTIFICATE-----'
  } | awk '{ printf "%s\r\n", $0 }' >"$dir/cert.pem"

  placeholder "$dir/doc/manual.chm"
  text "$dir/doc/readme.txt" "The server's documentation."
  text "$dir/html/index.html" '<html><body><h1>Orvik Mail Server</h1></body></html>'
  placeholder "$dir/modules/wcs.dll"
  text "$dir/wizards/domain.xml" '<WIZARD><NAME>New domain</NAME></WIZARD>'
  placeholder "$dir/spam/challenge.mdb"
  text "$dir/spam/template/challenge.html" '<html><body>Please confirm your message.</body></html>'
  # Rules 1* to 6* are replaced on every upgrade, 7* and local.cf are kept.
  for rule in 10_base 20_header 30_body 40_uri 50_scores 60_lists 70_extra; do
    text "$dir/spam/rules/$rule.cf" "# $rule rules" "score ORVIK_DEMO_${rule#*_} 0.1"
  done
  text "$dir/spam/rules/local.cf" '# Local rules: kept on upgrades.'
  text "$dir/calendar/calendar.xml" '<CALENDAR><VERSION>8.9.1</VERSION></CALENDAR>'
  placeholder "$dir/calendar/calendar.mdb"
  text "$dir/calendar/holidays/holidays.xml" '<HOLIDAYS><DAY DATE="01-01">New Year</DAY></HOLIDAYS>'
  text "$dir/calendar/doc/index.html" '<html><body>GroupWare help</body></html>'
  text "$dir/api/readme.txt" 'The server API.'
  text "$dir/tutorial/index.html" '<html><body>Tutorial</body></html>'
  text "$dir/examples/example.txt" 'An example.'
  text "$dir/xml/advanced.xml" '<CONSOLE><MODE>advanced</MODE></CONSOLE>'
  text "$dir/xml/basic.xml" '<CONSOLE><MODE>basic</MODE></CONSOLE>'
}

nested_packages() {
  dir=$1
  text "$dir/setupweb.dat/settings.dat" '[Paths]' 'Root=%%installpath%%webmail\' \
    'Mail=%%installpath%%mail\' 'Temp=%%temppath%%'
  text "$dir/setupweb.dat/html/index.html" '<html><body>Web mail</body></html>'
  text "$dir/setupweb.dat/html/help/index.htm" '<html><body>Web mail manual</body></html>'
  text "$dir/setupweb.dat/scripts/mail.js" 'function send() { return true; }'
  text "$dir/setupweb.dat/projects/readme.txt" 'Projects of the web mail.'

  program "$BUILD/testbed/setiface.dll" "$dir/setupav.dat/setiface.dll"
  placeholder "$dir/setupav.dat/avastoem.exe"

  text "$dir/setupldap.dat/slapd.conf" 'include schema\core.schema' 'database ldbm'
  text "$dir/setupldap.dat/schema/core.schema" '# core schema'
  placeholder "$dir/setupldap.dat/ldbm/id2entry.dbb"
  text "$dir/setupldap.dat/readme.txt" 'The directory server.'

  placeholder "$dir/setupphp.dat/php.dll"
  text "$dir/setupphp.dat/wmi.ini" '[WMI]' 'Path=%%installpath%%php\' \
    'Both=%%installpath%%a;%%installpath%%b' 'Temp=%%temppath%%'

  text "$dir/other.dat/other.txt" 'Further files of the server.'
  text "$dir/orvik.mcb/license.key" 'ORVIK-DEMO-0000-0000'
}

loose_files() {
  out=$1
  program "$BUILD/src/setup.exe" "$out/setup.exe"
  text "$out/info.xml" '<?xml version="1.0" encoding="UTF-8"?>' '<PRODUCT>' \
    '<PRODUCTSXML></PRODUCTSXML>' '<PREFIX>Orvik</PREFIX>' \
    '<FOOTERVALUE>Sent through the Orvik Mail Server demo.</FOOTERVALUE>' \
    '<INTEFACEMODE>1</INTEFACEMODE>' '</PRODUCT>'
  text "$out/license.txt" 'Orvik Mail Server 8.9.1 demo package.' \
    'This package is for trying out the setup; it holds no working server.'
  text "$out/readme.txt" 'Run setup.exe to install the Orvik Mail Server 8.9.1 demo.'
  text "$out/releasenotes.txt" 'Orvik Mail Server 8.9.1' '- Demo package.'
}

damaged_variants() {
  damaged=$1
  mkdir -p "$damaged"
  cp "$OUT/setup.Dat" "$damaged/"
  at=$(middle_of_entry "$ILDS" "$OUT/setup.Dat" webserver.dat) ||
    die "setup.Dat has no webserver.dat"
  old=$(od -An -tu1 -j"$at" -N1 "$damaged/setup.Dat" | tr -d ' ')
  printf "\\$(printf '%03o' $((old ^ 255)))" |
    dd of="$damaged/setup.Dat" bs=1 seek="$at" conv=notrunc 2>/dev/null
  ! "$ILDS" verify "$damaged/setup.Dat" >/dev/null 2>&1 || die "the damaged setup.Dat verifies"
  at=$(middle_of_entry "$ILDS" "$OUT/setupweb.dat" settings.dat) ||
    die "setupweb.dat has no settings.dat"
  head -c "$at" "$OUT/setupweb.dat" >"$damaged/setupweb.dat"
  ! "$ILDS" verify "$damaged/setupweb.dat" >/dev/null 2>&1 || die "the cut setupweb.dat verifies"
}

absolute() {
  case $1 in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$(pwd)" "$1" ;; esac
}

[ $# -ge 1 ] || usage
mode=$1
shift
case $mode in
pack)
  [ $# -ge 3 ] || usage
  pack "$@"
  ;;
demo)
  [ $# -eq 4 ] || [ $# -eq 5 ] || usage
  ILDS=$(absolute "$1") SRVCFG=$(absolute "$2") BUILD=$(absolute "$3") OUT=$(absolute "$4")
  DAMAGED=${5:+$(absolute "$5")}
  STAGE=$(mktemp -d "${TMPDIR:-/tmp}/orvik-package-XXXXXX")
  trap 'rm -rf "$STAGE"' EXIT
  rm -rf "$OUT"
  mkdir -p "$OUT"
  main_package "$STAGE/setup.Dat"
  nested_packages "$STAGE"
  for archive in setup.Dat setupweb.dat setupav.dat setupldap.dat setupphp.dat other.dat \
    orvik.mcb; do
    pack "$ILDS" "$OUT" "$STAGE/$archive"
  done
  loose_files "$OUT"
  if [ -n "$DAMAGED" ]; then
    rm -rf "$DAMAGED"
    damaged_variants "$DAMAGED"
  fi
  ;;
*) usage ;;
esac
