#!/bin/sh
# The Wine packages installed now, one "name:arch=version" a line. A prefix records what made it:
# one made by other Wine packages fails to start ("could not load kernel32.dll") and is made again.
dpkg-query -W -f '${Package}:${Architecture}=${Version}\n' 'wine*' 'libwine*' 2>/dev/null | sort
