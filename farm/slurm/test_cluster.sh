#!/usr/bin/env bash
# Runs the farm scripts on a real one-node Slurm cluster started here: this
# machine is its controller and its compute node, on 127.0.0.1 only, with
# ports, a munge key, state and logs of its own in a temporary folder.
#
#   bash farm/slurm/test_cluster.sh [CORVALIN]     (default build/cli/corvalin)
#
# It renders a sequence in chunks and compares every frame with a local
# render, reruns with frames deleted, fails a chunk on a damaged frame, runs
# two overlapping jobs at once and cancels jobs mid-run (SIGTERM, SIGKILL).
# Every daemon it starts is stopped on exit, whatever happens.
set -euo pipefail
export LC_ALL=C
corvalin=$(realpath -- "${1:-$(dirname "$0")/../../build/cli/corvalin}")
cd "$(dirname "$0")/../.."
root=$PWD
[ -x "$corvalin" ] || { echo "no corvalin command at $corvalin: build it first" >&2; exit 1; }
submit=$root/farm/slurm/corvalin-submit

# Debian starts the services of a package it installs where it can; the test
# runs daemons of its own only, so a policy forbids that for the install.
policy=/usr/sbin/policy-rc.d made_policy=0
if ! dpkg -s slurm-wlm munge >/dev/null 2>&1 && [ ! -e "$policy" ]; then
  made_policy=1
  trap 'rm -f "$policy"' EXIT
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
fi
bash scripts/install_deps.sh slurm-wlm munge python3
if [ "$made_policy" -eq 1 ]; then
  rm -f "$policy"
  trap - EXIT
fi

host=$(hostname -s)
ctld_port=16817 slurmd_port=16818
tmp=$(mktemp -d /tmp/corvalin-slurm.XXXXXX)
# Marks every process this test starts, the job steps of its slurmd included,
# so that the last clean-up can find exactly those.
export CORVALIN_SLURM_TEST=$tmp
export SLURM_CONF=$tmp/slurm.conf
daemons=()   # "name pid"
failures=0

clock() { date +%s%N; }
since() { local ns=$(($(clock) - $1)); printf '%d.%02d s' $((ns / 1000000000)) $((ns / 10000000 % 100)); }

