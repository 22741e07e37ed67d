# Bash completion for varnel: commands, options, and plugin names (as kind:key) of the host in use.
# Source it, or copy it to /etc/bash_completion.d/varnel.

_varnel() {
  local cur prev words cword
  _init_completion 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  }
  local commands="list show install uninstall disable enable rename order tweak report host config"
  local globals="--prefix --host --ini --settings --json --quiet --lang --version --help"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case " $commands " in *" ${words[i]} "*) command=${words[i]}; break ;; esac
  done
  case $prev in
    --prefix|--settings|--host|--ini) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --kind) COMPREPLY=($(compgen -W "lister packer fs content" -- "$cur")); return ;;
    --mode) COMPREPLY=($(compgen -W "0 1 2" -- "$cur")); return ;;
    --columns) COMPREPLY=($(compgen -W "name,version,state,assoc,file" -- "$cur")); return ;;
  esac
  if [ -z "$command" ]; then
    COMPREPLY=($(compgen -W "$commands $globals" -- "$cur"))
    return
  fi
  local options
  case $command in
    list) options="--kind --all --keys" ;;
    install) options="--yes --extensions --name --detect --flags --force --restart" ;;
    uninstall|disable|enable) options="--yes" ;;
    report) options="--columns" ;;
    host) COMPREPLY=($(compgen -W "status run restart --mode" -- "$cur")); return ;;
    order) [ "$prev" = order ] && { COMPREPLY=($(compgen -W "lister packer content" -- "$cur")); return; } ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
  elif [ "$command" = install ]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  else
    # The plugins of the host the command line names so far.
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$("${words[0]}" "${words[@]:1:i-1}" list --all --keys 2>/dev/null)" -- "$cur"))
  fi
}
complete -F _varnel varnel
