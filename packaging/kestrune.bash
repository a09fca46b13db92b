# bash completion for kestrune COMMAND ...

_kestrune()
{
    local cur prev words cword
    _init_completion || return

    local commands="copy move delete dupes same record query log decompile register compile word dwg help"
    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local command=${words[1]} options=""
    case $command in
        copy) options="--types --pattern --no-subfolders --no-overwrite" ;;
        move) options="--types --pattern --no-subfolders" ;;
        delete) options="--types --pattern --no-subfolders --force --trash --no-trash" ;;
        dupes) options="--delete --trash --no-trash --names --in" ;;
        same) options="--min-size --pattern --delete --keep --trash --no-trash" ;;
        record) options="" ;;
        query) options="--size --unit --range" ;;
        log) options="--clear" ;;
        decompile) options="--no-subfolders --no-hhp" ;;
        register) options="" ;;
        compile) options="--compiler" ;;
        word) options="--passwords-from" ;;
        dwg) options="--bmp --png" ;;
        help)
            ((cword == 2)) && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return
            ;;
        *) return ;;
    esac

    case $prev in
        --types | --pattern | --size | --range | --min-size) return ;;
        --keep)
            COMPREPLY=($(compgen -W "oldest newest first" -- "$cur"))
            return
            ;;
        --unit)
            COMPREPLY=($(compgen -W "B KB MB" -- "$cur"))
            return
            ;;
        --compiler | --passwords-from | --bmp | --png)
            _filedir
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options -0 --null --help" -- "$cur"))
        return
    fi
    case $command in
        copy | move | delete | record | decompile) _filedir -d ;;
        dwg) _filedir dwg ;;
        *) _filedir ;;
    esac
} &&
    complete -F _kestrune kestrune
