#!/bin/sh
# The archive address that scripts/install-deps takes from apt's sources for
# the backports entry it writes, over sample configuration folders.
set -eu
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check <name> <expected address, empty for none>; the case's files are in $work/<name>.
check() {
    got=$("$script" --archive-address bookworm "$work/$1")
    if [ "$got" = "$2" ]; then
        echo "archive_address: $1: ok"
    else
        echo "archive_address: $1: got '$got', expected '$2'" >&2
        failures=$((failures + 1))
    fi
}
folder() { mkdir -p "$work/$1/sources.list.d"; }

folder deb822
cat > "$work/deb822/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
# a comment line inside the stanza
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main
SOURCES
check deb822 http://mirror.example/debian

folder deb822-skips
cat > "$work/deb822-skips/sources.list.d/debian.sources" <<'SOURCES'
Types: deb-src
URIs: http://source.example/debian
Suites: bookworm

Types: deb
URIs: http://disabled.example/debian
Suites: bookworm
Enabled: no

Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security

Types: deb deb-src
URIs: http://local.example/debian
Suites: bookworm
SOURCES
check deb822-skips http://local.example/debian

folder one-line
cat > "$work/one-line/sources.list" <<'LIST'
# deb http://commented.example/debian bookworm main
deb-src http://source.example/debian bookworm main
deb http://security.example/debian-security bookworm-security main
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://list.example/debian bookworm main
LIST
check one-line http://list.example/debian

folder list-in-folder
echo 'deb http://folder.example/debian bookworm main contrib' > "$work/list-in-folder/sources.list.d/mirror.list"
check list-in-folder http://folder.example/debian

folder deb822-first
cp "$work/deb822/sources.list.d/debian.sources" "$work/deb822-first/sources.list.d/"
echo 'deb http://list.example/debian bookworm main' > "$work/deb822-first/sources.list"
check deb822-first http://mirror.example/debian

folder security-only
echo 'deb http://security.example/debian-security bookworm-security main' > "$work/security-only/sources.list"
check security-only ""

folder empty
check empty ""

[ "$failures" -eq 0 ]
