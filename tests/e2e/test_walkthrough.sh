# What a user does, under a virtual X server with the real mouse and keys:
# start on a populated world, pause, save, hover and pick a Unit, save its
# genome to a slot and plant another one from the slot, let it go, start a
# new world, load the saved one back, leave with ESC; then start with each
# picture or the font damaged.  Usage: bash test_walkthrough.sh <build-dir>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "${1:-}"
export LC_ALL=C
e2e_require

run=$(e2e_workdir walk)
"$E2E_BUILD_DIR/tarn-sim" --seed 5 --frames 1500 --save "$run/tarn.sav" >"$run/sim.out" || e2e_fail "tarn-sim failed"
e2e_start_xvfb
e2e_move_pointer $NEUTRAL
e2e_start_program "$run"
e2e_wait_window 30 || { e2e_fail "no window within 30 s"; e2e_finish; }
shot() { local f="$run/$1-$(date +%s%N).png"; e2e_screenshot "$f" && echo "$f"; }

# --- Start: the background where nothing else is drawn ------------------------
points="600,20 300,30 8,400 1016,300 100,450"
for _ in $(seq 40); do
  f=$(shot start)
  [ "$(e2e_pixels "$f" $points)" = "$(e2e_pixels "$run/bg.bmp" $points)" ] && break
  sleep 0.5
done
e2e_expect_eq "the background shows" "$(e2e_pixels "$run/bg.bmp" $points | tr '\n' ' ')" \
  "$(e2e_pixels "$f" $points | tr '\n' ' ')"

# --- Pause: one click stops world and graph -----------------------------------
e2e_click $PAUSE 1 0.05 && e2e_move_pointer $NEUTRAL
e2e_wait_still 5 $WORLD $GRAPH && e2e_pass "Pause stops the world and the graph" || e2e_fail "the world still moves after Pause"
before=$(shot paused)

