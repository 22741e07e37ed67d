# Bash completion for varnel: its commands and options, as the tool itself lists them
# (varnel --completion-words), and plugin names (kind:key) of the host the line names.
# Source it, or copy it to /etc/bash_completion.d/varnel.

_varnel() {
  local cur prev words cword
  # With bash-completion, "fs:Sample FS" stays one word although ':' breaks words in bash.
  if declare -F _init_completion >/dev/null; then
    _init_completion -n : || return
  else
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  fi
  local table
  table=$("${words[0]}" --completion-words 2>/dev/null) || return
  local globals commands
  globals=$(awk '$1 == "-" { $1 = ""; print }' <<<"$table")
  commands=$(awk '$1 != "-" { print $1 }' <<<"$table")
  local command="" i
  for ((i = 1; i < cword; i++)); do
    if grep -qx -- "${words[i]}" <<<"$commands"; then
      command=${words[i]}
      break
    fi
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
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(awk -v c="$command" '$1 == c { $1 = ""; print }' <<<"$table") $globals" -- "$cur"))
    return
  fi
  case $command in
    install|report) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    host) COMPREPLY=($(compgen -W "status run restart" -- "$cur")); return ;;
    order) [ "$prev" = order ] && { COMPREPLY=($(compgen -W "lister packer content" -- "$cur")); return; } ;;
    show|uninstall|disable|enable|rename|tweak) ;;
    *) return ;;
  esac
  # The plugins of the host the command line names so far, quoted where they hold blanks.
  local IFS=$'\n' name
  COMPREPLY=($(compgen -W "$("${words[0]}" "${words[@]:1:i-1}" list --all --keys 2>/dev/null)" -- "$cur"))
  declare -F __ltrim_colon_completions >/dev/null && __ltrim_colon_completions "$cur"
  for i in "${!COMPREPLY[@]}"; do
    printf -v name '%q' "${COMPREPLY[i]}"
    COMPREPLY[i]=$name
  done
}
complete -F _varnel varnel
