# Sourced by the package and systemd tests: builds the Debian packages from a configured build
# folder and sets version, deb (the server's package) and window (the window's package).
build_packages() {
  local build=$1 arch
  cmake -DCMAKE_INSTALL_PREFIX=/usr "$build" >/dev/null
  cmake --build "$build" --target automation-server automation-server-window fas-make-database
  (cd "$build" && cpack -G DEB -B packages >/dev/null)
  arch=$(dpkg --print-architecture)
  version=$("$build/src/automation-server" --version | awk '{print $2}')
  deb=$build/packages/automation-server_${version}_${arch}.deb
  window=$build/packages/automation-server-window_${version}_${arch}.deb
  [[ -f $deb && -f $window ]] || fail "no $deb or $window"
}
