#!/bin/sh
# examples.sh MORLEX WORK: runs every batch and cmd example of the README and
# of docs/ under Wine's cmd.exe, as the documents hold them, with MORLEX on
# the PATH, and checks what each leaves in the registry. A ```bat block runs
# as a batch file; a ```cmd block is typed at a prompt, one command line a
# line. Each block stands under a comment that says what it starts from and
# leaves, in lines of
#   before: user|system NAME [VALUE]   stored before it runs (no VALUE: not stored)
#   after: user|system NAME [VALUE]    stored after it ran
#   exit: N                            its exit code (0 when not given)
# between "<!-- example" and "-->"; a block without one fails, so that no
# example goes unchecked. Where an example says nothing of the system Path,
# it starts from %SystemRoot%\system32;%SystemRoot%, so that cmd finds its
# own programs. The values it names are put back afterwards.
set -u
morlex=$1
work=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
# On the PATH, as an installer's folder would be.
windows=$(wine cmd /c 'echo %windir%' | tr -d '\r')
cp "$morlex" "$(winepath -u "$windows")/Morlex.exe"
# And beside the batch files, as an installer's own copy would be.
drive=$(winepath -u C:/)
cp "$morlex" "$drive/Morlex.exe"

# Each example as N.bat or N.cmd, with N.expect (its comment) and N.where.
(cd "$here" && awk -v out="$work" '
  FNR == 1 { comment = ""; taking = 0; block = 0 }
  /^<!-- example/ { taking = 1; comment = ""; next }
  taking && /^-->/ { taking = 0; pending = 1; next }
  taking { comment = comment $0 "\n"; next }
  block && /^ *```/ { block = 0; next }
  block { sub(/^  /, ""); printf "%s\r\n", $0 > file; next }
  /^ *```(bat|cmd) *$/ {
    n++
    kind = $0; sub(/^ *```/, "", kind); sub(/ *$/, "", kind)
    file = out "/" n "." kind
    printf "%s:%d\n", FILENAME, FNR > (out "/" n ".where")
    printf "%s", (pending ? comment : "unchecked\n") > (out "/" n ".expect")
    block = 1; pending = 0; next
  }
  NF { pending = 0 }
' README.md docs/*.md docs/design/*.md)

# key SCOPE: the scope's key as reg.exe names it.
key() {
  if [ "$1" = system ]; then
    echo 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
  else
    echo 'HKCU\Environment'
  fi
}
# value SCOPE NAME: the value as stored, or "(not stored)".
value() {
  wine reg query "$(key "$1")" /v "$2" >"$work/query.txt" 2>/dev/null ||
    { echo '(not stored)'; return; }
  tr -d '\r' <"$work/query.txt" | sed -n "s/^    $2    REG_[A-Z_]*    //p" | head -n 1
}
# store SCOPE NAME [VALUE]: stores VALUE, or deletes the value.
store() {
  if [ $# -gt 2 ]; then
    wine reg add "$(key "$1")" /v "$2" /t REG_EXPAND_SZ /d "$3" /f >/dev/null 2>&1
  else
    wine reg delete "$(key "$1")" /v "$2" /f >/dev/null 2>&1
  fi
  return 0
}

failed=0
count=0
for expect in "$work"/*.expect; do
  n=$(basename "$expect" .expect)
  where=$(cat "$work/$n.where")
  count=$((count + 1))
  if [ "$(cat "$expect")" = unchecked ]; then
    printf 'FAILED: %s: an example with no "<!-- example" comment to check it by\n' "$where"
    failed=1
    continue
  fi
  # What it names, saved, then set as it starts from.
  saved=$work/$n.saved
  : >"$saved"
  grep -q '^before: system Path' "$expect" ||
    printf 'before: system Path %s\n' '%SystemRoot%\system32;%SystemRoot%' >>"$expect"
  while read -r what scope name rest; do
    case $what in before: | after:) ;; *) continue ;; esac
    grep -q "^$scope $name " "$saved" || printf '%s %s %s\n' "$scope" "$name" "$(value "$scope" "$name")" >>"$saved"
    if [ "$what" = before: ]; then
      if [ -n "$rest" ]; then store "$scope" "$name" "$rest"; else store "$scope" "$name"; fi
    fi
  done <"$expect"

  if [ -f "$work/$n.bat" ]; then
    cp "$work/$n.bat" "$drive/morlex-example.bat"
    wine cmd /d /c 'C:\morlex-example.bat' >"$work/$n.out" 2>&1
    rc=$?
  else
    # Each line as typed at a prompt: a batch file reads it and hands it,
    # unexpanded, to a cmd of its own (Wine hands cmd a quoted argument with
    # backslash escapes, which cmd does not undo).
    printf '@setlocal enabledelayedexpansion\r\n@set /p line=<C:\\morlex-line.txt\r\n@cmd /d /c !line!\r\n' \
      >"$drive/morlex-prompt.bat"
    rc=0
    while IFS= read -r line; do
      [ -z "$(printf '%s' "$line" | tr -d '\r')" ] && continue
      printf '%s\n' "$line" >"$drive/morlex-line.txt"
      wine cmd /d /c 'C:\morlex-prompt.bat' >>"$work/$n.out" 2>&1
      rc=$?
    done <"$work/$n.cmd"
  fi

  wanted=$(sed -n 's/^exit: *//p' "$expect")
  ok=yes
  [ "$rc" = "${wanted:-0}" ] || { printf 'FAILED: %s: exit %s, not %s\n' "$where" "$rc" "${wanted:-0}"; ok=no; }
  while read -r what scope name rest; do
    [ "$what" = after: ] || continue
    now=$(value "$scope" "$name")
    if [ "$now" != "${rest:-(not stored)}" ]; then
      printf 'FAILED: %s: %s %s is [%s], not [%s]\n' "$where" "$scope" "$name" "$now" "${rest:-(not stored)}"
      ok=no
    fi
  done <"$expect"
  if [ $ok = yes ]; then
    printf 'passed: %s\n' "$where"
  else
    sed 's/^/    /' "$work/$n.out"
    failed=1
  fi

  while read -r scope name rest; do
    if [ "$rest" = '(not stored)' ]; then store "$scope" "$name"; else store "$scope" "$name" "$rest"; fi
  done <"$saved"
done
[ "$count" -gt 0 ] || { echo "FAILED: no examples found"; failed=1; }
exit "$failed"
