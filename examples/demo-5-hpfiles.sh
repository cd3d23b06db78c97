# hpfiles part of the demo: from the example disk's TeleDisk capture to the text of a file on it.
# Sourced by demo.sh: $bin holds the programs, $examples the data, cwd is the output folder.

echo
echo "== hpfiles: from a capture to the files on it and their text"

# The capture is read as it is, no image in between. It lost one sector
# (HP record 117), which the placement names on standard error; that record
# lies in no file, so every file is whole.
show "$bin/hpfiles" list "$examples/lif_disk.td0"

# MAKESQ is a BASIC listing kept as an HP-85 DATA file: one string per line,
# line 70 cut at the end of the first record and carried on in the second.
show "$bin/hpfiles" text "$examples/lif_disk.td0" MAKESQ

# The same text into a file, checked against the listing as it was written
# (CR LF lines): any other byte fails the demo.
"$bin/hpfiles" text "$examples/lif_disk.td0" MAKESQ makesq.txt 2>/dev/null ||
    { echo "demo: hpfiles text into makesq.txt failed" >&2; exit 1; }
printf '%s\r\n' \
    '10 ! MAKESQ: PRINTS THE SQUARES OF 1 TO 60, AS THE TEXT FILE SQUARES HOLDS THEM' \
    '20 ! ONE LINE PER NUMBER: THE NUMBER, A BLANK AND ITS SQUARE' \
    '30 DIM L$[20]' \
    '40 PRINT "SQUARES OF 1 TO 60"' \
    '50 FOR N=1 TO 60' \
    '60 L$=VAL$(N)&" "&VAL$(N*N)' \
    '70 PRINT L$' \
    '80 NEXT N' \
    '90 END' >makesq_expected.txt
if cmp -s makesq.txt makesq_expected.txt; then
    echo "makesq.txt is the listing MAKESQ holds, line 70 joined, in CR LF lines"
else
    echo "makesq.txt DIFFERS from the listing MAKESQ holds" >&2
    exit 1
fi
