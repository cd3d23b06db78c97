# imgconv part of the demo: two physical-order dumps of one LIF disk turned back into its HP image.
# Sourced by demo.sh: $bin holds the programs, $examples the data, cwd is the output folder.

echo
echo "== imgconv: floppy sector dump to HP disk image"

# Compares a converted image with an expected one (by default the disk's own
# HP image), says how it went, and fails the demo when they differ.
imgconv_check() {
    check_against=${2:-$examples/lif_disk.hpi}
    show cmp "$1" "$check_against"
    if cmp -s "$1" "$check_against"; then
        echo "$1 is identical to $(basename "$check_against")"
    else
        echo "$1 DIFFERS from $(basename "$check_against")"
        return 1
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

# Captures carry every sector's ID, so nothing is guessed: the ImageDisk
# capture gives the disk's image exactly ...
show "$bin/imgconv" "$examples/lif_disk.imd" imd.hpi -v
imgconv_check imd.hpi

# ... and the TeleDisk capture lost cylinder 3 head 1 record 5 (HP record
# 117): it is named and written as zeros, every other record is the disk's.
show "$bin/imgconv" "$examples/lif_disk.td0" td.hpi
lost=$((117 * 256))
{ head -c $lost "$examples/lif_disk.hpi"; head -c 256 /dev/zero
  tail -c +$((lost + 256 + 1)) "$examples/lif_disk.hpi"; } >lif_disk_lost_117.hpi
imgconv_check td.hpi lif_disk_lost_117.hpi

# The first directory record (record 2): file names, types, start records and lengths.
show od -A d -t x1z -j 512 -N 128 il3.hpi
