# Shared by the simulated server's programs: records each call in
# /var/log/vt-calls/calls.log ("NAME ARG..." per line) and carries out the
# behaviour that data/behaviour/NAME-COMMAND (or data/behaviour/NAME) asks
# for: fail, exit N, hang, broken, trailing (answers as usual, then " x"),
# signal, not-utf8, socket, stderr, endless (writes without end), spawn (starts a sleeper, writes "PID SLEEPER_PID" to
# /var/log/vt-calls/spawned and hangs), fds (lists its own open descriptors
# in /var/log/vt-calls/fds.helper and its caller's in fds.caller, then
# answers as usual).
data=/usr/share/kob-stats3/scripts/data

behave() {
  name=$1
  shift
  if [ -d /var/log/vt-calls ]; then
    { printf '%s' "$name"; for arg in "$@"; do printf ' %s' "$arg"; done; echo; } \
      >> /var/log/vt-calls/calls.log
  fi
  file=$data/behaviour/$name-$1
  [ -f "$file" ] || file=$data/behaviour/$name
  [ -f "$file" ] || return 0
  read -r what code < "$file"
  case "$what" in
    fail) echo "simulated failure of $name $1" >&2; exit 1 ;;
    exit) exit "$code" ;;
    hang) exec sleep 3600 ;;
    broken) echo '{"broken": '; exit 0 ;;
    trailing) trap 'echo " x"' EXIT ;;
    signal) kill -TERM $$ ;;
    not-utf8) printf 'caf\351\n'; exit 0 ;;
    socket) echo "error: can't connect to socket /var/run/db_tessel.sock"; exit 1 ;;
    stderr) echo "warning: slow answer" >&2 ;;
    endless) exec yes ;;
    spawn)
      sleep 3600 &
      echo "$$ $!" > /var/log/vt-calls/spawned.new
      mv /var/log/vt-calls/spawned.new /var/log/vt-calls/spawned
      exec sleep 3600 ;;
    fds)
      ls /proc/self/fd > /var/log/vt-calls/fds.helper
      ls "/proc/$PPID/fd" > /var/log/vt-calls/fds.caller ;;
  esac
}