show_logs() {
  for f in "$tmp"/log/*; do
    echo "---- $f"
    tail -n 40 "$f" || true
  done
}

# Processes of this test but the shell itself: the daemons run in $tmp/run,
# and their job steps run there too or carry the test's marker.
ours() {
  local d pid cwd
  for d in /proc/[0-9]*; do
    pid=${d#/proc/}
    [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
    cwd=$(readlink "$d/cwd" 2>/dev/null) || continue
    if [[ $cwd == "$tmp" || $cwd == "$tmp"/* ]] ||
      grep -qzx "CORVALIN_SLURM_TEST=$tmp" "$d/environ" 2>/dev/null; then
      echo "$pid"
    fi
  done
}

cleanup() {
  local status=$? name pid left
  set +e
  trap - INT TERM
  if [ "${#daemons[@]}" -gt 0 ]; then
    timeout 10 scancel --user="$(id -un)" 2>/dev/null
    for _ in $(seq 1 50); do
      [ -z "$(timeout 5 squeue -h -o %A 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  for ((i = ${#daemons[@]} - 1; i >= 0; i--)); do
    read -r name pid <<<"${daemons[$i]}"
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  # Job steps outlive a stopped slurmd: a moment to end, then they are ended.
  cd /
  for _ in $(seq 1 50); do
    left=$(ours)
    [ -z "$left" ] && break
    sleep 0.1
  done
  for pid in $left; do
    echo "clean-up: killing leftover process $pid ($(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null))"
    kill -KILL "$pid" 2>/dev/null
  done
  rm -rf -- "$tmp"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ------------------------------------------------------------ the cluster
start=$(clock)
for port in "$ctld_port" "$slurmd_port"; do
  if timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
    echo "FAIL: port $port on 127.0.0.1 is in use: is another test cluster running?"
    exit 1
  fi
done
# munged wants its key private and its socket's folders open to all.
chmod 755 "$tmp"
mkdir -p "$tmp"/{munge,run,log,state,spool,work}
chmod 700 "$tmp/munge"
mungekey --create --keyfile="$tmp/munge/munge.key" --bits=1024
chmod 400 "$tmp/munge/munge.key"

# The node as slurmd sees it (CPUs, sockets, cores, threads, memory).
node=$(slurmd -C | sed -n 's/^NodeName=[^ ]* //p' | head -n 1)
[ -n "$node" ] || { echo "FAIL: slurmd -C gave no node description"; exit 1; }
cpus=$(sed -E 's/.*CPUs=([0-9]+).*/\1/' <<<"$node")
cat >"$SLURM_CONF" <<EOF
ClusterName=corvalintest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/run/munge.socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
ReturnToService=2
MailProg=/bin/true
KillWait=10
MinJobAge=600
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
NodeName=$host NodeAddr=127.0.0.1 $node State=UNKNOWN
PartitionName=farm Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF

cd "$tmp/run"
munged -F --socket="$tmp/run/munge.socket" --key-file="$tmp/munge/munge.key" \
  --pid-file="$tmp/run/munged.pid" --seed-file="$tmp/munge/munged.seed" \
  --log-file="$tmp/log/munged.log" >"$tmp/log/munged.out" 2>&1 &
daemons+=("munged $!")
for _ in $(seq 1 100); do [ -S "$tmp/run/munge.socket" ] && break; sleep 0.1; done
if [ ! -S "$tmp/run/munge.socket" ]; then
  echo "FAIL: munged did not open its socket within 10 s"
  show_logs
  exit 1
fi
slurmctld -D -f "$SLURM_CONF" >"$tmp/log/slurmctld.out" 2>&1 &
daemons+=("slurmctld $!")
slurmd -D -f "$SLURM_CONF" -N "$host" >"$tmp/log/slurmd.out" 2>&1 &
daemons+=("slurmd $!")
cd "$root"

up=0 state=""
for _ in $(seq 1 300); do
  for d in "${daemons[@]}"; do
    kill -0 "${d#* }" 2>/dev/null || { state="${d% *} exited"; break 2; }
  done
  state=$(timeout 5 sinfo -h -n "$host" -o %t 2>/dev/null || true)
  if [ "$state" = idle ]; then up=1; break; fi
  sleep 0.2
done
if [ "$up" -ne 1 ]; then
  echo "FAIL: the node did not come up idle within 60 s (${state:-no state}); the daemons' logs:"
  show_logs
  exit 1
fi
echo "cluster up: node $host ($node), in $(since "$start")"
# The daemons listen on 127.0.0.1 and nowhere else.
ports=$(printf '%04X|%04X' "$ctld_port" "$slurmd_port")
listening=$({ cat /proc/net/tcp /proc/net/tcp6 2>/dev/null || true; } |
  awk -v p=":($ports)\$" '$4 == "0A" && $2 ~ p { print $2 }' | sort | tr '\n' ' ')
if [ "$listening" != "$(printf '0100007F:%04X 0100007F:%04X ' "$ctld_port" "$slurmd_port")" ]; then
  echo "FAIL: the daemons listen on '$listening', not on 127.0.0.1:$ctld_port and :$slurmd_port only"
  exit 1
fi

# Waits (at most $2 seconds) until job $1 has left the queue.
wait_job() {
  local id=$1 limit=$2 t queued
  t=$(clock)
  while :; do
    queued=$(timeout 10 squeue -h -j "$id" -t all -o %T) || {
      echo "FAIL: squeue failed"; show_logs; exit 1
    }
    grep -qvE '^(COMPLETED|FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY|PREEMPTED|BOOT_FAIL|DEADLINE)?$' \
      <<<"$queued" || return 0
    if [ $((($(clock) - t) / 1000000000)) -ge "$limit" ]; then
      echo "FAIL: job $id still in the queue after $limit s"
      squeue -t all; show_logs; exit 1
    fi
    sleep 0.2
  done
}

passed=0
check() {
  if eval "$2"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $1"
    failures=$((failures + 1))
  fi
}
# "TASK STATE EXIT" for every task of array job $1, in task order.
task_states() {
  scontrol -o show job "$1" |
    sed -E 's/.* ArrayTaskId=([0-9]+) .* JobState=([A-Z_]+) .* ExitCode=([0-9:]+) .*/\1 \2 \3/' | sort -n |
    tr '\n' ' '
}
# How many frames job $1 wrote, by its tasks' logs.
written_by() {
  cat "$work"/logs/*.log |
    awk -v job=" job $1 task " '/^== .* task / { on = index($0, job) > 0 } on && /\] wrote /' | wc -l
}
# Frames that are not byte for byte the reference $2 (folder $1, or one file).
differing() {
  local dir=$1 ref=$2 bad="" f
  for f in "$dir"/*; do
    [ -d "$ref" ] && r=$ref/${f##*/} || r=$ref
    cmp -s "$f" "$r" || bad+="${f##*/} "
  done
  echo "$bad"
}
hidden() { find "$1" -maxdepth 1 -name '.*' -type f -printf '%f\n' | sort | tr '\n' ' '; }
count() { find "$1" -maxdepth 1 -type f ! -name '.*' | wc -l; }
submit_job() { "$submit" --corvalin "$corvalin" --log-dir "$work/logs" "$@"; }
# Submits, waits at most 120 s and prints the job's time; sets $job.
run_job() {
  local what=$1 t
  shift
  t=$(clock)
  job=$(submit_job "$@")
  wait_job "$job" 120
  echo "job $job, $what: $(since "$t") from submitting to the last task's end"
}

