# How each gene's mean moved within its range over a run, from its genes.csv
# (frame,gene,name,mean,sd,min,max: 36 rows every K frames), as a heat map:
# a row per gene, the mean as a fraction of the gene's bounds. Set before
# loading: genesfile, the CSV to read; outfile, the PNG to write; every, the
# frames between rows; names, lows and highs, the genes' names and bounds
# separated by spaces; plottitle, if set, replaces the title that names the
# file. Drawn, built into it, by tarn-sim.

set terminal pngcairo size 1200,900 font "sans,10" noenhanced
set output outfile
set datafile separator ","
set datafile missing ""
if (!exists("plottitle")) plottitle = "Genes of " . genesfile
set title plottitle . ": each gene's mean over the Units alive, within its bounds"
set xlabel "frame"
set format x "%.0f"
set autoscale xfix
set yrange [35.5:-0.5]
set ytics () font "sans,9"
do for [i = 1:words(names)] { set ytics add (word(names, i) i - 1) }
set ytics nomirror
set lmargin at screen 0.14
set rmargin at screen 0.86
set cbrange [0:1]
set cblabel "mean: 0 at the gene's least value, 1 at its greatest"
set palette defined (0 "#440154", 0.25 "#3b528b", 0.5 "#21918c", 0.75 "#5ec962", 1 "#fde725")
set style fill solid 1.0 noborder
set offsets 0, 0, 0, 0

low(g) = real(word(lows, int(g) + 1))
high(g) = real(word(highs, int(g) + 1))
share(g, mean) = high(g) > low(g) ? (mean - low(g)) / (high(g) - low(g)) : 0.5
# Each box a little wider than the step between rows, so that no seam shows.
plot genesfile using 1:2:(every * 0.6):(0.5):(share($2, $4)) with boxxyerror lc palette notitle
