#!/usr/bin/env bash
# How start time grows with the application: the offline launcher and `java -Xms768m -cp` up to
# the main class's constructor, over a signed bl.jar of 1,000, 10,000 and 50,000 classes and over
# one of 1, 16 and 64 MiB (the 2,000-class jar with an incompressible stored entry). Medians of
# RUNS alternating rounds (vistal-growth-bench); the figures go to docs/growth.dat and the plot,
# drawn with gnuplot, to docs/growth.svg.
#
#   bench/growth.sh [BUILD_DIR] [RUNS]
#
# Installs gnuplot (Debian's gnuplot-nox) when it is missing; runs at nice -10 as root. Making
# the 50,000-class jar takes a few minutes the first time; the jars are kept under
# BUILD_DIR/bench/growth and remade only when their inputs change.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
runs=${2:-7}
docs=$here/../docs
work=$build/bench/growth

if ! command -v gnuplot >/dev/null; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq gnuplot-nox >/dev/null
fi
cmake --build "$build" -j2 --target vistal-growth-bench

classes=(1000 10000 50000)
mib=(1 16 64)
dirs=()
for n in "${classes[@]}"; do
    bash "$here/startup_app.sh" "$build" "$work/classes-$n" --filler "$n"
    dirs+=("$work/classes-$n")
done
bash "$here/startup_app.sh" "$build" "$work/sized" "${mib[@]}"
for m in "${mib[@]}"; do
    mkdir -p "$work/mib-$m"
    cp "$work/sized/app-$m.jar" "$work/mib-$m/bl.jar"
    cp "$work/sized/include.jar" "$work/mib-$m/include.jar"
    dirs+=("$work/mib-$m")
done

priority=()
[ "$(id -u)" -eq 0 ] && priority=(nice -n -10)
log=$(mktemp "${TMPDIR:-/tmp}/vistal-growth.XXXXXX")
trap 'rm -f "$log"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
"${priority[@]}" "$build/vistal-growth-bench" --jars "$(IFS=,; echo "${dirs[*]}")" --runs "$runs" |
    tee "$log"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# growth.dat: kind (classes|mib), x, launcher ms, java ms.
{
    echo "# kind x launcher_ms java_ms ($runs rounds, $(date -u +%F), load $(cut -d' ' -f1 /proc/loadavg))"
    awk '$1 == "growth" { split($2, p, "-"); print p[1], p[2], $3, $4 }' "$log"
} >"$docs/growth.dat"

classes_data="< grep '^classes' '$docs/growth.dat'"
mib_data="< grep '^mib' '$docs/growth.dat'"
gnuplot <<PLOT
set terminal svg size 900,380 dynamic font "sans,12"
set output "$docs/growth.svg"
set multiplot layout 1,2 title "Start to the main class, signed jars (median of $runs rounds)"
set key bottom right
set ylabel "ms"
set yrange [0:*]
set grid
set xlabel "classes in the jar"
set xrange [0:*]
plot "$classes_data" using 2:3 with linespoints lw 2 title "launcher", \
     "$classes_data" using 2:4 with linespoints lw 2 title "java -cp"
set xlabel "size of the jar (MiB), 2,000 classes"
plot "$mib_data" using 2:3 with linespoints lw 2 title "launcher", \
     "$mib_data" using 2:4 with linespoints lw 2 title "java -cp"
unset multiplot
PLOT
echo "wrote $docs/growth.dat and $docs/growth.svg"
