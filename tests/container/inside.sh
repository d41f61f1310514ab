# Sourced by the scenarios inside the container (/bin/sh): the shared folder T, what the host put in its
# env file (PORTAL, ...), and the ways of telling the host what happens.
T=/vorel-test
. "$T/env"

note() { echo "$*" >> "$T/results"; }  # one finding: "NAME VALUE"

wait_file() {  # wait_file NAME: until the host makes $T/NAME (10 minutes at most)
  i=0
  while [ ! -e "$T/$1" ] && [ $i -lt 1200 ]; do
    sleep 0.5
    i=$((i + 1))
  done
}

# observe PROGRAM UNIT:STORE...: notes in $T/observed "UNIT STATE pid=N start=TEXT exe=SHA256" (service_start
# read from the unit's store) whenever that changes for a unit; runs until killed.
observe() {
  program=$1
  shift
  while :; do
    for pair in "$@"; do
      unit=${pair%%:*}
      pid=$(systemctl show -p MainPID --value "$unit")
      exe=$(sha256sum "/proc/$pid/exe" 2> /dev/null | cut -c1-64)
      start=$(VOREL_STATE=${pair#*:} "$program" state get service_start 2> /dev/null)
      line="$unit $(systemctl is-active "$unit") pid=$pid start=$start exe=$exe"
      [ "$line" != "$(grep "^$unit " "$T/observed" 2> /dev/null | tail -n 1)" ] && echo "$line" >> "$T/observed"
    done
    sleep 0.5
  done
}
