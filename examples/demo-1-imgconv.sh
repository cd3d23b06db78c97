# imgconv part of the demo: two physical-order dumps of one LIF disk turned back into its HP image.
# Sourced by demo.sh: $bin holds the programs, $examples the data, cwd is the output folder.

echo
echo "== imgconv: floppy sector dump to HP disk image"

# Compares a converted image with the disk's own HP image and says how it went.
imgconv_check() {
    show cmp "$1" "$examples/lif_disk.hpi"
    if cmp -s "$1" "$examples/lif_disk.hpi"; then
        echo "$1 is identical to lif_disk.hpi"
    else
        echo "$1 DIFFERS from lif_disk.hpi"
    fi
}

# Interleave 2, no skews: the LIF header gives the geometry, the directory's
# place in the dump gives the interleave.
show "$bin/imgconv" "$examples/lif_disk_il2.ima" il2.hpi -v
imgconv_check il2.hpi

# Interleave 3 (still found by itself), but every track is turned by its
# skew and followed by 32 junk bytes: give the junk and the skews.
show "$bin/imgconv" "$examples/lif_disk_il3_skew.ima" il3.hpi -v -j 32 -cs 3 -hs 5
imgconv_check il3.hpi

# Skews unknown? Free records name themselves, so find two in the dump: record
# 24 (head 1 of cylinder 0) and record 40 (head 0 of cylinder 1) ...
show grep -a -b -o -m 1 "free record 024" "$examples/lif_disk_il3_skew.ima"
show grep -a -b -o -m 1 "free record 040" "$examples/lif_disk_il3_skew.ima"
# ... and let the matchlist find the skews that put them there.
show "$bin/imgconv" "$examples/lif_disk_il3_skew.ima" il3m.hpi -v -j 32 -m 2 24 7456 40 8256
imgconv_check il3m.hpi

# The first directory record (record 2): file names, types, start records and lengths.
show od -A d -t x1z -j 512 -N 128 il3.hpi
