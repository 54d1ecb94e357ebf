#!/usr/bin/env bash
# Tests how setup.sh installs what is missing, with stand-ins for dpkg-query,
# apt-get, sudo and id on a PATH of their own, so that nothing is installed
# and the machine's own sudo is never reached. The stand-in dpkg-query
# reports every package installed except those listed in the case's
# "missing" file (and those in "states", with the state given there);
# apt-get records how it was called, and "installs" by taking packages off
# the missing list.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/calvane-setup-test-XXXXXX")
trap 'rm -rf "$work"' EXIT

tools=$work/tools
mkdir -p "$tools"
for tool in bash env dirname sed grep; do ln -s "$(command -v "$tool")" "$tools/$tool"; done
cat > "$tools/dpkg-query" <<'EOF'
#!/bin/bash
echo "dpkg-query" >> "$CASE/calls"
unknown=0
for argument in "$@"; do
  case $argument in -W | -f=*) continue ;; esac
  if grep -qxF "$argument" "$CASE/missing"; then
    echo "dpkg-query: no packages found matching $argument" >&2
    unknown=1
  elif state=$(sed -n "s/^$argument //p" "$CASE/states") && [ -n "$state" ]; then
    echo "$argument $state"
  else
    echo "$argument install ok installed"
  fi
done
exit $unknown
EOF
cat > "$tools/apt-get" <<'EOF'
#!/bin/bash
echo "sudo=${FAKE_SUDO:-no} frontend=${DEBIAN_FRONTEND:-} apt-get $*" >> "$CASE/calls"
[ "$1" != update ] || exit "${FAKE_UPDATE_STATUS:-0}"
names=()
while [ $# -gt 0 ]; do
  case $1 in
    -o) shift ;;
    -* | install) ;;
    *) names+=("$1") ;;
  esac
  shift
done
[ -n "${FAKE_APT_INSTALLS_NOTHING:-}" ] && exit 0
for name in "${names[@]}"; do
  sed -i "/^$name\$/d" "$CASE/missing"
  sed -i "/^$name /d" "$CASE/states"
