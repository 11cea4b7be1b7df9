#!/usr/bin/env bash
# Installs what is missing, builds, and opens the tool.
#
# By default a simulated transmitter (tcal-sim) answers on one end of a virtual
# serial line and the tool lists the other end in its port list, so every
# function can be tried without hardware. Closing the window stops both.
#
#   ./run.sh              tool + simulated transmitter
#   ./run.sh --hardware   the tool alone, for a real transmitter on a serial port
#   ./run.sh --batch N    a simulated batch: N transmitters (1..32) on lines of their
#                         own, a calibrator, a meter and a switch, and a channel map
set -euo pipefail
cd "$(dirname "$0")"

with_simulator=1
batch=0
while [ $# -gt 0 ]; do
  case "$1" in
    --hardware|--no-simulator) with_simulator=0 ;;
    --batch)
      if [ $# -lt 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]] || [ "$2" -lt 1 ] || [ "$2" -gt 32 ]; then
        echo "--batch takes a number of units, 1 to 32" >&2; exit 2
      fi
      batch=$2; shift ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done
if [ "$batch" -gt 0 ] && [ "$with_simulator" -eq 0 ]; then
  echo "--batch is a simulated laboratory; it does not go with --hardware" >&2; exit 2
fi

scripts/install-deps.sh
scripts/build.sh tcal tcal-sim tcal-cli

# No desktop (a server, CI, a container): run the window on a virtual display.
launch=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  launch=(xvfb-run -a -s "-screen 0 1280x900x24")
fi

demo=$(mktemp -d /tmp/tcal-demo.XXXXXX)
pids=()
cleanup() {
  # socat and the simulator; the tail feeding the simulator follows this shell
  [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
  [ ${#pids[@]} -eq 0 ] || wait "${pids[@]}" 2>/dev/null || true
  rm -rf "$demo"
}
trap cleanup EXIT
trap "exit 130" INT TERM

# Qt wants a private runtime directory; a session without a desktop has none
# and Qt would say so on the console.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$demo/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

if [ "$with_simulator" -eq 0 ]; then
  "${launch[@]}" build/tcal
  exit
fi

# The demo's records, signing key and register of standards stay in the demo
# folder: a simulated calibrator must never become a standard of the real records.
demo_standards() {
  export XDG_DATA_HOME="$demo/data"
  local due
  due=$(date -d '+1 year' +%F)
  build/cli/tcal-cli standards save --serial SC-0001 --model "Generic SCPI calibrator" \
    --certificate DEMO-SC-0001 --due "$due" >/dev/null
  build/cli/tcal-cli standards save --serial SM-0001 --model "Generic SCPI meter" \
    --certificate DEMO-SM-0001 --due "$due" >/dev/null
  # The demo's laboratory trusts this workstation's key, so its chain verifies.
  build/cli/tcal-cli records trust add --name "demo workstation" >/dev/null
  # Three demo persons, each with a key of their own under the demo passphrase
  # printed below: who performs a check cannot review or approve it.
  local person name roles
  (umask 077 && printf 'demo-passphrase\n' > "$demo/passphrase")
  for person in "Demo Operator:performs" "Demo Reviewer:reviews" "Demo Approver:approves"; do
    IFS=: read -r name roles <<< "$person"
    build/cli/tcal-cli records person enrol "$name" --roles "$roles" --passphrase-file "$demo/passphrase" >/dev/null
  done
  echo "Demo persons: Demo Operator, Demo Reviewer, Demo Approver; passphrase demo-passphrase"
  echo "  (tcal-cli: --person NAME --passphrase-file $demo/passphrase)"
}

# A batch: a line per unit (tool.K <-> transmitter.K), one simulator playing all
# of them with the laboratory and its switch, and the channel map that says so.
if [ "$batch" -gt 0 ]; then
  for k in $(seq "$batch"); do
    socat pty,raw,echo=0,link="$demo/tool.$k" pty,raw,echo=0,link="$demo/transmitter.$k" &
    pids+=($!)
  done
  for _ in $(seq 100); do
    [ -e "$demo/tool.$batch" ] && [ -e "$demo/transmitter.$batch" ] && break
    sleep 0.05
  done
  commands="$demo/commands"
  printf 'all curves standard\n' > "$commands"
  tail -n +1 -f --pid=$$ "$commands" | build/simulator/tcal-sim --units "$batch" --port "$demo/transmitter" \
    --scpi "$demo/lab" > "$demo/simulator.log" 2>&1 &
  pids+=($!)
  map="$demo/batch-map.json"
  {
    echo '{"name": "Simulated tray", "units": ['
    for k in $(seq "$batch"); do
      sep=','; [ "$k" -eq "$batch" ] && sep=''
      printf '  {"unit": %d, "port": "%s", "tag": "TT-%03d", "serial": "SIM-%04d", "source channel": "%d", "meter channel": "%d", "input isolated": true}%s\n' \
        "$k" "$demo/tool.$k" "$k" "$k" $((100 + k)) $((200 + k)) "$sep"
    done
    echo ']}'
  } > "$map"
  demo_standards
  for _ in $(seq 100); do
    [ -e "$demo/lab.switch" ] && break
    sleep 0.05
  done
  cat <<MSG
Simulated batch: $batch transmitters (type K, each with its own errors) at address 192,
4800 baud, unit K on $demo/tool.K.
Calibrator, meter and switch: $demo/lab.source, $demo/lab.meter, $demo/lab.switch
(unit K: source channel 100+K, meter channel 200+K; the millivolt source feeds every input).
Channel map: $map
Talk to the simulator:   echo 'units' >> $commands   ('unit 3 fault silent on', 'scpi', 'help';
log: $demo/simulator.log)
The window opens on unit 1 ($demo/tool.1); the others are in the map. The whole batch
runs from the Batch tab (instruments and map filled in), or:
  XDG_DATA_HOME=$demo/data build/cli/tcal-cli calibrate batch --map $map --source $demo/lab.source \\
    --meter $demo/lab.meter --switch $demo/lab.switch --points 0%,50%,100% --tolerance 0.5 \\
    --person "Demo Operator" --passphrase-file $demo/passphrase
MSG
  export TCAL_SOURCE="$demo/lab.source" TCAL_METER="$demo/lab.meter"
  export TCAL_SWITCH="$demo/lab.switch" TCAL_BATCH_MAP="$map"
  export TCAL_DEMO_SIGNER="Demo Operator" TCAL_DEMO_PASSPHRASE_FILE="$demo/passphrase"
  TCAL_PORT="$demo/tool.1" "${launch[@]}" build/tcal
  exit
fi

socat pty,raw,echo=0,link="$demo/tool" pty,raw,echo=0,link="$demo/transmitter" &
pids+=($!)
for _ in $(seq 100); do
  [ -e "$demo/tool" ] && [ -e "$demo/transmitter" ] && break
  sleep 0.05
done

# Commands for the simulator (set mv 20, fault silent on, help ...) can be
# appended to this file while the demo runs.
commands="$demo/commands"
# The standard sensor curves, an input stage that reads a little high (so that
# an automatic run has something to adjust), and an input held still, as the
# simulated calibrator at the terminals holds it ('drift on' lets it wander).
printf 'curves standard\nset error gain 1.002 offset 0.03\ndrift off\n' > "$commands"
tail -n +1 -f --pid=$$ "$commands" | build/simulator/tcal-sim --port "$demo/transmitter" \
  --store build/demo-transmitter.txt --scpi "$demo/lab" > "$demo/simulator.log" 2>&1 &
pids+=($!)

demo_standards
for _ in $(seq 100); do
  [ -e "$demo/lab.source" ] && [ -e "$demo/lab.meter" ] && break
  sleep 0.05
done

cat <<MSG
Simulated transmitter running (address 192, 4800 baud unless you stored another rate).
The window opens on its port $demo/tool: keep address 192 and 4800 baud, press connect.
Talk to the simulator:   echo 'set mv 20' >> $commands   (echo help >> ... ; log: $demo/simulator.log)
Simulated calibrator and meter: $demo/lab.source and $demo/lab.meter (already in the
"Automatic calibration" tab; its records stay in the demo folder).
MSG

# The automatic calibration tab starts with the simulated instruments, and
# with a tag and serial for the simulated transmitter, so Start runs at once.
export TCAL_SOURCE="$demo/lab.source" TCAL_METER="$demo/lab.meter"
export TCAL_DEMO_TAG=TT-DEMO TCAL_DEMO_SERIAL=SIM-0001
# ... performed by the demo operator, whose checks are stored signed at once.
export TCAL_DEMO_SIGNER="Demo Operator" TCAL_DEMO_PASSPHRASE_FILE="$demo/passphrase"
# TCAL_PORT lists the virtual line (the system's port table does not) and selects it.
TCAL_PORT="$demo/tool" "${launch[@]}" build/tcal