# ------------------------------------------------------------ the submit command
work=$tmp/work
cd "$work"
dry=$(submit_job in.####.png out.####.png --frames 1001-1024 --chunk 5 --cpus-per-task 2 --time 5 \
  --partition farm --sbatch-arg=--nice=10 --smoother-range 2 --use-color-key --dry-run)
check "24 frames in chunks of 5 are 5 tasks" '[[ $dry == *" --array=0-4 "* ]]'
check "sbatch options reach sbatch" \
  '[[ $dry == *" --cpus-per-task=2 --partition=farm --time=5 --nice=10 "* ]]'
check "render options reach the task" '[[ $dry == *" 1001 1024 5 "*" --smoother-range 2 --use-color-key " ]]'
dry=$(submit_job in.####.png out.####.png --frames 1-26 --chunk 5 --dry-run)
check "a part chunk is a task of its own" '[[ $dry == *" --array=0-5 "* ]]'
check "a range ending before it starts is refused" \
  '! submit_job in.####.png out.####.png --frames 9-1 --dry-run 2>/dev/null'
check "no OUTPUT is refused" '! submit_job in.####.png --frames 1-9 --dry-run 2>/dev/null'

# ------------------------------------------------------------ frames
# 24 small cel frames that differ (a disc moving, a one-pixel line, a stair
# line of changing slope), and one large frame under 30 names that renders
# slowly enough to be cancelled mid-run.
python3 - <<'PY'
import os, struct, zlib
def png(path, w, h, rows):
    raw = b"".join(b"\0" + r for r in rows)
    def chunk(t, d): return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))
