#!/bin/sh
# new_process_path.sh MORLEX: after /a, a process started afresh finds the
# added entry in %PATH%, since Wine builds its environment from the registry.
set -u
morlex=$1
saved=$(wine reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *Path *REG_[A-Z_]* *//p')
wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d 'C:\MorlexFirst' /f >/dev/null
wine "$morlex" /a Path 'C:\MorlexSeen'
seen=$(wine cmd /c echo %PATH% | tr -d '\r')
if [ -n "$saved" ]; then
  wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$saved" /f >/dev/null
else
  wine reg delete 'HKCU\Environment' /v Path /f >/dev/null
fi
case "$seen" in
  *'C:\MorlexFirst;C:\MorlexSeen'*) echo "new process PATH: $seen" ;;
  *) echo "the added entry is missing from a new process's PATH: $seen"; exit 1 ;;
esac
