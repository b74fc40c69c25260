# The population of every run of a sweep over frames, in one plot. Set before
# loading: sweepdir, the sweep's folder (its runs in seed-*/stats.csv), and
# outfile, the PNG to write.
#   gnuplot -e "sweepdir='sweep'; outfile='sweep/summary.png'" picture/summary_plot.gp

set terminal pngcairo size 1200,600 font "sans,10" noenhanced
set output outfile
set datafile separator ","
set grid xtics ytics lc rgb "#d8d8d8"
set key outside right top vertical Left reverse noenhanced
set format y "%.0f"
set yrange [0:*]
set xlabel "frame"
set ylabel "alive Units"

# The runs in the order of their seeds; names relative to the sweep's
# folder, which never hold a blank.
cd sweepdir
runs = system("ls -1v seed-*/stats.csv 2>/dev/null")
if (words(runs) == 0) { print "no seed-*/stats.csv in " . sweepdir; exit status 1 }
seedof(f) = f[6:strstrt(f, "/") - 1]

set title sprintf("Population of %d runs: %s", words(runs), sweepdir)
plot for [f in runs] f using "frame":"alive" with lines lw 1 title "seed " . seedof(f)
