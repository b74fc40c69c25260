# One measure of a sweep over frames: for each treatment the mean over its
# runs as a line, with the 95 % confidence interval of the mean shaded in the
# same colour. Set before loading: files, the data files separated by spaces,
# one per treatment, each a line per stats row "frame mean low high"; names,
# the treatments, and colours, one for each of them; outfile, the PNG to
# write; plottitle and ylab. Drawn by analysis/summarize_sweep.py, which
# writes the files and loads this script once per picture.

reset
set terminal pngcairo size 1000,540 font "sans,10" noenhanced
set output outfile
set grid xtics ytics lc rgb "#d8d8d8"
set key below Left reverse noenhanced
set title plottitle
set xlabel "frame"
set ylabel ylab
set format x "%.0f"
set format y "%g"
set autoscale xfix
set offsets 0, 0, graph 0.05, graph 0.05

# The bands first, so that every mean's line is drawn over them.
plot for [i = 1:words(files)] word(files, i) using 1:3:4 with filledcurves \
       fc rgb word(colours, i) fs transparent solid 0.18 noborder notitle, \
     for [i = 1:words(files)] word(files, i) using 1:2 with lines lw 2 \
       lc rgb word(colours, i) title word(names, i)
unset output
