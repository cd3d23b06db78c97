# imgconv part of the demo: a disk rebuilt from a SECSCAN sector report of a worn disk.
# Sourced by demo.sh: $bin holds the programs, $examples the data, cwd is the output folder.

echo
echo "== imgconv: rebuilding a disk from a SECSCAN sector report"

# The scan lost one sector (cylinder 1, head 1, record 9), read one twice, met
# a stray sector of the next cylinder and ends with two tracks of another
# format. The warnings name every record that could not be put in its place.
show "$bin/imgconv" "$examples/secscan_dump.bin" secscan_rebuilt.hpi -l "$examples/secscan_report.txt"

# What the rebuilt image must be: the true disk, with zeros where the lost
# record lies (16 records per track: record 3 x 16 + 9 = 57, at byte 14592).
lost_at=14592
record_bytes=256
head -c "$lost_at" "$examples/secscan_disk.hpi" >secscan_expected.hpi
head -c "$record_bytes" /dev/zero >>secscan_expected.hpi
tail -c +"$((lost_at + record_bytes + 1))" "$examples/secscan_disk.hpi" >>secscan_expected.hpi
show cmp secscan_rebuilt.hpi secscan_expected.hpi
if cmp -s secscan_rebuilt.hpi secscan_expected.hpi; then
    echo "secscan_rebuilt.hpi is the true disk secscan_disk.hpi, with zeros in the lost record"
else
    echo "secscan_rebuilt.hpi DIFFERS from the true disk with zeros in the lost record"
    exit 1
fi
# The end of record 56 and the start of the lost record 57.
show od -A d -c -j "$((lost_at - 32))" -N 64 secscan_rebuilt.hpi