done
EOF
cat > "$tools/id" <<'EOF'
#!/bin/bash
[ "$1" = -u ] && echo "$FAKE_UID"
EOF
cat > "$work/sudo" <<'EOF'
#!/bin/bash
FAKE_SUDO=yes exec "$@"
EOF
chmod +x "$tools"/* "$work/sudo"

passed=0
failed=0
check() {  # check DESCRIPTION CONDITION...
  local description=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $case_name: $description" >&2
    echo "  calls:" >&2
    sed 's/^/    /' "$CASE/calls" >&2
    echo "  output:" >&2
    sed 's/^/    /' "$CASE/output" >&2
  fi
}
# new_case NAME UID SUDO MISSING... : a machine as root (UID 0) or not, with
# sudo or without, lacking MISSING.
new_case() {
  case_name=$1
  export CASE=$work/$1 FAKE_UID=$2
  mkdir -p "$CASE/bin"
  cp -a "$tools"/. "$CASE/bin/"
  [ "$3" = sudo ] && cp "$work/sudo" "$CASE/bin/"
  shift 3
  printf '%s\n' "$@" > "$CASE/missing"
  : > "$CASE/states"
  : > "$CASE/calls"
}
run_setup() {  # runs setup.sh with the case's tools only; sets $status
  status=0
  env -i PATH="$CASE/bin" CASE="$CASE" FAKE_UID="$FAKE_UID" ${FAKE_UPDATE_STATUS:+FAKE_UPDATE_STATUS=$FAKE_UPDATE_STATUS} \
    ${FAKE_APT_INSTALLS_NOTHING:+FAKE_APT_INSTALLS_NOTHING=1} \
    "$root/setup.sh" "$@" > "$CASE/output" 2>&1 || status=$?
}
calls_of() { grep -c "$1" "$CASE/calls" || true; }
line_of() { sed -n "/$1/=" "$CASE/calls" | head -1; }
installs() {  # the package names of the install call, sorted, on one line
  sed -n 's/.*apt-get install //p' "$CASE/calls" | tr ' ' '\n' | grep -v '^-' | grep -vx 'DPkg::Lock::Timeout=300' | sort | tr '\n' ' '
}

# ---- nothing missing: one dpkg-query, no apt-get (and so no root needed)
new_case nothing-missing 1000 no-sudo
run_setup --packages-only
check "exits 0" [ "$status" -eq 0 ]
check "asks dpkg-query once" [ "$(calls_of dpkg-query)" -eq 1 ]
check "does not run apt-get" [ "$(calls_of apt-get)" -eq 0 ]

# ---- root: update, then install exactly what is missing, without sudo
new_case root 0 sudo tmux
echo "ccache deinstall ok config-files" > "$CASE/states"
run_setup --packages-only tests
check "exits 0" [ "$status" -eq 0 ]
check "runs apt-get update without sudo" [ "$(calls_of '^sudo=no frontend= apt-get update')" -eq 1 ]
check "installs without sudo, non-interactively" [ "$(calls_of '^sudo=no frontend=noninteractive apt-get install')" -eq 1 ]
check "updates before installing" [ "$(line_of 'apt-get update')" -lt "$(line_of 'apt-get install')" ]
check "installs the missing and the removed package, nothing else" [ "$(installs)" = "ccache tmux " ]
check "says what it installs" grep -q "installing ccache tmux" "$CASE/output"

# ---- not root, with sudo: both apt-get calls through sudo
new_case user-with-sudo 1000 sudo libopenimageio-dev
run_setup --packages-only base
check "exits 0" [ "$status" -eq 0 ]
check "runs apt-get update through sudo" [ "$(calls_of '^sudo=yes frontend= apt-get update')" -eq 1 ]
check "installs through sudo" [ "$(calls_of '^sudo=yes frontend=noninteractive apt-get install')" -eq 1 ]
check "installs the missing package" [ "$(installs)" = "libopenimageio-dev " ]

# ---- not root, no sudo: a clear failure, no apt-get
new_case user-without-sudo 1000 no-sudo cmake
run_setup --packages-only base
check "fails" [ "$status" -eq 1 ]
check "does not run apt-get" [ "$(calls_of apt-get)" -eq 0 ]
check "names the package and says to run as root" grep -q "cmake missing.*run this as root" "$CASE/output"

# ---- groups: each asks only for its own packages
new_case groups 0 no-sudo tmux help2man clang libbenchmark-dev
run_setup --packages-only base
check "base leaves tmux, help2man, clang and benchmark alone" [ "$(calls_of apt-get)" -eq 0 ]
run_setup --packages-only package
check "package installs help2man only" [ "$(installs)" = "help2man " ]
: > "$CASE/calls"
run_setup --packages-only
check "no group: tests, fuzz and bench" [ "$(installs)" = "clang libbenchmark-dev tmux " ]

# ---- apt-get fails, or says it worked but did not install
new_case update-fails 0 no-sudo tmux
FAKE_UPDATE_STATUS=100 run_setup --packages-only tests
check "a failed apt-get update fails setup" [ "$status" -ne 0 ]
check "and nothing is installed after it" [ "$(calls_of 'apt-get install')" -eq 0 ]
new_case install-does-nothing 0 no-sudo tmux
FAKE_APT_INSTALLS_NOTHING=1 run_setup --packages-only tests
check "a package still missing after apt-get fails setup" [ "$status" -eq 1 ]
check "and is named" grep -q "did not install tmux" "$CASE/output"

# ---- usage
new_case usage 0 no-sudo
run_setup --packages-only nonsense
check "an unknown argument exits 2" [ "$status" -eq 2 ]
check "and installs nothing" [ "$(calls_of apt-get)" -eq 0 ]

echo "setup.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