# --- Save, and a lone Unit to point at ------------------------------------------
save() {
  rm -f "$run/usersaved.sav"
  e2e_click $SAVE 1 0.15 && e2e_move_pointer $NEUTRAL
  e2e_wait_lines 10 "$run/usersaved.sav" $STATE_LINES && sleep 0.3
}
save && e2e_pass "Save writes usersaved.sav" || { e2e_fail "no whole usersaved.sav after Save"; e2e_finish; }
# Alive, inside the world, 30 cells from every other Unit, not dark: "slot x y".
read -r unit ux uy < <(awk -v px=$POSX_LINE -v py=$POSY_LINE -v ps=$STATUS_LINE -v pg=$GENOME_LINE '
  NR >= px && NR < px + 1000 { x[NR - px] = $1 } NR >= py && NR < py + 1000 { y[NR - py] = $1 }
  NR >= ps && NR < ps + 1000 { s[NR - ps] = $1 } NR >= pg && (NR - pg) % 36 == 2 { r[int((NR - pg) / 36)] = $1 }
  END {
    for (i = 0; i < 1000; i++) {
      if (s[i] != 1 || x[i] < 20 || x[i] > 804 || y[i] < 20 || y[i] > 504 || r[i] < 100 || r[i] == 255) continue
      for (j = 0; j < 1000; j++) if (j != i && s[j] == 1 && (x[i]-x[j])^2 < 900 && (y[i]-y[j])^2 < 900) break
      if (j == 1000) { print i, x[i], y[i]; exit }
    }
  }' "$run/usersaved.sav")
[ -n "$unit" ] || { e2e_fail "set-up: no lone Unit in the saved world"; e2e_finish; }
genes() { sed -n "$((GENOME_LINE + 36 * unit)),$((GENOME_LINE + 36 * unit + 35))p" "$1"; }
sx=$((ux + WORLD_X)) sy=$((uy + WORLD_Y)) box=23x23+$((sx - 11))+$((sy - 11))
more() { echo $(($(e2e_count_colour "$1" "$2" "$3") - $(e2e_count_colour "$before" "$2" "$3"))); }

# --- Hover and pick ------------------------------------------------------------
xdotool mousemove $((sx - 3)) $((sy - 3))
for _ in $(seq 10); do red=$(more "$(shot hover)" $box '#FF0000'); [ "$red" -ge 20 ] && break; sleep 0.3; done
[ "$red" -ge 20 ] && e2e_pass "hovering rings the Unit in red" || e2e_fail "hovering Unit $unit: $red red pixels"
e2e_click $((sx - 3)) $((sy - 3)) 1 0.15 && e2e_move_pointer $NEUTRAL
for _ in $(seq 10); do
  f=$(shot picked)
  white=$(more "$f" $box '#FFFFFF') magnified=$(more "$f" $MAGNIFIER '#FFFFFF')
  [ "$white" -ge 20 ] && [ "$magnified" -ge 100 ] && break
  sleep 0.3
done
[ "$white" -ge 20 ] && e2e_pass "a click keeps it: white rings" || e2e_fail "picked Unit $unit: $white white pixels"
[ "$magnified" -ge 100 ] && e2e_pass "the magnifier follows it" || e2e_fail "magnifier: $magnified white pixels"

# --- Slots: save the picked genome to slot 3, plant another from it ----------------
e2e_click $SLOT3 1 0.15 && e2e_click $SLOT_SAVE 1 0.15 && e2e_move_pointer $NEUTRAL
sleep 1
genes "$run/usersaved.sav" >"$run/unit.genes"
cmp -s "$run/sample3.dna" "$run/unit.genes" && e2e_pass "slot Save writes the Unit's genome to sample3.dna" ||
  e2e_fail "sample3.dna: $(e2e_lines "$run/sample3.dna") lines, not the Unit's genes"
awk 'NR == 3 || NR == 4 || NR == 8 { $1 = 250 } 1' "$run/unit.genes" >"$run/sample3.dna"
e2e_click $SLOT_LOAD 1 0.15 && e2e_move_pointer $NEUTRAL
save && genes "$run/usersaved.sav" | cmp -s - "$run/sample3.dna" && e2e_pass "slot Load plants the slot's genome" ||
  e2e_fail "after slot Load the Unit's genes differ from sample3.dna"

# --- Let go, New, Load --------------------------------------------------------------
e2e_click $NEUTRAL 3 && sleep 0.5
saved=$(e2e_region_sum "$(shot saved)" $WORLD)
e2e_click $NEW 1 0.15 && e2e_move_pointer $NEUTRAL && sleep 0.5
e2e_expect_eq "New empties the world" "$(e2e_region_sum "$run/bg.bmp" $WORLD)" "$(e2e_region_sum "$(shot new)" $WORLD)"
e2e_click $LOAD 1 0.15 && e2e_move_pointer $NEUTRAL
for _ in $(seq 20); do [ "$(e2e_region_sum "$(shot loaded)" $WORLD)" = "$saved" ] && break; sleep 0.3; done
e2e_expect_eq "Load brings the saved world back" "$saved" "$(e2e_region_sum "$(shot loaded)" $WORLD)"

# --- ESC: status 0 and the world on the screen autosaved --------------------------
e2e_hold_key Escape 30
e2e_wait_exit 20
e2e_expect_eq "exit status after ESC" 0 "$E2E_STATUS"
cmp -s "$run/tarn.sav" "$run/usersaved.sav" && e2e_pass "ESC autosaves the loaded world" ||
  e2e_fail "tarn.sav differs from usersaved.sav"

# --- Damaged artwork: a message naming the file, status 255, the autosave kept ------
damage() { case $1 in bg.bmp) rm "$2" ;; cursor.bmp) truncate -s 300 "$2" ;; *) yes garbage | head -c 5000 >"$2" ;; esac; }
for file in $E2E_RESOURCES; do
  dir=$(e2e_workdir "damaged-$file")
  damage "$file" "$dir/$file"
  echo "left from an earlier run" >"$dir/tarn.sav"
  e2e_start_program "$dir"
  e2e_dismiss_message_box 30 || e2e_log "no message box for $file: $(tail -2 "$dir/program.err")"
  case "$E2E_MESSAGE" in
    *"$file"*) e2e_pass "the message names $file" ;;
    *) e2e_fail "message for $file: '$E2E_MESSAGE'" ;;
  esac
  e2e_wait_exit 20
  e2e_expect_eq "exit status with $file damaged" 255 "$E2E_STATUS"
  e2e_expect_eq "tarn.sav kept with $file damaged" "left from an earlier run" "$(cat "$dir/tarn.sav")"
done
e2e_finish
