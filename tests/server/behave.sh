# Shared by the simulated server's programs: records each call in
# /var/log/vt-calls/calls.log ("NAME ARG..." per line) and carries out the
# behaviour that data/behaviour/NAME-COMMAND (or data/behaviour/NAME) asks
# for: fail, exit N, hang, broken, signal, not-utf8, socket, stderr.
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
    signal) kill -TERM $$ ;;
    not-utf8) printf 'caf\351\n'; exit 0 ;;
    socket) echo "error: can't connect to socket /var/run/db_tessel.sock"; exit 1 ;;
    stderr) echo "warning: slow answer" >&2 ;;
  esac
}
