#!/usr/bin/env bash
# Takes the pictures of docs/user-guide.md from the running system, as scripts/run.sh runs it:
# the application server on a temporary copy of the demo database, the host with the
# transported-services screen under Xvfb with a window manager, driven by keys alone.
# Installs Xvfb, openbox, xdotool and ImageMagick when they are missing.
#   scripts/screenshots.sh [build-dir]   (SERVTRAN_SHOT_DISPLAY and SERVTRAN_SHOT_PORT: where to start looking for a free display and port)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out="$root/docs/images"

# --- Tools ---
missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v openbox >/dev/null || missing+=(openbox)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v import >/dev/null || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "screenshots: missing ${missing[*]} and no sudo; run me as root" >&2; exit 1; }
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

[ -x "$build/bin/servtran-host" ] || "$root/scripts/build.sh" "$build"
bin="$build/bin"

# --- A private world: database, server, display ---
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=${SERVTRAN_SHOT_PORT:-18410}
while ! port_free $port; do port=$((port + 1)); done

"$build/server/servtran-server" --db "sqlite:$work/servtran.db" --demo --host 127.0.0.1 --port "$port" \
  >"$work/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  port_free $port || break
  sleep 0.1
done
port_free $port && { echo "screenshots: the application server did not start" >&2; cat "$work/server.log" >&2; exit 1; }

display=${SERVTRAN_SHOT_DISPLAY:-90}
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

# The demo's operators sign in with the demo password, from a file, as scripts/run.sh does.
(umask 077 && printf 'demo\n' >"$work/senha")
cat >"$work/servtran-host.ini" <<INI
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
# The print window keeps its choices in the user's settings: a fresh home for a fresh run.
HOME="$work" XDG_CONFIG_HOME="$work/config" "$bin/servtran-host" --config "$work/servtran-host.ini" --open PLA04100 \
  >"$work/host.log" 2>&1 &
pids+=($!)

host=$(xdotool search --sync --onlyvisible --name "Sistema de Produção" | head -1)
xdotool windowmove --sync "$host" 0 0
xdotool windowsize --sync "$host" 1280 870
xdotool windowactivate --sync "$host"
sleep 2

keys() { xdotool key --delay 120 "$@"; sleep "${pause:-0.6}"; }
typed() { xdotool type --delay 60 "$1"; sleep 0.3; }
shot() {
  sleep 0.8
  import -window root "$out/$1.png"
  echo "docs/images/$1.png"
}
window_named() { xdotool search --sync --onlyvisible --name "$1" | tail -1; }

# 1. The day: the service typed in the header, the header left with Tab. A service that does
# not exist first: its message, once, and the cursor kept in the field to correct it.
keys Tab
typed 99999
keys Tab
shot guia-8-mensagem
keys Escape
keys ctrl+a
typed 00001
pause=2 keys Tab Tab
shot guia-1-dia

# 2. A new delivery point (Incluir, F2) with its first dish, confirmed (F10) twice.
keys F2
typed 98765432100
keys Tab
typed 4
keys Tab
typed 80
pause=2 keys F10
typed 2010010003
keys Tab
typed 80
keys ctrl+Tab
typed 0,2
keys Tab
typed 3
pause=2 keys F10
# The day is read again: back to the dishes (Shift+Tab twice), up to the points, down to the new one.
keys shift+Tab shift+Tab alt+Prior Down alt+Next
shot guia-2-novo-ponto

# 3. The labels of the dish: Alt+Page Down from the dishes to the labels.
keys alt+Next
shot guia-3-etiquetas

# 4. The calculation dialog: Manutenção > Calcular (Alt+M, L).
keys alt+m
pause=2 keys l
window_named "Calcular Serviços Transportados" >/dev/null
shot guia-4-calculo
keys Escape

# 5. The labels' print window (Ctrl+P) and its print preview (Alt+V, Visualizar).
xdotool windowactivate --sync "$host"
pause=3 keys ctrl+p
shot guia-5-impressao
pause=4 keys alt+v
shot guia-6-visualizacao
keys Escape

# 6. The day's history of changes (Alt+H): the demo's calculation and what this walk saved.
pause=3 keys alt+h
shot guia-7-historico
keys Escape

# 7. The cold chain's report: three containers dispatched first (Alt+E), their labels' codes typed
# as the scanner types them, each temperature stored with Enter (the dispatch window's picture);
# then the report chosen as the document (Alt+O, End) and previewed (Alt+V).
pause=2 keys alt+e
window_named "Expedição dos Containers" >/dev/null
for dispatch in "0000000001|0001 65" "0000000001|0002 58" "0000000004|0001 3,5"; do
  typed "ST1|0001|00001|20261208|XXXX|${dispatch% *}"
  keys Return
  typed "${dispatch#* }"
  pause=1.5 keys Return
done
shot guia-7a-expedicao
keys Escape
xdotool windowactivate --sync "$host"
pause=2 keys alt+o End
pause=4 keys alt+v
shot guia-9-cadeia-fria
keys Escape

# 8. The phones' receipt page (docs/web.md): the browser test takes it at a phone's size, after
# recording a receipt, and the same page with a reading out of range.
SERVTRAN_PICTURE_DIR="$out" ctest --test-dir "$build" -R '^tst_webreceipt$' --output-on-failure
