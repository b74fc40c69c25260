# One measure of a sweep at the frame its runs are compared at: a box plot of
# each treatment's runs (the box from the lower to the upper quartile, a
# thick line at the median, whiskers to the least and the greatest value),
# with every run drawn as a dot over it. Set before loading: files, the data
# files separated by spaces, one per treatment, a value a line; boxes, one
# file per treatment with one line "position q1 least greatest q3 median"
# (the quartiles as bands.csv computes them); names, the treatments, and
# colours, one for each of them; outfile, the PNG to write; plottitle and
# ylab. Drawn by analysis/summarize_sweep.py.

reset
set terminal pngcairo size 1000,480 font "sans,10" noenhanced
set output outfile
set grid ytics lc rgb "#d8d8d8"
set title plottitle
set ylabel ylab
set format y "%g"
set border 3
set xtics nomirror rotate by 25 right () 
set ytics nomirror
do for [i = 1:words(names)] { set xtics add (word(names, i) i) }
set xrange [0.4:words(names) + 0.6]
set offsets 0, 0, graph 0.05, graph 0.05
set style fill transparent solid 0.25 border
set boxwidth 0.5 absolute

# The dots spread across the box by a fixed sequence, so that equal values
# stay apart and the picture is the same every time.
spread(n) = 0.36 * ((n * 0.618034) - floor(n * 0.618034)) - 0.18
plot for [i = 1:words(boxes)] word(boxes, i) using 1:2:3:4:5 with candlesticks whiskerbars 0.5 \
       lw 1.5 lc rgb word(colours, i) notitle, \
     for [i = 1:words(boxes)] word(boxes, i) using 1:6:6:6:6 with candlesticks lw 3 \
       lc rgb word(colours, i) notitle, \
     for [i = 1:words(files)] word(files, i) using (i + spread($0)):1 with points pt 7 ps 0.5 \
       lc rgb word(colours, i) notitle
unset output
