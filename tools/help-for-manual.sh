#!/bin/sh
# help2man runs this as the program: glowcam with the option help2man gives
# (--help, --version), the usage lines of --help joined into the one line
# help2man reads the synopsis from.
"$1" "$2" | awk '
/^Usage:/ { usage = 1; line = $0; next }
usage && /^ +\[/ { sub(/^ +/, " "); line = line $0; next }
usage { print line; usage = 0 }
{ print }'
