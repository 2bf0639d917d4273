#!/usr/bin/env bash
# The main job: installs what is missing, builds, creates the demo database (once), starts the
# application server on it and opens the host with the transported-services screen. Without a
# display it runs under Xvfb. Closing the host stops the server. Run it as yourself (apt-get goes
# through sudo only when a package is missing); run as root in a user's checkout, it goes on as
# that user after installing.
#   scripts/run.sh [extra servtran-host options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
. "$root/scripts/owner.sh"
continue_as_checkout_owner "$0" "$@"
"$root/scripts/build.sh" "$root/build"

bin="$root/build/bin"
data="${SERVTRAN_DATA:-$root/build/demo}"
mkdir -p "$data"
db="$data/servtran.db"
port="${SERVTRAN_PORT:-8410}"

# The demo data set is loaded into an empty database only: later runs keep what the user saved.
"$root/build/server/servtran-server" --db "sqlite:$db" --demo --host 127.0.0.1 --port "$port" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 $server 2>/dev/null || { echo "the application server did not start" >&2; exit 1; }
  sleep 0.1
done

# The demo's operators sign in with the demo password "demo" (docs/server.md), here from a file
# so that nobody types it; a demo database made before operators had passwords gets it once.
password_file="$data/senha"
if [ ! -f "$password_file" ]; then
  for operator in ADMIN OPER1; do
    printf 'demo\n' | "$root/build/server/servtran-server" --db "sqlite:$db" --set-password "$operator" 2>/dev/null || true
  done
  (umask 077 && printf 'demo\n' > "$password_file")
fi

cat > "$data/servtran-host.ini" <<INI
[session]
branch=0001
operator=ADMIN
password-file=senha
date=08/12/2026
[server]
host=127.0.0.1
port=$port
[database]
path=servtran.db
[modules]
dir=$bin
INI

host=("$bin/servtran-host" --config "$data/servtran-host.ini" --open PLA04100 "$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x900x24" "${host[@]}"
else
  "${host[@]}"
fi
