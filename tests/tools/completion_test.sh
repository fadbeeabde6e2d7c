#!/bin/bash
# brim's bash completion against the real program's help: completion_test.sh BRIM COMPLETION_FILE
set -u
brim="$(realpath "$1")"
source "$2"
failures=0
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" && touch notes.txt notes.log other.bin

complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _brim
    (( ${#COMPREPLY[@]} == 0 )) || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WANTED WORDS...: the offered words, sorted, are WANTED
    local wanted="$1" got
    shift
    got="$(complete_words "$@")"
    [[ "$got" == "$wanted" ]] || fail "[${*:2}] offers '$got', expected '$wanted'"
}

# Every command of the help, and nothing that is not one.
offered=" $(complete_words "$brim" "")"
for command in $("$brim" --help | sed -n 's/^  \([a-z][a-z-]*\)  *.*/\1/p') --help; do
    [[ "$offered" == *" $command "* ]] || fail "the first word's offers '$offered' lack '$command'"
done
expect "version-info " "$brim" version-i
expect "" "$brim" zz

# Fixed words: a first operand's choice and an option's values.
expect "get put " "$brim" ftp ""
expect "delete get set " "$brim" reg ""
expect "utf16 utf8 " "$brim" convert --to ""

# A command's own options, and files elsewhere.
expect "--ext --help --hidden --recursive " "$brim" find dir --
expect "--limit-rate " "$brim" get URL FILE --l
expect "notes.log notes.txt " "$brim" cat no
expect "notes.log notes.txt " "$brim" log --folder no
expect "notes.log notes.txt other.bin " "$brim" ftp put host user ""

# Nothing for a command brim does not know, or a program that is not there.
expect "" "$brim" nosuch ""
expect "" no-such-brim-program ""

[[ $failures -eq 0 ]] && echo "completion: all cases pass"
exit $((failures > 0))
