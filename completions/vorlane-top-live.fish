# fish completion for vorlane-top-live. Static, like the completion of
# vorlane-top: completing never runs the command.

complete -c vorlane-top-live -f
complete -c vorlane-top-live -s d -l delay -x -d 'Seconds between refreshes (default the statistics interval)'
complete -c vorlane-top-live -s b -l batch -d 'Write plain text tables, no terminal control'
complete -c vorlane-top-live -s n -l iterations -x -d 'Refreshes to show, then end'
complete -c vorlane-top-live -s r -l for-reseller -x -a '(__fish_complete_users)' -d 'Only the named reseller and his users'
complete -c vorlane-top-live -s u -l username -x -a '(__fish_complete_users)' -d 'Show users whose name contains the pattern'
complete -c vorlane-top-live -l domain -x -d 'Show users whose domain contains the pattern'
complete -c vorlane-top-live -s o -l order-by -x -a 'cpu mysql_cpu io mysql_io iops ep nproc pmem' -d 'First sort order (default cpu)'
complete -c vorlane-top-live -l hide-mysql -d "Don't show MySQL related info"
complete -c vorlane-top-live -s h -l help -d 'Print help'
complete -c vorlane-top-live -s V -l version -d 'Print version'
