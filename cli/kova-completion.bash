# bash completion for kova: its commands, each command's options (read from
# the command's own help, so they never fall behind it), the values of the
# options that take a fixed set, and the entry names of the archive on the
# command line (from `kova list --names-only`). Installed as
# share/bash-completion/completions/kova.

# The options `kova COMMAND --help` lists: every word starting with '-' at
# the start of a row under "Options:".
_kova_options() {
    "$1" "$2" --help 2>/dev/null | awk '
        /^Options:/ { on = 1; next }
        /^$/ { on = 0 }
        on && $1 ~ /^-/ { for (i = 1; i <= NF && $i ~ /^-/; i++) { sub(/,$/, "", $i); print $i } }'
}

# The archive the command line names: the first operand after the command,
# passing over options and the values they take.
_kova_archive() {
    local k word
    for ((k = 2; k < COMP_CWORD; k++)); do
        word=${COMP_WORDS[k]}
        case $word in
        -o | --output | --offset | --name | --type | -e | --entry | --exclude | --method) ((k++)) ;;
        -*) ;;
        *)
            printf '%s\n' "$word"
            return
            ;;
        esac
    done
}

_kova_entries() {
    local kova=$1 archive=$2
    [ -f "$archive" ] || return
    "$kova" list --names-only "$archive" 2>/dev/null
}

_kova() {
    local kova=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "info probe list extract cat check pack replace --help --version" -- "$cur")
        return
    fi
    local command=${COMP_WORDS[1]}
    local archive
    archive=$(_kova_archive)

    # The value of the option before the word.
    case $prev in
    --type)
        mapfile -t COMPREPLY < <(compgen -W "bmp wav mid dat" -- "$cur")
        return
        ;;
    --method)
        mapfile -t COMPREPLY < <(compgen -W "auto 1 2 stored" -- "$cur")
        return
        ;;
    -e | --entry | --exclude)
        mapfile -t COMPREPLY < <(compgen -W "$(_kova_entries "$kova" "$archive")" -- "$cur")
        return
        ;;
    -o | --output)
        if [ "$command" = extract ]; then
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        fi
        return
        ;;
    --offset | --name)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kova_options "$kova" "$command")" -- "$cur")
        return
    fi
    case $command in
    extract | cat)
        # After the archive: its entries (and, for extract, more archives).
        if [ -n "$archive" ]; then
            mapfile -t COMPREPLY < <(compgen -W "$(_kova_entries "$kova" "$archive")" -- "$cur")
            [ "$command" = extract ] && mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
            return
        fi
        ;;
    replace)
        # ENTRY=FILE: an entry name and '=', then a file. Where '=' breaks
        # words (bash's default), the file is a word of its own after it.
        if [ -n "$archive" ]; then
            if [ "$prev" = "=" ]; then
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            elif [[ $cur == *=* ]]; then
                local entry=${cur%%=*}
                mapfile -t COMPREPLY < <(compgen -f -P "$entry=" -- "${cur#*=}")
            else
                mapfile -t COMPREPLY < <(compgen -S = -W "$(_kova_entries "$kova" "$archive")" -- "$cur")
                compopt -o nospace +o filenames 2>/dev/null
            fi
            return
        fi
        ;;
    info)
        return
        ;;
    esac
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

complete -o filenames -F _kova kova
