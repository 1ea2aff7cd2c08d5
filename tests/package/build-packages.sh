# Sourced by the package and systemd tests and by CI: builds the Debian packages with
# dpkg-buildpackage from a copy of the work tree in BUILD_DIR/deb, where they land, and sets
# version, deb (the server's package) and window (the window's package). The copy's checksum
# lets the second caller reuse the packages of unchanged sources. The tests also take
# fas-make-database from the configured build folder BUILD_DIR.
build_packages() {
  local build=$1 out=$1/deb sum arch
  sum=$(sources_tar --mtime=@0 | sha256sum | cut -c1-64)
  if [[ $(cat "$out/sources.sha256" 2>/dev/null) != "$sum" ]]; then
    rm -rf "$out"
    mkdir -p "$out/source"
    sources_tar | tar -C "$out/source" -xf -
    (cd "$out/source" && DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=2} \
      dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1 ||
      fail "dpkg-buildpackage: $(tail -20 "$out/build.log") (all of it in $out/build.log)"
    echo "$sum" >"$out/sources.sha256"
  fi
  cmake --build "$build" --target fas-make-database >/dev/null
  arch=$(dpkg --print-architecture)
  version=$(dpkg-parsechangelog -S Version)
  deb=$out/automation-server_${version}_${arch}.deb
  window=$out/automation-server-window_${version}_${arch}.deb
  [[ -f $deb && -f $window ]] || fail "no $deb or $window"
}

# The work tree as git sees it, uncommitted changes included; not what .gitignore names (build
# folders, what a dpkg-buildpackage run in the work tree leaves). Options go to tar.
sources_tar() {
  git ls-files -z -co --exclude-standard |
    while IFS= read -r -d '' f; do if [[ -e $f ]]; then printf '%s\0' "$f"; fi; done |
    tar -c --null -T - --sort=name --owner=0 --group=0 "$@" -f -
}
