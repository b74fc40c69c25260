# The tree of the living over a run, from its phylodiversity.csv: the
# phylogenetic diversity (the Units in the tree of the living and their
# ancestors) beside the Units alive, and the mean pairwise distance beside
# the mean depth of the living and the depth of their most recent common
# ancestor, all in generations; a thin red line marks each row at which the
# common ancestor changed. Set before loading: treefile, the CSV to read, and
# outfile, the PNG to write; plottitle, if set, replaces the title.
#   gnuplot -e "treefile='phylodiversity.csv'; outfile='phylodiversity.png'" picture/phylodiversity_plot.gp

set terminal pngcairo size 1200,800 font "sans,10" noenhanced
set output outfile
set datafile separator ","
set key outside right top vertical Left reverse noenhanced
set grid xtics ytics lc rgb "#d8d8d8"
set lmargin at screen 0.08
set rmargin at screen 0.76
set xlabel "frame"
set format x "%.0f"
set xrange [*:*] noextend

if (!exists("plottitle")) plottitle = "The tree of the living: " . treefile
set multiplot layout 2,1 title plottitle

# A change of the common ancestor: 1 on the right axis (a line the height of
# the plot), nothing elsewhere.
changed(c) = (c > seen ? 1 : NaN)
mark(c) = (step = changed(c), seen = c, step)
set y2range [0:1]
unset y2tics

set title "Phylogenetic diversity"
set ylabel "Units"
set format y "%.0f"
set yrange [0:*]
seen = 0
plot treefile using "frame":(mark(column("mrca_changes"))) axes x1y2 with impulses lw 1 lc rgb "#f0a0a0" \
       title "common ancestor changed", \
     ""       using "frame":"phylogenetic_diversity" with lines lw 2 lc rgb "#1f77b4" \
       title "phylogenetic diversity (Units in the tree)", \
     ""       using "frame":"alive" with lines lw 1 lc rgb "#ff7f0e" title "Units alive"

set title "Mean pairwise distance, depths"
set ylabel "generations"
seen = 0
plot treefile using "frame":(mark(column("mrca_changes"))) axes x1y2 with impulses lw 1 lc rgb "#f0a0a0" \
       title "common ancestor changed", \
     ""       using "frame":"mean_pairwise_distance" with lines lw 2 lc rgb "#2ca02c" title "mean pairwise distance", \
     ""       using "frame":"depth_mean" with lines lw 1 lc rgb "#9467bd" title "mean depth of the living", \
     ""       using "frame":"mrca_depth" with steps lw 1 lc rgb "#d62728" title "depth of the common ancestor"

unset multiplot
