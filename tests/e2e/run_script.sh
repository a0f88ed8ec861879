#!/bin/sh
# run_script.sh: scripts/run.sh passes awkward arguments to Morlex exactly and
# shows the stored value exactly; arguments that Morlex's rules cannot carry
# are refused, and nothing is run.
set -u
cd "$(dirname "$0")/../.." || exit 1
failed=0
# shellcheck disable=SC1003 # a backslash ends the Windows folder
for value in 'a"b' 'C:\Program Files\Tool\' '"quoted"' 'one with  blanks' 'x"y z"w' '𝄞 田中'; do
  shown=$(scripts/run.sh MORLEX_RUN_SH "$value" | sed -n 's/^    MORLEX_RUN_SH    REG_EXPAND_SZ    //p')
  if [ "$shown" = "$value" ]; then
    echo "passed: [$value]"
  else
    echo "FAILED: [$value] shows as [$shown]"
    failed=1
  fi
done
if scripts/run.sh MORLEX_RUN_SH 'a"b' /s >/dev/null 2>&1; then
  echo "FAILED: an argument Morlex cannot take whole was passed on"
  failed=1
fi
scripts/run.sh MORLEX_RUN_SH >/dev/null
exit "$failed"
