#!/usr/bin/env bash
# Fails when a file of the portable core (decode/, message/, pop3/, signin/, app/) includes a platform
# header: the core must build and run the same on every platform, and platforms plug in
# behind small interfaces instead (the socket stream's, the TLS session's and the charset
# converter's implementations live under platform/).
set -u
root=${1:-.}
cd "$root" || exit 2
pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([Ww]indows\.h|[Ww]insock2?\.h|[Ww][Ss]2tcpip\.h|[Ss]hell[Aa][Pp][Ii]\.h|Q[A-Za-z]*(\.h)?|Qt[A-Za-z]*/[^>"]*|openssl/[^>"]*|curl/[^>"]*|iconv\.h|sys/[^>"]*|unistd\.h|netinet/[^>"]*|arpa/[^>"]*)[>"]'
hits=$(grep -rnE "$pattern" decode message pop3 signin app 2>/dev/null)
if [ -n "$hits" ]; then
  echo "Platform headers included by the portable core:"
  echo "$hits"
  exit 1
fi
echo "The portable core includes no platform header."
