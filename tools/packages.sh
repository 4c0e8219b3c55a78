# Shared by quarn.sh, test.sh and board.sh (sourced, not run): find the
# Debian packages a command lacks and install them, or say what to install.
#
#   missing_packages CHECK...   prints the package of each CHECK whose command
#                               (or, when it starts with /, file pattern) is absent;
#                               a CHECK is "package:command" or "package:/path/glob"
#   install_packages HOW PKG... installs PKG with apt-get; HOW is "root" (only
#                               when running as root) or "sudo" (also through
#                               sudo without a password). When it cannot, it
#                               prints the apt-get line to run and returns 1.

missing_packages() {
  local check package probe
  for check in "$@"; do
    package=${check%%:*}
    probe=${check#*:}
    if [[ $probe == /* ]]; then
      compgen -G "$probe" >/dev/null && continue
    else
      command -v "$probe" >/dev/null 2>&1 && continue
    fi
    printf '%s\n' "$package"
  done
}

install_packages() {
  local how=$1
  shift
  [ $# -gt 0 ] || return 0
  local -a run=()
  if [ "$(id -u)" -eq 0 ]; then
    run=(env)
  elif [ "$how" = sudo ] && command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    run=(sudo -n env)
  else
    echo "missing: $*; install them with:" >&2
    echo "  sudo apt-get install -y $*" >&2
    return 1
  fi
  echo "installing $* ..." >&2
  "${run[@]}" DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2 &&
    "${run[@]}" DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >&2
}
