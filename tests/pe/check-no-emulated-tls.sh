#!/usr/bin/env bash
# check-no-emulated-tls.sh FILE NAMESPACE...
# The toolchain's thread_local is emulated on Windows: every read is a call.
# No emulated TLS variable of the named C++ namespaces may be in FILE. (The C++
# runtime's own exception globals stay emulated; they are read only on a throw.)
set -u
file=$1; shift
symbols=$(objdump -t "$file" 2>&1) || { echo "objdump failed on $file"; exit 1; }
if ! echo "$symbols" | grep -q "emutls"; then
  echo "OK $file: no emulated TLS at all"
  exit 0
fi
fail=0
for ns in "$@"; do
  # Itanium names: _ZN<length><namespace>... for members of the namespace.
  found=$(echo "$symbols" | grep -o "__emutls_v\._ZN${#ns}${ns}[A-Za-z0-9_]*" | sort -u)
  if [ -n "$found" ]; then
    echo "FAIL $file has emulated TLS in namespace $ns:"
    echo "$found" | sed 's/^/  /'
    fail=1
  fi
done
[ $fail = 0 ] && echo "OK $file: no emulated TLS of $*"
exit $fail
