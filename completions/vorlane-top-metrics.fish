# fish completion for vorlane-top-metrics. Static, like the completion of
# vorlane-top: completing never runs the command.

complete -c vorlane-top-metrics -f
complete -c vorlane-top-metrics -l textfile -r -F -d 'Write the metrics to this file, atomically'
complete -c vorlane-top-metrics -l group -x -a '(__fish_complete_groups)' -d 'Give the metrics file this group (default prometheus)'
complete -c vorlane-top-metrics -l top -x -d 'Export the top N accounts for each sort key (default 10)'
complete -c vorlane-top-metrics -l near-limit -x -d 'Fraction of a limit that counts as near it (default 0.9)'
complete -c vorlane-top-metrics -l max-accounts -x -d 'Export at most M accounts (default 300)'
complete -c vorlane-top-metrics -l all-accounts -d 'Export every account'
complete -c vorlane-top-metrics -s h -l help -d 'Print help'
complete -c vorlane-top-metrics -s V -l version -d 'Print version'