def frame(w, h, f):
    bg, ink, fill = bytes((240, 236, 220, 255)), bytes((20, 20, 30, 255)), bytes((200, 60 + 7 * f % 150, 40, 255))
    cx, cy, r = w * (0.3 + 0.02 * f), h * 0.5, h * 0.3
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            if x == (3 * f) % w or y == (x * (f % 5 + 1)) // 7: row += ink
            elif (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r: row += fill
            else: row += bg
        rows.append(bytes(row))
    return rows
os.makedirs("in"); os.makedirs("big")
for f in range(1, 25): png("in/sh010.%04d.png" % f, 64, 48, frame(64, 48, f))
png("big/big.0001.png", 1920, 1080, frame(1920, 1080, 3))
for f in range(2, 31): os.link("big/big.0001.png", "big/big.%04d.png" % f)
PY
mkdir -p ref out bad badout lap term kill
"$corvalin" render in/sh010.####.png ref/sh010.####.png --frames 1-24 -q
big_options=(--depth 16 --compression 9)  # slow to encode: a kill finds a frame being written
"$corvalin" render big/big.0001.png ref/big.png "${big_options[@]}" -q

# ------------------------------------------------------------ a sequence in chunks
run_job "24 frames in 5 chunks" in/sh010.####.png out/sh010.####.png --frames 1-24 --chunk 5 \
  --cpus-per-task 1
check "every task exits 0" \
  '[ "$(task_states "$job")" = "0 COMPLETED 0:0 1 COMPLETED 0:0 2 COMPLETED 0:0 3 COMPLETED 0:0 4 COMPLETED 0:0 " ]'
check "one log per chunk, named by its frames" \
  '[ "$(cd logs && ls | tr "\n" " ")" = "sh010_1-5.log sh010_11-15.log sh010_16-20.log sh010_21-24.log sh010_6-10.log " ]'
check "24 frames written" '[ "$(count out)" = 24 ] && [ "$(written_by "$job")" = 24 ]'
bad=$(differing out ref)
check "every frame equals the local render (differ: $bad)" '[ -z "$bad" ]'
check "no temporary file left" '[ -z "$(hidden out)" ]'

# ------------------------------------------------------------ the rerun
rm out/sh010.0002.png out/sh010.0013.png out/sh010.0024.png
kept=$(stat -c '%n %i %y' out/*)
sleep 0.05  # a rewrite would show in the modification time
run_job "rerun with 3 frames missing" in/sh010.####.png out/sh010.####.png --frames 1-24 --chunk 5 \
  --cpus-per-task 1
check "the rerun writes the 3 missing frames and no other" '[ "$(written_by "$job")" = 3 ]'
check "the 21 others are the same files, untouched" \
  '[ "$(stat -c "%n %i %y" $(grep -o "^[^ ]*" <<<"$kept"))" = "$kept" ]'
bad=$(differing out ref)
check "all 24 equal the local render after the rerun (differ: $bad)" '[ "$(count out)" = 24 ] && [ -z "$bad" ]'

# ------------------------------------------------------------ a damaged frame
cp in/*.png bad/
echo "not a PNG" >bad/sh010.0007.png
run_job "10 frames, frame 7 damaged" bad/sh010.####.png badout/sh010.####.png --frames 1-10 \
  --chunk 5 --cpus-per-task 1 --job-name bad
check "the chunk with the damaged frame fails with status 1, the other succeeds" \
  '[ "$(task_states "$job")" = "0 COMPLETED 0:0 1 FAILED 1:0 " ]'
check "its log names the frame" 'grep -q "frame 7: cannot read .*/bad/sh010.0007.png" logs/bad_6-10.log'
bad=$(differing badout ref)
check "the 9 other frames are written and correct (differ: $bad)" \
  '[ "$(count badout)" = 9 ] && [ ! -e badout/sh010.0007.png ] && [ -z "$bad" ]'

# ------------------------------------------------------------ overlapping tasks
# Two jobs over the same large frames, held and released together so that
# they start at once and render the same frames side by side.
t=$(clock)
job_a=$(submit_job big/big.####.png lap/big.####.png --frames 1-12 --chunk 12 --cpus-per-task 1 \
  --job-name lapA --sbatch-arg=--hold "${big_options[@]}")
job_b=$(submit_job big/big.####.png lap/big.####.png --frames 1-12 --chunk 12 --cpus-per-task 1 \
  --job-name lapB --sbatch-arg=--hold "${big_options[@]}")
scontrol release "$job_a,$job_b"
wait_job "$job_a" 120
wait_job "$job_b" 120
both=$(($(written_by "$job_a") + $(written_by "$job_b") - 12))
echo "jobs $job_a and $job_b, the same 12 large frames at once: $(since "$t"), $both rendered by both"
check "both overlapping tasks exit 0" \
  '[ "$(task_states "$job_a")$(task_states "$job_b")" = "0 COMPLETED 0:0 0 COMPLETED 0:0 " ]'
check "the overlapping tasks rendered frames side by side" '[ "$both" -gt 0 ]'
bad=$(differing lap ref/big.png)
check "overlapping tasks leave every frame complete (differ: $bad)" \
  '[ "$(count lap)" = 12 ] && [ -z "$bad" ] && [ -z "$(hidden lap)" ]'

# ------------------------------------------------------------ cancelled: SIGTERM
# Waits (at most 60 s) until folder $1 holds $2 frames and, with a third
# argument, a temporary file.
wait_frames() {
  local t
  t=$(clock)
  until [ "$(count "$1")" -ge "$2" ] && { [ "$#" -lt 3 ] || [ -n "$(hidden "$1")" ]; }; do
    if [ $((($(clock) - t) / 1000000000)) -ge 60 ]; then
      echo "FAIL: $1 holds $(count "$1") frames after 60 s"; show_logs; exit 1
    fi
    sleep 0.02
  done
}
t=$(clock)
job=$(submit_job big/big.####.png term/big.####.png --frames 1-30 --chunk 30 --cpus-per-task 1 \
  --job-name term "${big_options[@]}")
wait_frames term 2
scancel "$job"
wait_job "$job" 60
echo "job $job, 30 large frames cancelled after $(count term): $(since "$t")"
check "the cancelled task is CANCELLED" '[[ $(task_states "$job") == "0 CANCELLED "* ]]'
check "the command stopped on the scheduler's SIGTERM" 'grep -q "stopped by SIGTERM" logs/term_1-30.log'
bad=$(differing term ref/big.png)
check "a cancelled task leaves complete frames only (differ: $bad)" \
  '[ "$(count term)" -lt 30 ] && [ -z "$bad" ]'
check "a cancelled task leaves no temporary file (left: $(hidden term))" '[ -z "$(hidden term)" ]'

# ------------------------------------------------------------ killed: SIGKILL
# What the scheduler does after the grace period, or the kernel when memory
# runs out: the command is killed while it writes a frame.
t=$(clock)
job=$(submit_job big/big.####.png kill/big.####.png --frames 1-30 --chunk 30 --cpus-per-task 1 \
  --job-name kill "${big_options[@]}")
wait_frames kill 2 temporary
pid=$(scontrol listpids "$job" | awk 'NR > 1 { print $1 }' | while read -r p; do
  [[ $(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null) == "$corvalin render "* ]] && echo "$p"
done)
[ -n "$pid" ] || { echo "FAIL: no corvalin process in job $job"; show_logs; exit 1; }
kill -KILL $pid
wait_job "$job" 60
left=$(hidden kill)
echo "job $job, 30 large frames killed after $(count kill): $(since "$t"); left behind: ${left:-nothing}"
check "a killed task fails" '[ "$(task_states "$job")" = "0 FAILED 137:0 " ]'
bad=$(differing kill ref/big.png)
check "a killed task leaves complete frames under the output names (differ: $bad)" \
  '[ "$(count kill)" -lt 30 ] && [ -z "$bad" ]'
# A temporary from a kill long ago, one of a frame outside the job's range.
touch -d '-2 hours' kill/.big.0029.png.tmp4242-7.png kill/.big.0031.png.tmp4242-8.png
before=$(count kill)
run_job "rerun after the kill" big/big.####.png kill/big.####.png --frames 1-30 --chunk 15 \
  --cpus-per-task 1 --job-name kill "${big_options[@]}"
check "the rerun renders exactly the missing frames" '[ "$(written_by "$job")" = $((30 - before)) ]'
bad=$(differing kill ref/big.png)
check "after the rerun all 30 frames are complete (differ: $bad)" '[ "$(count kill)" = 30 ] && [ -z "$bad" ]'
check "the rerun removes the old temporary of its frames and no other" \
  '[ ! -e kill/.big.0029.png.tmp4242-7.png ] && [ -e kill/.big.0031.png.tmp4242-8.png ]'
check "the rerun keeps recent temporaries: they may be being written" \
  '[ "$(hidden kill)" = "$left.big.0031.png.tmp4242-8.png " ]'
CORVALIN_STALE_TEMP_SECONDS=0 run_job "rerun, every temporary counted stale" big/big.####.png \
  kill/big.####.png --frames 1-30 --chunk 30 --cpus-per-task 1 --job-name kill "${big_options[@]}"
check "with no age limit the task removes every temporary of its frames" \
  '[ "$(hidden kill)" = ".big.0031.png.tmp4242-8.png " ] && [ "$(written_by "$job")" = 0 ]'

echo "slurm: $passed passed, $failures failed"
if [ "$failures" -ne 0 ]; then
  show_logs
  for f in logs/*.log; do echo "---- $f"; cat "$f"; done
  exit 1
fi
