# Bar chart of each tool's speed against tar per data set, from the data file that
# bench/bench.py writes (a header line, then one row per set).
# Called with -e "datafile='...'; outfile='...'; ncols=TOOLS; nrows=SETS".
set terminal pngcairo size 1100,560 font "DejaVu Sans,10"
set output outfile
set title "Packing speed against tar -cf (median of the timed runs; higher is faster)"
set ylabel "speed vs tar (tar = 1.0)"
set key autotitle columnheader top left horizontal
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set grid ytics
set yrange [0:*]
set offsets 0, 0, graph 0.08, 0
set xrange [-0.6:nrows - 0.4]
set xtics nomirror
set arrow from graph 0, first 1 to graph 1, first 1 nohead dashtype 2 linecolor rgb "#444444"
# Bar j of a cluster stands (j - (ncols - 1) / 2) / (ncols + gap) away from the cluster's centre.
plot for [i=2:ncols+1] datafile using i:xtic(1), \
     for [i=2:ncols+1] datafile using ($0 + (i - 2 - (ncols - 1) / 2.0) / (ncols + 1)):i:(sprintf("%.2f", column(i))) \
         with labels font ",8" offset 0,0.7 notitle
