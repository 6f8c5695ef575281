# shellcheck shell=bash
# Sourced by the scripts here: "SCRIPT --help" (or -h) as the first argument
# prints the comment at the top of SCRIPT, which is its usage, and ends it
# before anything is built, installed or changed.
print_usage() {  # print_usage SCRIPT
  sed -n '2,${/^#/!q;/^# shellcheck/d;s/^# \{0,1\}//p}' "$1"
}
usage_on_help() {  # usage_on_help SCRIPT [FIRST_ARGUMENT]
  case "${2:-}" in -h | --help) print_usage "$1"; exit 0 ;; esac
}
