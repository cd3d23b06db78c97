# basiclist part of the demo (sourced by demo.sh): the example program on
# standard output, then into a file. Both end with status 1 at the end mark.
show_status 1 "$bin/basiclist" "$examples/basic_example.bas"
show_status 1 "$bin/basiclist" "$examples/basic_example.bas" basic_example.txt
show head -n 5 basic_example.txt
