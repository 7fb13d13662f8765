# What the scripts that run node on convert's files share: a skipped test
# says why and exits 77, and an npm package is installed into the build
# tree on first use. Sourced by those scripts.

skip() {
  echo "SKIPPED: $*"
  exit 77
}

# npm_package PACKAGE VERSION FOLDER WHAT: makes FOLDER/node_modules/PACKAGE
# (version VERSION) there, or skips the test, naming WHAT it would have
# been for.
npm_package() {
  local package=$1 version=$2 folder=$3 what=$4
  command -v node >/dev/null || skip "node is not installed"
  [ -f "$folder/node_modules/$package/package.json" ] && return 0
  command -v npm >/dev/null || skip "npm is not installed, so $what cannot be"
  mkdir -p "$folder"
  if ! npm install --prefix "$folder" --no-audit --no-fund "$package@$version" >"$folder.log" 2>&1; then
    skip "npm could not install $package@$version: $(tail -n 1 "$folder.log")"
  fi
}
