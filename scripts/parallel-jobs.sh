# Sourced by the scripts that build: sets `jobs` from JOBS (all cores by default). Anything but a
# positive whole number stops the script before it builds, with a message under the name it is
# given (a word, or 0, which some tools read as "no limit", would otherwise reach them).
# Usage: . scripts/parallel-jobs.sh "make test"
jobs=${JOBS:-$(nproc)}
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
  printf "%s: JOBS must be a positive number of parallel jobs, not '%s'\n" "$1" "$jobs" >&2
  exit 1
fi
