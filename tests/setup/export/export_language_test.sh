#!/bin/sh
# setup -EXPORTLANGUAGE, run from a folder of its own without setup.Dat, writes
# setup.lng beside itself and ends with exit code 0; the file must load back.
# Usage: export_language_test.sh SETUP CHECKER SCRATCH_DIR [RUNNER]
set -eu
setup=$1
checker=$2
scratch=$3
runner=${4:-}

rm -rf "$scratch"
mkdir -p "$scratch"
name=$(basename "$setup")
cp "$setup" "$scratch/$name"
cd "$scratch"

status=0
$runner "./$name" -EXPORTLANGUAGE || status=$?
if [ "$status" -ne 0 ]; then
  echo "setup ended with exit code $status"
  exit 1
fi
if [ ! -f setup.lng ]; then
  echo "no setup.lng beside the program"
  exit 1
fi
$runner "$checker" setup.lng
