#!/usr/bin/env bash
# The manual pages against the programs: they must format without a warning, name the
# programs' version, and document every long option and every pelagon-dsr command that
# --help lists.
# Usage: man_pages_test.sh PELAGON-DSR PELAGON-INSTALL MAN-FOLDER
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 PELAGON-DSR PELAGON-INSTALL MAN-FOLDER" >&2; exit 2; }
command -v groff >/dev/null || { echo "FAIL: groff is not installed (Debian: groff-base)" >&2; exit 1; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

check_page() {  # program page
  local program=$1 page=$2 help version text warnings options name
  [[ -f $page ]] || { fail "$page is missing"; return; }
  warnings=$(groff -man -ww -z "$page" 2>&1) || true
  [[ -z $warnings ]] || fail "$page: groff warns:"$'\n'"$warnings"
  # Options written with a bare hyphen render as U+2010 and cannot be copied.
  ! grep -nE '(^|[[:space:]([|])--?[[:alpha:]]' "$page" >&2 || fail "$page: unescaped hyphen in an option (write \\-)"
  # The page as a reader sees it, plain ASCII, one paragraph a line, no hyphenation.
  text=$(groff -man -Tascii -rLL=2000n -rHY=0 -P-cbou "$page" 2>/dev/null)
  if ! help=$("$program" --help) || ! version=$("$program" --version); then
    fail "$program --help or --version fails"; return
  fi
  version=${version##* }
  grep -qF "pelagon-kd $version" <<<"$text" || fail "$page: does not name version $version"
  options=$(grep -oE -- '--[[:alpha:]][[:alnum:]-]*' <<<"$help" | sort -u) || true
  [[ -n $options ]] || fail "$program --help lists no long option"
  for name in $options; do
    grep -qE -- "(^|[^[:alnum:]-])$name([^[:alnum:]-]|$)" <<<"$text" || fail "$page: does not mention $name"
  done
  PAGE_TEXT=$text HELP_TEXT=$help
}

check_page "$1" "$3/pelagon-dsr.1"
commands=$(awk '/^Commands:/ {on = 1; next} /^$/ {on = 0} on && /^  [a-z]/ {print $1}' <<<"${HELP_TEXT:-}")
[[ -n $commands ]] || fail "$1 --help lists no command"
# Each command needs its own entry in the COMMANDS section, not just a word in the prose.
section=$(sed -n '/^COMMANDS$/,/^[A-Z]/p' <<<"${PAGE_TEXT:-}")
for name in $commands; do
  grep -qE "^ +$name( |$)" <<<"$section" || fail "$3/pelagon-dsr.1: no entry for the command '$name' under COMMANDS"
done
check_page "$2" "$3/pelagon-install.1"

((failures == 0)) || { echo "$failures problem(s) in the manual pages" >&2; exit 1; }
echo "manual pages: OK"
