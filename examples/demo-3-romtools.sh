# blocksum and bytesplit on the example ROM image: five 4096-word blocks (two
# sound, one with a flipped bit, one blank, one that only sums right plainly).
echo
echo "== blocksum and bytesplit"
cp "$examples/rom_example.bin" rom.bin
show "$bin/blocksum" rom.bin
show "$bin/blocksum" -plain rom.bin
show "$bin/blocksum" -plain -blocksize 0x800 rom.bin
show "$bin/bytesplit" rom.bin
show ls -l rom.bin rom.bin_high rom.bin_low
show od -A d -t x1 -N 8 rom.bin
show od -A d -t x1 -N 4 rom.bin_high
show od -A d -t x1 -N 4 rom.bin_low
