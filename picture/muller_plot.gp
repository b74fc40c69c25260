# The Muller plot of a run: the share of the population in each major
# lineage over frames, each lineage an area nested in its parent's, in its
# founder's glyph colour. Set before loading: mullerfile, the layout to read
# (a row per stats row: the frame, then for each band its lower and upper
# edge as shares of the Units alive); bands, the number of bands; colours,
# their colours separated by spaces; outfile, the PNG to write; plottitle.
# tarn-sim works the layout out from lineages.csv and draws it.

set terminal pngcairo size 1200,600 font "sans,10" noenhanced
set output outfile
set datafile separator ","
if (!exists("plottitle")) plottitle = "Lineages"
set title plottitle
set xlabel "frame"
set format x "%.0f"
set ylabel "share of the Units alive"
set yrange [0:1]
set format y "%.0f%%"
set ytics ("0%%" 0, "25%%" 0.25, "50%%" 0.5, "75%%" 0.75, "100%%" 1)
set xrange [*:*] noextend
set style fill solid 1.0 noborder
set key outside right top
plot for [i = 1:bands] mullerfile using 1:(column(2 * i)):(column(2 * i + 1)) with filledcurves \
       fc rgb word(colours, i) title (i == 1 ? "no major lineage" : "")
