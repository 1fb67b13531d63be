# The task scheduler: the tasks folder that holds the work items (their
# command lines are root's business) and the service "Schedule" that runs
# them, started automatically. A registered service is kept as it is.
mkdir -p "$root/tasks"
chmod 700 "$root/tasks"
if [[ -x $program/kvschedule && -x $program/kvsc ]]; then
  if ! "$program/kvsc" qc Schedule > /dev/null 2>&1; then
    "$program/kvsc" create Schedule binPath= "$program/kvschedule" start= auto DisplayName= "Task Scheduler" > /dev/null
  fi
fi
