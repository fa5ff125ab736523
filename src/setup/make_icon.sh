#!/bin/sh
# Writes one of setup.exe's icons: a 32x32 icon file with one 32-bit image (colour with
# alpha, rows bottom-up, an empty AND mask).
# Usage: make_icon.sh setup|uninstall|web FILE
#   setup      a letter (icon 0: the program)
#   uninstall  the letter crossed out in red (icon 1: the uninstall link)
#   web        a blue globe (icon 2: the web log-on links)
set -eu
kind=$1
out=$2
case $kind in setup | uninstall | web) ;; *) echo "make_icon.sh: unknown icon $kind" >&2 && exit 2 ;; esac

# A byte as an octal escape for printf.
byte() {
  bytes="$bytes\\$(($1 / 64))$(($1 / 8 % 8))$(($1 % 8))"
}
# A little-endian number of $2 bytes.
number() {
  n=$1
  i=0
  while [ $i -lt "$2" ]; do
    byte $((n % 256))
    n=$((n / 256))
    i=$((i + 1))
  done
}

# The colour of a pixel (x, y from the top left) as b g r a.
pixel() {
  x=$1 y=$2
  b=0 g=0 r=0 a=0
  if [ "$kind" = web ]; then
    dx=$((2 * x - 31)) dy=$((2 * y - 31))
    d=$((dx * dx + dy * dy))
    if [ $((d <= 784)) = 1 ]; then # inside the radius of 14
      b=230 g=140 r=40 a=255
      # the equator, the meridian and the rim
      if [ $((dx * dx <= 1 || dy * dy <= 1 || d >= 625)) = 1 ]; then b=120 g=60 r=10; fi
    fi
  else
    if [ $((x >= 3 && x <= 28 && y >= 7 && y <= 24)) = 1 ]; then
      b=190 g=235 r=250 a=255
      # the border and the flap, two lines from the top corners to the middle
      fx=$((x < 16 ? x - 3 : 28 - x))
      if [ $((x == 3 || x == 28 || y == 7 || y == 24 || y - 7 == fx * 2 / 3)) = 1 ]; then
        b=60 g=90 r=120
      fi
    fi
    # the cross: both diagonals, three pixels wide
    s=$((x - y)) t=$((x + y - 31))
    if [ "$kind" = uninstall ] && [ $(((s * s <= 1 || t * t <= 1) && x >= 4 && x <= 27)) = 1 ]; then
      b=30 g=30 r=220 a=255
    fi
  fi
  byte $b
  byte $g
  byte $r
  byte $a
}

image=$((40 + 32 * 32 * 4 + 32 * 4))
{
  bytes=""
  # The directory: reserved, type 1 (icon), one image; its entry: 32x32, no palette, one
  # plane, 32 bits, the size and offset of the image.
  number 0 2
  number 1 2
  number 1 2
  number 32 1
  number 32 1
  number 0 2
  number 1 2
  number 32 2
  number $image 4
  number 22 4
  # The bitmap header: the height counts the colour image and the mask.
  number 40 4
  number 32 4
  number 64 4
  number 1 2
  number 32 2
  number 0 24
  printf "$bytes"
  y=31
  while [ $y -ge 0 ]; do
    bytes=""
    x=0
    while [ $x -lt 32 ]; do
      pixel $x $y
      x=$((x + 1))
    done
    printf "$bytes"
    y=$((y - 1))
  done
  bytes=""
  number 0 128
  printf "$bytes"
} >"$out.tmp"
mv "$out.tmp" "$out"
