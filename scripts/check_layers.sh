#!/bin/bash
# Checks every #include of the project's sources against the rooms and rules
# of scripts/layers.txt: an include from a room the file may not use, a
# circle of includes between rooms, a Windows header (or a project file of
# the Windows layer) in a portable file, and a source file in no room each
# print one line "FILE:LINE: what -- the rule's why" and make it exit 1.
#
# Usage: scripts/check_layers.sh [--rules FILE] [ROOT]   checks ROOT (the tree)
#        scripts/check_layers.sh --self-test              plants faults in copies
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# check RULES ROOT: the check itself; prints the faults and a count line.
check() {
  local rules=$1 root=$2
  (cd "$root" && find . \( -path ./build -o -path './build-*' -o -name .git \) -prune -o -type f \
      \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.hpp' -o -name '*.inc' \) -print) |
    sed 's|^\./||' | LC_ALL=C sort |
    LC_ALL=C awk -v RULES="$rules" -v ROOT="$root" '
function fault(where, text) { print where ": " text; faults++ }
function glob2re(g,   re, i, c) {
  re = ""
  for (i = 1; i <= length(g); i++) {
    c = substr(g, i, 1)
    if (c == "*") re = re ".*"
    else if (c == "?") re = re "."
    else if (index(".[]()+^$|\\{}", c)) re = re "\\" c
    else re = re c
  }
  return "^" re "$"
}
function roomOf(path,   best, r) {
  best = ""
  for (r in isRoom)
    if ((path == r || index(path, r "/") == 1) && length(r) > length(best)) best = r
  return best
}
function isWindowsFile(path,   base, i) {
  base = path; sub(/.*\//, "", base)
  for (i = 1; i <= nWin; i++)
    if ((winHasSlash[i] ? path : base) ~ winRe[i]) return 1
  return 0
}
# Peers are one node of the room graph, named "a+b".
function label(r,   s, x) { s = ""; for (x in isRoom) if (rep(x) == r) s = s (s == "" ? "" : "+") x; return s == "" ? r : s }
function rep(r) { while (r in peerOf) r = peerOf[r]; return r }
function exists(path,   x, rc) { rc = (getline x < path); if (rc >= 0) close(path); return rc >= 0 }
# Depth-first walk of the room graph; a room met again while still on the
# stack closes a circle.
function visit(r,   t, i, path) {
  state[r] = 1; stack[++depth] = r
  for (t in node)
    if ((r, t) in edge) {
      if (state[t] == 1) {
        path = ""
        for (i = depth; i >= 1 && stack[i] != t; i--) ;
        for (; i <= depth; i++) path = path label(stack[i]) " -> "
        path = path label(t)
        for (i = depth; i >= 1 && stack[i] != t; i--) ;
        witness = ""
        for (; i <= depth; i++)
          witness = witness " " (i < depth ? edge[stack[i], stack[i + 1]] : edge[stack[depth], t])
        fault(edge[r, t], "circle of includes between rooms " path " (through" witness ")" \
              " -- only rooms declared as peers may include each other")
      } else if (state[t] == 0) visit(t)
    }
  depth--; state[r] = 2
}
BEGIN {
  faults = 0
  while ((getline line < RULES) > 0) {
    ruleLine++
    if (line ~ /^[ \t]*(#|$)/) continue
    why = ""
    if (index(line, " -- ")) { why = substr(line, index(line, " -- ") + 4); line = substr(line, 1, index(line, " -- ") - 1) }
    n = split(line, f, /[ \t]+/)
    if (why == "") fault(RULES ":" ruleLine, "a rule without its why (\" -- why\")")
    if (f[1] == "room") {
      isRoom[f[2]] = 1; roomWhy[f[2]] = why; uses[f[2]] = ""
      if (n > 2 && f[3] != "uses") fault(RULES ":" ruleLine, "expected \"uses\" after the room name")
      for (i = 4; i <= n; i++) { allowed[f[2], f[i]] = 1; uses[f[2]] = uses[f[2]] " " f[i]; named[f[i]] = RULES ":" ruleLine }
    } else if (f[1] == "peers") {
      if (rep(f[2]) != rep(f[3])) peerOf[rep(f[3])] = rep(f[2])
      named[f[2]] = named[f[3]] = RULES ":" ruleLine
    } else if (f[1] == "windows") {
      windowsWhy = why
      for (i = 2; i <= n; i++) { nWin++; winRe[nWin] = glob2re(f[i]); winHasSlash[nWin] = index(f[i], "/") > 0 }
    } else if (f[1] == "winheader") {
      for (i = 2; i <= n; i++) winHeader[tolower(f[i])] = 1
    } else fault(RULES ":" ruleLine, "unknown rule \"" f[1] "\"")
  }
  close(RULES)
  for (r in named) if (!(r in isRoom)) fault(named[r], "\"" r "\" is no room")
}
{
  file = $0; nFiles++
  room = roomOf(file)
  if (room == "") { fault(file ":1", "in no room of " RULES); next }
  node[rep(room)] = 1
  winFile = isWindowsFile(file)
  dir = file; if (!sub(/\/[^\/]*$/, "", dir)) dir = ""
  lineNo = 0
  while ((getline text < (ROOT "/" file)) > 0) {
    lineNo++
    if (text !~ /^[ \t]*#[ \t]*include[ \t]*[<"]/) continue
    nIncludes++
    if (match(text, /<[^>]*>/)) {
      name = tolower(substr(text, RSTART + 1, RLENGTH - 2))
      if ((name in winHeader) && !winFile)
        fault(file ":" lineNo, "includes <" name "> outside the Windows layer -- " windowsWhy)
      continue
    }
    if (!match(text, /"[^"]*"/)) continue
    target = substr(text, RSTART + 1, RLENGTH - 2)
    # Includes name files from the top of the tree; a bare name is a
    # neighbour in the same folder.
    if (index(target, "/") == 0 && dir != "" && exists(ROOT "/" dir "/" target)) target = dir "/" target
    to = roomOf(target)
    if (to == "") {
      if (exists(ROOT "/" target)) fault(file ":" lineNo, "includes \"" target "\", which is in no room")
      continue
    }
    if (to != room && !((room, to) in allowed))
      fault(file ":" lineNo, "includes \"" target "\" from room " to "; room " room " may use only" \
            (uses[room] == "" ? " itself" : uses[room]) " -- " roomWhy[room])
    if (!winFile && isWindowsFile(target))
      fault(file ":" lineNo, "includes \"" target "\" of the Windows layer into a portable file -- " windowsWhy)
    a = rep(room); b = rep(to)
    if (a != b && !((a, b) in edge)) edge[a, b] = file ":" lineNo
  }
  close(ROOT "/" file)
}
END {
  for (r in node) if (!state[r]) visit(r)
  printf "layers: %d files, %d includes, %d faults\n", nFiles, nIncludes, faults
  exit faults > 0
}'
}

# ---- The self-test: a copy of the tree with one planted fault must fail ------
# plant TREE FILE LINE: appends LINE to FILE; prints "FILE:N", its place.
plant() {
  local n
  n=$(($(wc -l <"$1/$2") + 1))
  printf '%s\n' "$3" >>"$1/$2"
  echo "$2:$n"
}

# first_in ROOT ROOM: a source file of ROOM (not a room of its own below it).
first_in() {
  (cd "$1" && find "$2" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) ! -name '*_win*' 2>/dev/null |
    LC_ALL=C sort | head -1)
}

self_test() {
  local tmp passed=0 failed=0 skipped=0
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  mkdir "$tmp/tree" "$tmp/rules"
  (cd "$here/.." && find . \( -path ./build -o -path './build-*' -o -name .git \) -prune -o -type f \
      \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.hpp' -o -name '*.inc' \) -print |
    tar -cf - -T -) | tar -C "$tmp/tree" -xf -
  cp "$here/layers.txt" "$tmp/rules/layers.txt"

  # case NAME RULES TREE PLACE-OR-TEXT: the check must fail and print a line
  # starting with PLACE (FILE:LINE) or holding TEXT.
  expect_fault() {
    local name=$1 rules=$2 tree=$3 want=$4 out rc
    out=$(check "$rules" "$tree" 2>&1)
    rc=$?
    if [ "$rc" = 1 ] && grep -qF -- "$want" <<<"$out"; then
      echo "ok: $name"; printf '%s\n' "$out" | grep -F -- "$want" | sed 's/^/    /'
      passed=$((passed + 1))
    else
      echo "FAILED: $name (exit $rc, no line with \"$want\")"; printf '%s\n' "$out" | sed 's/^/    /'
      failed=$((failed + 1))
    fi
  }
  expect_pass() {
    local name=$1 rules=$2 tree=$3 out rc
    out=$(check "$rules" "$tree" 2>&1)
    rc=$?
    if [ "$rc" = 0 ]; then echo "ok: $name"; passed=$((passed + 1))
    else echo "FAILED: $name (exit $rc)"; printf '%s\n' "$out" | sed 's/^/    /'; failed=$((failed + 1)); fi
  }
  # fresh NAME: a clean copy of the tree for one case.
  fresh() { rm -rf "${tmp:?}/$1"; cp -a "$tmp/tree" "$tmp/$1"; }

  # The table of planted faults in copies of the real tree, checked with the
  # real rules: case name | room planted into | planted line.
  local plants=(
    "the bottom includes the top|platform|#include \"app/shell.h\""
    "the Shift-JIS rules' floor reaches up to the pictures|platform|#include \"media/epa.h\""
    "the configuration includes the surfaces|script|#include \"gfx/surface.h\""
    "disc location or a format reader includes the configuration|media|#include \"script/config.h\""
    "the copy includes the launcher|install|#include \"app/shell.h\""
    "the install includes the uninstall|install|#include \"uninstall/uninstall_entry.h\""
    "a library of the tool includes a command file|tools/lib|#include \"tools/tool.h\""
    "the core includes a test|media|#include \"tests/unit/test_util.h\""
    "windows.h in a portable file|script|#include <windows.h>"
    "a Windows header in any spelling|gfx|#include <ShlObj.h>"
    "a portable file includes the Windows layer|media|#include \"platform/text_win.h\""
  )
  local row name room line file place
  for row in "${plants[@]}"; do
    IFS='|' read -r name room line <<<"$row"
    fresh case-plant
    file=$(first_in "$tmp/case-plant" "$room")
    if [ -z "$file" ]; then echo "skipped: $name (no room $room in this tree)"; skipped=$((skipped + 1)); continue; fi
    place=$(plant "$tmp/case-plant" "$file" "$line")
    expect_fault "$name ($place: $line)" "$tmp/rules/layers.txt" "$tmp/case-plant" "$place: "
  done

  # Small made-up trees for the rules themselves: case name | rules | files
  # (path=include ...) | fault to expect, or "pass".
  local small=(
    "a circle between two rooms that allow each other|room a uses b -- x;room b uses a -- x|a/x.h=b/y.h b/y.h=a/x.h|circle of includes between rooms"
    "a circle through three rooms|room a uses b -- x;room b uses c -- x;room c uses a -- x|a/x.h=b/y.h b/y.h=c/z.h c/z.h=a/x.h|circle of includes between rooms"
    "declared peers may include each other|room a uses b -- x;room b uses a -- x;peers a b -- x|a/x.h=b/y.h b/y.h=a/x.h|pass"
    "a room below its parent folder's room is its own|room t uses t/lib -- x;room t/lib -- x|t/cmd.cpp=t/lib/l.h t/lib/l.cpp=t/cmd.h t/cmd.h=|t/lib/l.cpp:1: "
    "a bare name is its own folder's file|room a -- x;room b -- x|a/x.cpp=y.h a/y.h=|pass"
    "a file in no room|room a -- x|a/x.h= z/y.h=|z/y.h:1: in no room"
    "a rule without its why|room a|a/x.h=|a rule without its why"
    "a rule that names no room|room a uses q -- x|a/x.h=|\"q\" is no room"
  )
  local rules files want entry f inc n=0
  for row in "${small[@]}"; do
    IFS='|' read -r name rules files want <<<"$row"
    n=$((n + 1))
    rm -rf "$tmp/small" && mkdir -p "$tmp/small"
    tr ';' '\n' <<<"$rules" >"$tmp/small/layers.txt"
    mkdir "$tmp/small/tree"
    for entry in $files; do
      f=${entry%%=*} inc=${entry#*=}
      mkdir -p "$(dirname "$tmp/small/tree/$f")"
      if [ -n "$inc" ]; then echo "#include \"$inc\"" >"$tmp/small/tree/$f"; else : >"$tmp/small/tree/$f"; fi
    done
    if [ "$want" = pass ]; then expect_pass "$name" "$tmp/small/layers.txt" "$tmp/small/tree"
    else expect_fault "$name" "$tmp/small/layers.txt" "$tmp/small/tree" "$want"; fi
  done
  echo "layers self-test: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" = 0 ]
}

rules=$here/layers.txt
case "${1:-}" in
  --self-test) self_test; exit ;;
  --rules) rules=$2; shift 2 ;;
esac
check "$rules" "${1:-$here/..}"
