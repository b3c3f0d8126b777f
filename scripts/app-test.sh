#!/usr/bin/env bash
# The real OBS Studio with the module installed from the Debian package: builds the package
# (scripts/package.sh), installs it with apt, and starts `obs` under Xvfb with a prepared profile
# and scene collection: a Sayline source that sends its speech to a Whisper-compatible server on
# loopback, and a media source looping a spoken WAV into the program mix. Checks that the
# module loads from the system plug-in folder, that the subtitle appears in the preview (OCR of
# a screenshot), that the Sayline dock is shown with the source's status and the subtitle in its
# transcript (OCR), and that OBS exits 0 when its main window is closed while the source
# captures.
# OBS and its helpers run in a network namespace of their own where one exists: nothing but
# loopback to reach.
# Usage: scripts/app-test.sh            (as root)
# Screenshots, the OBS log and the helpers' output stay in build-package/app-test/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="$root/build-package/app-test"
helpers="$root/build-package/tests"
sentence="HELLO FROM SAYLINE"
collection="Sayline app test"
profile="Sayline app test"
scene="Subtitles"
screen_w=1920
screen_h=1080

say() { echo "app-test: $*"; }

# ---------------------------------------------------------------------------------------------
# Inside: the display, the speech server and OBS. Every process started here is ended on exit.
# ---------------------------------------------------------------------------------------------
pids=()
obs_pid=""
obs_log=""

stop_started() {
  local pid
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  pids=()
}

