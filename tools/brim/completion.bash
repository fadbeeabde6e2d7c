# bash completion for brim.
#
# The commands, each command's options and its fixed words (put|get,
# utf8|utf16, ...) are read from the program's own help, so the completion
# follows the program as it grows. Everything else completes as a file name.

# The usage line of one command ("usage: brim ftp put|get HOST ..."), cached
# per program and command for the shell's lifetime.
_brim_usage() {
    local key="$1 $2" var
    var="_brim_usage_$(printf '%s' "$key" | cksum | cut -d' ' -f1)"
    if [[ -z ${!var+set} ]]; then
        printf -v "$var" '%s' "$("$1" "$2" --help 2>/dev/null | head -n 1)"
    fi
    printf '%s\n' "${!var}"
}

_brim() {
    local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD-1]}"
    local prog="${COMP_WORDS[0]}" cmd="${COMP_WORDS[1]:-}" usage word words=()
    COMPREPLY=()
    # A program named by a path (./build/bin/brim) may only be reachable by it.
    [[ $prog == */* ]] || prog="$(type -P "$prog" 2>/dev/null)" || return 0
    [[ -n $prog ]] || return 0

    if (( COMP_CWORD == 1 )); then
        words=($("$prog" --help 2>/dev/null | sed -n 's/^  \([a-z][a-z-]*\)  *.*/\1/p'))
        (( ${#words[@]} )) || return 0
        words+=(--help)
        COMPREPLY=($(compgen -W "${words[*]}" -- "$cur"))
        return 0
    fi

    usage="$(_brim_usage "$prog" "$cmd")"
    [[ -n $usage ]] || return 0
    read -r -a words <<<"${usage#usage: brim }"
    # words[0] is the command; look at what the usage says about this spot.
    if [[ $prev == --* ]]; then
        # An option's value: its fixed words if the usage lists them
        # ("--to utf8|utf16"), else a file name.
        local i
        for ((i = 1; i < ${#words[@]} - 1; i++)); do
            if [[ ${words[i]} == "$prev" || ${words[i]} == "[$prev" ]]; then
                word="${words[i+1]%]}"
                if [[ $word == *'|'* ]]; then
                    COMPREPLY=($(compgen -W "${word//|/ }" -- "$cur"))
                    return 0
                elif [[ $word =~ ^[A-Z]+$ ]]; then
                    COMPREPLY=($(compgen -f -- "$cur"))
                    return 0
                fi
            fi
        done
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(grep -o -- '--[a-z][a-z-]*' <<<"$usage" | sort -u) --help" -- "$cur"))
        return 0
    fi
    # The first operand may be a choice of fixed words ("put|get").
    if (( COMP_CWORD == 2 )) && [[ ${words[1]:-} =~ ^[a-z0-9]+(\|[a-z0-9]+)+$ ]]; then
        COMPREPLY=($(compgen -W "${words[1]//|/ }" -- "$cur"))
        return 0
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    return 0
}

complete -o filenames -o bashdefault -F _brim brim
