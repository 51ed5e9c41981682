# bash completion for vorlane-top-metrics. Static, like the completion of
# vorlane-top: completing never runs the command.

_vorlane_top_metrics() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local options="--textfile --group --top --near-limit --max-accounts --all-accounts -h --help -V --version"
  COMPREPLY=()
  # With "=" among the word breaks, "--textfile=x.prom" arrives as three words.
  if [[ $cur == "=" ]]; then
    cur=""
  elif [[ $prev == "=" && $COMP_CWORD -ge 2 ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  case $prev in
    --textfile)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    --group)
      mapfile -t COMPREPLY < <(compgen -g -- "$cur")
      return
      ;;
    --top | --near-limit | --max-accounts)
      return
      ;;
  esac
  case $cur in
    --group=*)
      mapfile -t COMPREPLY < <(compgen -P "--group=" -g -- "${cur#*=}")
      return
      ;;
    --textfile=*)
      mapfile -t COMPREPLY < <(compgen -P "--textfile=" -f -- "${cur#*=}")
      return
      ;;
  esac
  mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
}
complete -F _vorlane_top_metrics vorlane-top-metrics
