# fish completion for vorlane-top. Static on purpose: running the command
# would ask the control panel's helper first, which may take 30 seconds.

complete -c vorlane-top -f
complete -c vorlane-top -s j -l json -d 'Return data in JSON format (required)'
complete -c vorlane-top -l hide-mysql -d "Don't show MySQL related info"
complete -c vorlane-top -s u -l username -x -a '(__fish_complete_users)' -d 'Show users whose name contains the pattern'
complete -c vorlane-top -s r -l for-reseller -x -a '(__fish_complete_users)' -d 'Only the named reseller and his users'
complete -c vorlane-top -s d -l domain -x -d 'Show users whose domain contains the pattern'
complete -c vorlane-top -s m -l max -x -d 'Show up to N records (default 25)'
complete -c vorlane-top -s o -l order-by -x -a 'cpu mysql_cpu io mysql_io iops ep nproc pmem' -d 'Sort order (default cpu)'
complete -c vorlane-top -l domains -d 'Include per-domain usage for isolated accounts'
complete -c vorlane-top -s h -l help -d 'Print help'
complete -c vorlane-top -s V -l version -d 'Print version'
