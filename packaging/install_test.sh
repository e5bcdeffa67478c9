#!/usr/bin/env bash
# Installs the build tree $1 into a scratch prefix, runs the installed etherm-batch on an
# installed example (finding the installed etherm-sim beside it), and checks the Debian package
# cpack makes: its dependencies, and a program run from its unpacked files.
set -euo pipefail
build=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/etherm-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "cmake --install"; }
for program in etherm etherm-batch etherm-sim etherm-sweep etherm-foster; do
  [ -x "$scratch/prefix/bin/$program" ] || fail "bin/$program not installed"
  grep -q '^\.TH ' "$scratch/prefix/share/man/man1/$program.1" || fail "no manual page of $program"
done
grep -q 'usage: etherm-batch dc' "$scratch/prefix/share/man/man1/etherm-batch.1" ||
  fail "the manual page of etherm-batch lacks its --help text"
[ -f "$scratch/prefix/share/etherm/examples/diode_dc/diode_dc.par" ] || fail "examples not installed"
[ -f "$scratch/prefix/share/doc/etherm/docs/power-models.md" ] || fail "docs not installed"

# A run of the installed program, with nothing of the build tree in reach.
mkdir "$scratch/run"
cp "$scratch/prefix/share/etherm/examples/diode_dc/diode_dc."{cir,par} "$scratch/run/"
(cd "$scratch/run" && env -u ETHERM_SIMULATOR -u ETHERM_BIN \
   "$scratch/prefix/bin/etherm-batch" --no-plot dc diode_dc >out.txt 2>err.txt) ||
  { cat "$scratch/run/err.txt"; fail "the installed etherm-batch"; }
grep -q '^DC analysis "diode_dc"' "$scratch/run/out.txt" || fail "no summary: $(cat "$scratch/run/out.txt")"
[ -s "$scratch/run/diode_dc.csv" ] || fail "no diode_dc.csv"

# The Debian package.
if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
  deb=$(ls "$scratch"/package/*.deb)
  depends=$(dpkg-deb -f "$deb" Depends)
  for needed in libngspice0 ngspice libfltk1.3; do
    case ", $depends" in *", $needed"*) ;; *) fail "the package does not depend on $needed: $depends" ;; esac
  done
  dpkg-deb -x "$deb" "$scratch/root"
  "$scratch/root/usr/bin/etherm-batch" --help >"$scratch/help.txt" || fail "the packaged etherm-batch"
  grep -q 'usage: etherm-batch dc' "$scratch/help.txt" || fail "the packaged etherm-batch's help"
  [ -f "$scratch/root/usr/share/man/man1/etherm-sim.1" ] || fail "no manual page in the package"
fi
echo "installed, ran and packaged"
