# The event source "Tsl" of the Application log and its message file: the
# language library carries the texts of the records and of their three
# categories.
eventsource='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Tsl'
messagefile=$(windows_path "$program/OrvRes409.dll")
set_value "$eventsource" EventMessageFile REG_SZ "$messagefile"
set_value "$eventsource" CategoryMessageFile REG_SZ "$messagefile"
set_value "$eventsource" CategoryCount REG_DWORD 3
# Error, warning and information records.
set_value "$eventsource" TypesSupported REG_DWORD 7
mkdir -p "$root/eventlog"
# The records name the files that changed: for root alone.
chmod 700 "$root/eventlog"
if [[ -e $root/eventlog/Application.log ]]; then chmod 600 "$root/eventlog/Application.log"; fi
