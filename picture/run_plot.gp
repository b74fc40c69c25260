# The plot of one run, from its stats.csv (a header line, then one row every
# K frames). Set before loading: statsfile, the CSV to read, and outfile, the
# PNG to write; plottitle, if set, replaces the title that names the file.
# Drawn by tools/plot.sh and, built into it, by tarn-sim.
#   gnuplot -e "statsfile='stats.csv'; outfile='run.png'" picture/run_plot.gp

set terminal pngcairo size 1200,1000 font "sans,10" noenhanced
set output outfile
set datafile separator ","
set datafile missing ""
set key outside right top vertical Left reverse noenhanced
set grid xtics ytics lc rgb "#d8d8d8"
set format y "%.0f"
set lmargin at screen 0.08
set rmargin at screen 0.80
set xlabel "frame"

if (!exists("plottitle")) plottitle = "Run " . statsfile
set multiplot layout 3,1 title plottitle

set title "Population"
set ylabel "Units"
set yrange [0:*]
plot statsfile using "frame":"living" with lines lw 2 lc rgb "#1f77b4" title "living (status line)", \
     ""        using "frame":"alive"  with lines lw 1 lc rgb "#ff7f0e" title "alive (end of frame)"

set title "Evolution Level and live cells"
set ylabel "Evolution Level"
set format y "%g"
set offsets 0, 0, graph 0.1, 0
set y2label "live cells"
set ytics nomirror
set y2tics
set format y2 "%.0f"
set y2range [0:*]
plot statsfile using "frame":"level" with steps lw 2 lc rgb "#9467bd" title "Evolution Level", \
     ""        using "frame":"liveCells" axes x1y2 with lines lw 1 lc rgb "#2ca02c" title "live cells"
unset y2label
unset y2tics
set ytics mirror
set offsets 0, 0, 0, 0

# A cull kills hundreds at once: it gets an axis of its own on the right,
# so that the other causes stay readable.
set title "Deaths by cause, per interval"
set ylabel "deaths since the previous row"
set format y "%.0f"
set y2label "cull"
set ytics nomirror
set y2tics
plot statsfile using "frame":"deaths_age"        with lines lw 1 lc rgb "#7f7f7f" title "age", \
     ""        using "frame":"deaths_starvation" with lines lw 1 lc rgb "#d62728" title "starvation", \
     ""        using "frame":"deaths_contest"    with lines lw 1 lc rgb "#1f77b4" title "contest", \
     ""        using "frame":"deaths_search"     with lines lw 1 lc rgb "#bcbd22" title "search", \
     ""        using "frame":"deaths_unfit"      with lines lw 1 lc rgb "#17becf" title "unfit", \
     ""        using "frame":"deaths_cull" axes x1y2 with impulses lw 2 lc rgb "#e377c2" title "cull (right axis)"

unset multiplot