fail() {
  echo "app-test: FAILED: $*" >&2
  if [ -n "$obs_log" ] && [ -f "$obs_log" ]; then
    echo "app-test: last lines of the OBS log ($obs_log):" >&2
    tail -n 40 "$obs_log" >&2
  fi
  [ -f "$work/whisper-stub.log" ] && tail -n 5 "$work/whisper-stub.log" >&2
  exit 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: runs COMMAND every 0.5 s until it succeeds.
wait_for() {
  local seconds="$1" what="$2"
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$what (waited ${seconds} s)"
    if [ -n "$obs_pid" ] && ! kill -0 "$obs_pid" 2>/dev/null; then
      fail "OBS ended while waiting: $what"
    fi
    sleep 0.5
  done
}

uploads_so_far() { grep -c "answered" "$work/whisper-stub.log" || true; }
more_uploads_than() { [ "$(uploads_so_far)" -gt "$1" ]; }
in_log() { [ -n "$obs_log" ] && grep -qF -- "$1" "$obs_log"; }
find_obs_log() {
  obs_log="$(ls -t "$work/config/obs-studio/logs/"*.txt 2>/dev/null | head -n 1 || true)"
  [ -n "$obs_log" ]
}
main_window() { xdotool search --onlyvisible --name '^OBS [0-9]' 2>/dev/null | head -n 1; }
has_main_window() { [ -n "$(main_window)" ]; }

screenshot() {
  ffmpeg -nostdin -loglevel error -y -f x11grab -video_size "${screen_w}x${screen_h}" \
    -i "$DISPLAY" -frames:v 1 "$1"
}

# What tesseract reads in an image, as is and inverted (light text on the dark preview),
# each at twice the size; with a CROP (an ffmpeg crop filter) only in that part. PSM is
# tesseract's page segmentation: 3 (the default) finds the blocks of a whole window, 6 reads one
# block of lines such as the dock's.
ocr() {
  local image="$1" base="${1%.png}" crop="${2:+$2,}" psm="${3:-3}"
  ffmpeg -nostdin -loglevel error -y -i "$image" -vf "${crop}format=gray,scale=iw*2:ih*2" \
    "$base-x2.png"
  ffmpeg -nostdin -loglevel error -y -i "$image" -vf "${crop}format=gray,negate,scale=iw*2:ih*2" \
    "$base-neg.png"
  tesseract "$base-x2.png" - --psm "$psm" 2>/dev/null || true
  tesseract "$base-neg.png" - --psm "$psm" 2>/dev/null || true
  rm -f "$base-x2.png" "$base-neg.png"
}

# Letters only, upper case: OCR's spacing and punctuation do not matter.
letters() { tr '[:lower:]' '[:upper:]' | tr -cd 'A-Z\n'; }

# wait_for_text TEXT SECONDS NAME [CROP]: screenshots until OCR reads TEXT on one line (in CROP
# when given); the image where it did is kept as NAME.png, its reading as NAME.txt.
wait_for_text() {
  local text="$1" seconds="$2" name="$3" crop="${4:-}"
  local wanted deadline=$((SECONDS + $2)) n=0 shot
  wanted="$(printf '%s' "$text" | letters)"
  while :; do
    n=$((n + 1))
    shot="$work/shots/$name-$(printf '%02d' "$n").png"
    screenshot "$shot" || fail "no screenshot of $DISPLAY"
    ocr "$shot" "$crop" >"${shot%.png}.txt"
    if letters <"${shot%.png}.txt" | grep -qF -- "$wanted"; then
      cp "$shot" "$work/$name.png"
      cp "${shot%.png}.txt" "$work/$name.txt"
      return 0
    fi
    [ "$SECONDS" -lt "$deadline" ] || return 1
    kill -0 "$obs_pid" 2>/dev/null || fail "OBS ended while waiting for \"$text\" on screen"
    sleep 1
  done
}

# What OCR read as one run of upper-case letters, digits and colons: a line the dock wraps reads
# as it was.
joined() { tr '[:lower:]' '[:upper:]' | tr -cd 'A-Z0-9:'; }

# wait_for_all SECONDS NAME CROP PATTERN...: screenshots until what OCR read in CROP, as one
# block of lines (see ocr), matches every PATTERN (extended regular expressions, against joined);
# the image is kept as NAME.png, its reading as NAME.txt.
wait_for_all() {
  local seconds="$1" name="$2" crop="$3"
  shift 3
  local deadline=$((SECONDS + seconds)) n=0 shot pattern found
  while :; do
    n=$((n + 1))
    shot="$work/shots/$name-$(printf '%02d' "$n").png"
    screenshot "$shot" || fail "no screenshot of $DISPLAY"
    ocr "$shot" "$crop" 6 >"${shot%.png}.txt"
    found=1
    for pattern in "$@"; do
      joined <"${shot%.png}.txt" | grep -qE -- "$pattern" || { found=0; break; }
    done
    if [ "$found" -eq 1 ]; then
      cp "$shot" "$work/$name.png"
      cp "${shot%.png}.txt" "$work/$name.txt"
      return 0
    fi
    [ "$SECONDS" -lt "$deadline" ] || return 1
    kill -0 "$obs_pid" 2>/dev/null || fail "OBS ended while waiting for the $name on screen"
    sleep 1
  done
}

write_config() {
  local port="$1" cfg="$work/config/obs-studio"
  mkdir -p "$cfg/basic/profiles/$profile" "$cfg/basic/scenes"
  # FirstRun: the auto-configuration wizard has been offered; no tray icon without a desktop;
  # the WebSocket server stays off (nothing listens, no password is generated).
  cat >"$cfg/global.ini" <<EOF
[General]
FirstRun=true
Pre19Defaults=false
Pre21Defaults=false
Pre23Defaults=false
Pre24.1Defaults=false

[Basic]
Profile=$profile
ProfileDir=$profile
SceneCollection=$collection
SceneCollectionFile=$collection

[BasicWindow]
SysTrayEnabled=false
PreviewEnabled=true

[OBSWebSocket]
FirstLoad=false
ServerEnabled=false
EOF
  # A small canvas keeps Mesa's software renderer at the frame rate.
  cat >"$cfg/basic/profiles/$profile/basic.ini" <<EOF
[General]
Name=$profile

[Video]
BaseCX=1280
BaseCY=720
OutputCX=1280
OutputCY=720
FPSType=1
FPSInt=30

[Audio]
SampleRate=48000
ChannelSetup=Stereo
EOF
  # The Sayline source's box (the canvas' width, 160 high) across the middle; the media source
  # plays into every mixer track, so into the program mix the source listens to.
  cat >"$cfg/basic/scenes/$collection.json" <<EOF
{
  "name": "$collection",
  "current_scene": "$scene",
  "current_program_scene": "$scene",
  "scene_order": [{"name": "$scene"}],
  "sources": [
    {
      "id": "scene", "versioned_id": "scene", "name": "$scene", "enabled": true,
      "settings": {
        "id_counter": 2,
        "items": [
          {"id": 1, "name": "Speech", "visible": true, "locked": false, "rot": 0.0,
           "pos": {"x": 0.0, "y": 0.0}, "scale": {"x": 1.0, "y": 1.0}, "align": 5,
           "bounds_type": 0, "bounds_align": 0, "bounds": {"x": 0.0, "y": 0.0}},
          {"id": 2, "name": "Sayline", "visible": true, "locked": false, "rot": 0.0,
           "pos": {"x": 0.0, "y": 280.0}, "scale": {"x": 1.0, "y": 1.0}, "align": 5,
           "bounds_type": 0, "bounds_align": 0, "bounds": {"x": 0.0, "y": 0.0}}
        ]
      }
    },
    {
      "id": "ffmpeg_source", "versioned_id": "ffmpeg_source", "name": "Speech",
      "enabled": true, "muted": false, "volume": 1.0, "mixers": 255, "monitoring_type": 0,
      "settings": {
        "is_local_file": true, "local_file": "$work/speech.wav", "looping": true,
        "restart_on_activate": true, "close_when_inactive": false, "hw_decode": false
      }
    },
    {
      "id": "sayline_source", "versioned_id": "sayline_source", "name": "Sayline",
      "enabled": true,
      "settings": {
        "stt_engine": "whisper_api", "whisper_base_url": "http://127.0.0.1:$port",
        "source_language": "en", "enable_translation": false, "subtitle_duration": 6000
      }
    }
  ],
  "transitions": [],
  "current_transition": "Fade",
  "transition_duration": 300,
  "groups": [],
  "quick_transitions": [],
  "saved_projectors": [],
  "modules": {}
}
EOF
}

run_inside() {
  if [ "${1:-}" = "--private-network" ]; then
    ip link set lo up || fail "cannot bring up loopback in the private network"
  fi
  trap stop_started EXIT
  trap 'exit 143' TERM INT
  mkdir -p "$work/shots" "$work/home" "$work/cache" "$work/runtime"
  chmod 700 "$work/runtime"
  export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
  export XDG_RUNTIME_DIR="$work/runtime" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
  # The host's own plug-ins fetch service lists over HTTPS at start; a proxy that refuses
  # keeps them off the network even without a private network. Loopback goes direct.
  export http_proxy=http://127.0.0.1:9 https_proxy=http://127.0.0.1:9
  export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

  say "speech: espeak-ng -> $work/speech.wav"
  espeak-ng -v en-us -s 150 -w "$work/speech.wav" \
    "Hello from Sayline. These words become live subtitles in the scene." ||
    fail "espeak-ng could not make the speech file"

  "$helpers/sayline_whisper_stub" "$work/whisper-stub.port" "$sentence" 900 \
    </dev/null >"$work/whisper-stub.log" 2>&1 &
  pids+=($!)
  wait_for 10 "the speech server did not start (see $work/whisper-stub.log)" \
    test -s "$work/whisper-stub.port"
  local port
  port="$(cat "$work/whisper-stub.port")"
  say "speech server: http://127.0.0.1:$port"
  write_config "$port"

  # Xvfb picks a free display and writes its number once it accepts clients.
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp -noreset \
    </dev/null >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
  wait_for 15 "Xvfb did not start (see $work/xvfb.log)" test -s "$work/display"
  export DISPLAY=":$(head -n 1 "$work/display")"
  say "display: $DISPLAY"

  local started=$SECONDS
  # No --disable-missing-files-check: with it OBS 29 leaks the list it did not check (one
  # allocation in the count at exit). The speech file is there, so no dialog comes up.
  obs --multi --collection "$collection" --profile "$profile" --scene "$scene" \
    --disable-updater </dev/null >"$work/obs-stdout.log" 2>&1 &
  obs_pid=$!
  pids+=("$obs_pid")

  wait_for 60 "OBS wrote no log under $work/config/obs-studio/logs" find_obs_log
  say "OBS log: $obs_log"
  wait_for 60 "the module did not load (no \"[obs-sayline] Plugin loaded successfully\")" \
    in_log "[obs-sayline] Plugin loaded successfully"
  local plugin_so
  plugin_so="$(dpkg -L obs-sayline | grep '/obs-sayline\.so$')"
  grep -qF "$plugin_so" "/proc/$obs_pid/maps" ||
    fail "OBS did not map the installed module $plugin_so"
  say "module loaded from $plugin_so"
  wait_for 60 "OBS showed no main window" has_main_window
  local window
  window="$(main_window)"
  # Without a window manager the window keeps its first size; the whole screen gives the
  # preview room.
  xdotool windowmove "$window" 0 0 windowsize "$window" "$screen_w" "$screen_h" || true
  say "main window $window up after $((SECONDS - started)) s"
  wait_for 60 "the Sayline source did not start capturing" \
    in_log "[obs-sayline] Sayline source 'Sayline' shown - starting capture"
  wait_for 60 "no upload reached the speech server (see $work/whisper-stub.log)" \
    grep -q "answered" "$work/whisper-stub.log"

  # The dock, with the sentence in its transcript, takes the right-hand 440 px of the window:
  # the preview is read without it.
  if ! wait_for_text "$sentence" 60 preview-subtitle "crop=iw-480:ih:0:0"; then
    local last
    last="$(ls -t "$work/shots/"*.txt | head -n 1)"
    say "OCR of the last screenshot ($last):"
    sed 's/^/  | /' "$last"
    fail "\"$sentence\" did not appear in the preview"
  fi
  say "OCR read the subtitle in the preview ($work/preview-subtitle.png); all it read:"
  grep -v '^[[:space:]]*$' "$work/preview-subtitle.txt" | awk '!seen[$0]++' | sed 's/^/  | /'

  # The dock: added at load, shown at the first start with the module, its row with the
  # source's status ("Status: Subtitle shown 2 s ago", "Status: Sending…", ...) and its transcript
  # line with time and source ("12:00:01 Sayline: HELLO FROM SAYLINE"; the preview has the
  # sentence alone). Read in the dock's part of the window, as one block: read with the whole
  # window the grey times are lost. A leading 1 beside the transcript's frame still reads as
  # the frame ("| 1:02:03" at 11:02:03), so the hour may have one digit.
  in_log "[obs-sayline] [Dock] Sayline dock added" || fail "the module added no dock"
  wait_for 30 "the dock was not shown at the first start" \
    in_log "[obs-sayline] [Dock] Sayline dock shown"
  if ! wait_for_all 60 dock "crop=480:ih:iw-480:0" \
    "STATUS:(LISTENING|WAITINGFORSPEECH|SENDING|SUBTITLESHOWN)" \
    "[0-9]{1,2}:[0-9]{2}:[0-9]{2}SAYLINE:$(printf '%s' "$sentence" | joined)"; then
    local last
    last="$(ls -t "$work/shots/"dock-*.txt | head -n 1)"
    say "OCR of the last screenshot ($last):"
    sed 's/^/  | /' "$last"
    fail "the dock did not show the status and the subtitle"
  fi
  say "OCR read the dock ($work/dock.png); its status and transcript lines:"
  grep -aiE 'status|sayline' "$work/dock.txt" | awk '!seen[$0]++' | head -n 12 | sed 's/^/  | /'

  # Closed right after a fresh upload: the source is capturing when the window goes.
  local uploads
  uploads="$(uploads_so_far)"
  wait_for 10 "the source stopped sending speech before the close" more_uploads_than "$uploads"
  say "closing the main window while the source captures ($(uploads_so_far) uploads so far)"
  "$helpers/sayline_close_window" "$window" || fail "could not ask the main window to close"
  local closed=$SECONDS rc
  while kill -0 "$obs_pid" 2>/dev/null && [ $((SECONDS - closed)) -lt 60 ]; do
    sleep 0.5
  done
  if kill -0 "$obs_pid" 2>/dev/null; then
    screenshot "$work/close-timeout.png" || true
    kill -KILL "$obs_pid" 2>/dev/null || true
    wait "$obs_pid" 2>/dev/null || true
    fail "OBS did not exit within 60 s of the close (killed; screen in $work/close-timeout.png)"
  fi
  rc=0
  wait "$obs_pid" || rc=$?
  obs_pid=""
  say "OBS exited with code $rc, $((SECONDS - closed)) s after the close"
  [ "$rc" -eq 0 ] || fail "OBS exited with code $rc"
  in_log "[obs-sayline] Sayline source 'Sayline' stopped capturing audio" || fail "the source did not stop its capture"
  in_log "[obs-sayline] Plugin unloaded" || fail "the module did not unload"
  if in_log "worker thread(s) still running"; then
    fail "the module left worker threads running at unload"
  fi
  # What libobs still held after shutdown: 0 without the module too.
  local leaks
  leaks="$(sed -n 's/.*Number of memory leaks: //p' "$obs_log" | tail -n 1)"
  say "libobs allocations left at exit: ${leaks:-?}"
  [ "$leaks" = "0" ] || fail "libobs reported ${leaks:-no count of} memory leaks at exit"
  # The log file has no levels; OBS's own output does.
  local problems
  problems="$(grep -E '^(warning|error): \[obs-sayline\]' "$work/obs-stdout.log" || true)"
  say "module lines in the OBS log: $(grep -c '\[obs-sayline\]' "$obs_log"), warnings and" \
    "errors among them: $(printf '%s' "$problems" | grep -c . || true)"
  [ -z "$problems" ] || printf '%s\n' "$problems" | sed 's/^/  | /'
}

# ---------------------------------------------------------------------------------------------
# Outside: package, helpers, install; then the run inside a private network where possible.
# ---------------------------------------------------------------------------------------------
if [ "${1:-}" = "--inside" ]; then
  shift
  run_inside "$@"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "app-test: run as root (installs the package with apt)" >&2
  exit 1
fi
started=$SECONDS
rm -rf "$work"
mkdir -p "$work"

scripts/package.sh | tee "$work/package.log"
deb="$(tail -n 1 "$work/package.log")"
cmake --build build-package -j "$(nproc)" --target sayline_whisper_stub sayline_close_window \
  >/dev/null

was_installed=0
if dpkg-query -W -f='${Status}' obs-sayline 2>/dev/null | grep -q "install ok installed"; then
  was_installed=1
fi
remove_package() {
  if [ "$was_installed" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq obs-sayline >/dev/null 2>&1 ||
      echo "app-test: could not remove obs-sayline again" >&2
  fi
}
trap remove_package EXIT
say "installing ./$deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends --reinstall \
  "./$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }

# The inside run goes on in the background so that a signal to this script reaches it too
# (its own trap ends what it started).
inner=""
stop_inner() {
  [ -n "$inner" ] && kill -TERM "$inner" 2>/dev/null
  wait "$inner" 2>/dev/null
  exit 143
}
trap stop_inner TERM INT
if unshare --net true 2>/dev/null; then
  unshare --net -- bash "$root/scripts/app-test.sh" --inside --private-network &
else
  say "no private network namespace here; the proxy settings keep OBS off the network"
  bash "$root/scripts/app-test.sh" --inside &
fi
inner=$!
wait "$inner"
say "passed in $((SECONDS - started)) s; screenshots, the OBS log and the helpers' output in $work"
