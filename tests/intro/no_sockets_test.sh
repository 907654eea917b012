#!/usr/bin/env bash
# The presentation takes no socket code: only the live link's programs link
# net.h. Neither the calls it imports nor, where it keeps a symbol table, its
# own functions name a socket call or one of net.h's.
#   no_sockets_test.sh ZIRBELON
set -euo pipefail
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

imports=$(nm -D --undefined-only "$1" | awk '{ print $NF }')
[ -n "$imports" ] || fail "no imports found"
socket_calls='^(socket|socketpair|connect|bind|listen|accept|accept4|getaddrinfo|gethostbyname|gethostbyname_r|getnameinfo|send|sendto|sendmsg|recv|recvfrom|recvmsg|setsockopt|getsockopt|shutdown)(@.*)?$'
found=$(grep -E "$socket_calls" <<<"$imports" | tr '\n' ' ' || true)
[ -z "$found" ] || fail "imports socket calls: $found"

found=$(nm -C "$1" 2>/dev/null | grep -oE '\bnet_[a-z_]+\(' | sort -u | tr '\n' ' ' || true)
[ -z "$found" ] || fail "holds net.h's functions: $found"
echo "no socket calls among $(wc -l <<<"$imports") imports"
