# The configuration console: the folders its first start treats as the
# Windows and system folders, the snap-in's registration, and the console
# document kvmmc opens (Tsl3.msc in the program folder).

# This system's programs and libraries live in /usr and /usr/bin.
windows_version='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
set_value "$windows_version" SystemRoot REG_SZ 'C:\usr'
set_value "$windows_version" SystemDirectory REG_SZ 'C:\usr\bin'

console_module=$program/OrvConsole.so
if [[ -e $console_module && -x $bin/kvregsvr32 ]]; then
  # Registration writes the same values again, with the module's current path.
  "$bin/kvregsvr32" /s "$console_module"
  document=$program/Tsl3.msc
  if [[ ! -e $document ]]; then
    cat > "$document" <<'MSC'
# Kestrava console document
SnapIn={B103D0C5-3192-4123-BD83-ABDAACA9F990}
MSC
  fi
else
  echo "install.sh: OrvConsole.so or kvregsvr32 not built; the console is not registered" >&2
fi
