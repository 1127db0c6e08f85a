#!/usr/bin/env bash
# One task of a Corvalin array job: renders its chunk of a frame range with
# `corvalin render ... --skip-existing` on the cores Slurm gave it.
# corvalin-submit computes the array and submits this script; by hand:
#
#   sbatch --array=0-K --cpus-per-task=N --output=/dev/null corvalin-render.sbatch \
#       FIRST LAST CHUNK LOG_DIR JOB_NAME CORVALIN INPUT OUTPUT [render options...]
#
# Task i renders frames FIRST+i*CHUNK to FIRST+(i+1)*CHUNK-1 (at most LAST)
# and appends what it prints to LOG_DIR/JOB_NAME_A-B.log. Its exit status is
# the command's: 0 only when every frame of the chunk exists afterwards.
set -uo pipefail

if [ "$#" -lt 8 ]; then
  echo "usage: $0 FIRST LAST CHUNK LOG_DIR JOB_NAME CORVALIN INPUT OUTPUT [render options...]" >&2
  exit 2
fi
first=$1 last=$2 chunk=$3 log_dir=$4 name=$5 corvalin=$6 input=$7 output=$8
shift 8
task=${SLURM_ARRAY_TASK_ID:-0}
a=$((first + task * chunk))
b=$((a + chunk - 1))
if [ "$b" -gt "$last" ]; then b=$last; fi

# Slurm's own output goes nowhere: the log is named by the frame range, which
# Slurm cannot spell, and a rerun of the range appends to the same log.
mkdir -p "$log_dir"
exec >>"$log_dir/${name}_$a-$b.log" 2>&1
echo "== $(date '+%F %T') job ${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-none}} task $task" \
  "on $(hostname -s): frames $a-$b"
if [ "$a" -gt "$last" ]; then
  echo "task $task starts past frame $last: nothing to render"
  exit 2
fi

# The output name of frame $1, by the command's frame field rules: a run of
# '#' or '@' is a digit per character (a lone '#' is four), '%d' or '%0Nd'.
frame_name() {
  local run='^([^#@]*)([#@]+)(.*)$' pf='^(.*)%(0([0-9]+))?d(.*)$'
  if [[ $output =~ $run ]]; then
    local digits=${#BASH_REMATCH[2]}
    [ "${BASH_REMATCH[2]}" = "#" ] && digits=4
    printf -v "$2" '%s%0*d%s' "${BASH_REMATCH[1]}" "$digits" "$1" "${BASH_REMATCH[3]}"
  elif [[ $output =~ $pf ]]; then
    printf -v "$2" '%s%0*d%s' "${BASH_REMATCH[1]}" "${BASH_REMATCH[3]:-0}" "$1" "${BASH_REMATCH[4]}"
  else
    printf -v "$2" '%s' "$output"
  fi
}

# A task killed outright (SIGKILL after the grace period, a lost node) leaves
# the frame it was writing as a hidden temporary beside its output:
# .NAME.tmpPID-N.EXT. The command ignores those, but they pile up, so each try
# removes the ones of its own frames. Only old ones: a young one may belong to
# an overlapping task that is writing it right now, and a writer touches its
# file every few milliseconds while it exists.
stale_after=${CORVALIN_STALE_TEMP_SECONDS:-600}
now=$(date +%s)
removed=0
shopt -s nullglob
for ((f = a; f <= b; f++)); do
  frame_name "$f" path
  dir=. base=$path
  if [[ $path == */* ]]; then dir=${path%/*} base=${path##*/}; fi
  for temp in "$dir/.$base.tmp"*; do
    [[ ${temp#"$dir/.$base.tmp"} =~ ^[0-9]+-[0-9]+ ]] || continue
    age=$((now - $(stat -c %Y -- "$temp" 2>/dev/null || echo "$now")))
    if [ "$age" -ge "$stale_after" ] && rm -f -- "$temp"; then
      removed=$((removed + 1))
    fi
  done
done
shopt -u nullglob
[ "$removed" -eq 0 ] || echo "removed $removed stale temporary file(s) of frames $a-$b"

# Cancelling, a time limit or preemption signal every process of the job, the
# command included, which then drops its frames in flight and removes their
# temporaries. The shell waits for it through any signal, so that the task
# ends only when the command has cleaned up, with the command's status.
trap 'echo "task $task: stop signal from the scheduler at $(date +%T)"' TERM INT HUP
threads=${SLURM_CPUS_PER_TASK:-${SLURM_CPUS_ON_NODE:-1}}
"$corvalin" render "$input" "$output" --frames "$a-$b" --skip-existing --threads "$threads" "$@" &
child=$!
while kill -0 "$child" 2>/dev/null; do wait "$child"; done
status=0
wait "$child" || status=$?
echo "== $(date '+%F %T') frames $a-$b: exit status $status"
exit "$status"
