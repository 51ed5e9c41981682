# bash completion for vorlane-top-live. Static, like the completion of
# vorlane-top: completing never runs the command.

_vorlane_top_live() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local options="-d --delay -b --batch -n --iterations -r --for-reseller -u --username --domain
    -o --order-by --hide-mysql -h --help -V --version"
  local sorts="cpu mysql_cpu io mysql_io iops ep nproc pmem"
  COMPREPLY=()
  # With "=" among the word breaks, "--order-by=io" arrives as three words.
  if [[ $cur == "=" ]]; then
    cur=""
  elif [[ $prev == "=" && $COMP_CWORD -ge 2 ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  case $prev in
    -o | --order-by)
      mapfile -t COMPREPLY < <(compgen -W "$sorts" -- "$cur")
      return
      ;;
    -u | --username | -r | --for-reseller)
      mapfile -t COMPREPLY < <(compgen -u -- "$cur")
      return
      ;;
    -d | --delay | -n | --iterations | --domain)
      return
      ;;
  esac
  case $cur in
    --order-by=*)
      mapfile -t COMPREPLY < <(compgen -P "--order-by=" -W "$sorts" -- "${cur#*=}")
      return
      ;;
    --username=* | --for-reseller=*)
      mapfile -t COMPREPLY < <(compgen -P "${cur%%=*}=" -u -- "${cur#*=}")
      return
      ;;
  esac
  mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
}
complete -F _vorlane_top_live vorlane-top-live
