#!/usr/bin/env bash
# The bash completion of the program: what it offers for each partly typed
# command line, as bash splits it into words (COMP_WORDBREAKS holds "=").
set -u
# shellcheck source=/dev/null # the completion file under test
source "$1"
failed=0
check() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _norvane
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$expected" ]; then
        echo "FAIL: '${COMP_WORDS[*]}': got '$got', expected '$expected'"
        failed=1
    fi
}
check "folders" norvane --scan f
check "computers folders printers" norvane --scan = ""
check "printers" norvane --scan = p
check "csv" norvane -f c
check "report csv json" norvane --format = ""
check "json" norvane --format = j
check "json" norvane --format=j
check "folders" norvane --scan=f
check "--scan --output --append --format --auth-file --domain --quiet --range --rate --help --version --changes --since --scans --site --type --store -o -a -f -q -h" norvane -
check "--quiet" norvane --q
check "--range --rate" norvane --ra
check "" norvane --range 10.
[ $failed -eq 0 ] && echo "completion: all cases pass"
exit $failed
