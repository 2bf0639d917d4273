#!/usr/bin/env bash
# The main job: installs what is missing, builds, creates the demo database (once), starts the
# application server on it and, beside it, the web front of the labels' links (HTTPS on loopback,
# with a self-signed certificate made at the first run), and opens the host with the
# transported-services screen. Without a
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
web_port="${SERVTRAN_WEB_PORT:-8443}"

# The web front's certificate: self-signed for this machine, made once (docs/web.md says how to
# put a real one behind the kitchen's public address).
if [ ! -f "$data/web.pem" ] || [ ! -f "$data/web.key" ]; then
  (umask 077 && openssl req -x509 -newkey rsa:2048 -nodes -days 825 -subj "/CN=127.0.0.1" \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" -keyout "$data/web.key" -out "$data/web.pem" 2>/dev/null)
fi

# The demo data set is loaded into an empty database only: later runs keep what the user saved.
"$root/build/server/servtran-server" --db "sqlite:$db" --demo --host 127.0.0.1 --port "$port" \
  --web-url "https://127.0.0.1:$web_port" &
server=$!
web=
trap 'kill $web $server 2>/dev/null; wait $web $server 2>/dev/null || true' EXIT
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

# The phones' page signs in as the demo's receipt operator RECEB (password "demo"), whose calls
# the server limits to the receipt's two methods, from a password file of its own.
web_password_file="$data/senha-receb"
[ -f "$web_password_file" ] || (umask 077 && printf 'demo\n' > "$web_password_file")
"$root/build/web/servtran-web" --host 127.0.0.1 --port "$web_port" --tls-cert "$data/web.pem" \
  --tls-key "$data/web.key" --server-port "$port" --operator RECEB --password-file "$web_password_file" &
web=$!
echo "Página de recebimento dos recipientes: https://127.0.0.1:$web_port/e/... (o link no código da etiqueta)"

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
