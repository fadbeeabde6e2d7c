#!/bin/sh
# Writes the brim(1) manual from the program's own help: the command list of
# `brim --help` and each command's `--help`, so the manual says what the
# program says.
#
#   brim-manpage.sh BRIM VERSION DATE OUT
set -eu
brim="$1" version="$2" date="$3" out="$4"

# roff: a backslash is \e, a line starting with . or ' would be a request, and
# a hyphen that starts a word (an option) is a minus sign.
esc() {
  sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" \
      -e 's/\(^\|[][ (|"]\)--/\1\\-\\-/g' -e 's/\(^\|[][ (|"]\)-\([A-Za-z]\)/\1\\-\2/g'
}

# One command's help: the usage line as a subsection title, plain lines as
# filled text, indented lines as they are.
section() {
  "$brim" "$1" --help | esc | {
    read -r usage
    printf '.SS "%s"\n' "${usage#usage: }"
    verbatim=0
    while IFS= read -r line; do
      case "$line" in
        "") [ $verbatim -eq 0 ] || { echo .fi; verbatim=0; }; echo .PP ;;
        "  "*) [ $verbatim -eq 1 ] || { echo .nf; verbatim=1; }; printf '%s\n' "$line" ;;
        *) [ $verbatim -eq 0 ] || { echo .fi; verbatim=0; }; printf '%s\n' "$line" ;;
      esac
    done
    [ $verbatim -eq 0 ] || echo .fi
  }
}

help="$("$brim" --help)"
commands="$(printf '%s\n' "$help" | sed -n 's/^  \([a-z][a-z-]*\)  *.*/\1/p')"
[ -n "$commands" ] || { echo "brim-manpage: no commands in 'brim --help'" >&2; exit 1; }

{
  printf '.TH BRIM 1 "%s" "brim %s" "User Commands"\n' "$date" "$version"
  echo '.SH NAME'
  echo 'brim \- try the BrimCommon library from the command line'
  echo '.SH SYNOPSIS'
  echo '.B brim'
  printf '%s\n' '[\fICOMMAND\fR] [\fIARGS\fR...]'
  echo '.SH DESCRIPTION'
  echo '.B brim'
  echo "calls the BrimCommon library's operations on files, folders, the registry and the"
  echo 'network, one command at a time. Without a command it shows a short tour.'
  echo '.PP'
  echo 'Commands:'
  echo '.PD 0'
  printf '%s\n' "$help" | sed -n 's/^  \([a-z][a-z-]*\)  *\(.*\)/\1\t\2/p' | esc |
    while IFS="$(printf '\t')" read -r name summary; do
      printf '.TP 14\n.B %s\n%s\n' "$name" "$summary"
    done
  echo '.PD'
  echo '.PP'
  printf '%s\n' "$help" | sed -e '1d' -e '/^commands:$/d' -e '/^  [a-z]/d' -e '/^$/d' | esc
  echo '.SH COMMANDS'
  for c in $commands; do
    section "$c"
  done
} >"$out"
