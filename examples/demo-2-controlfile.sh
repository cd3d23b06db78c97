# imgconv rebuilds a disk from a SECSCAN sector report and the dump of the sectors it lists.
show "$bin/imgconv" "$examples/secscan_dump.bin" secscan_disk.hpi -l "$examples/secscan_report.txt" -v
show cmp secscan_disk.hpi "$examples/secscan_disk.hpi"
cmp -s secscan_disk.hpi "$examples/secscan_disk.hpi" && echo "(the rebuilt image is the expected one)"
show head -c 45 secscan_disk.hpi
