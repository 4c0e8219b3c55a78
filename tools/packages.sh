# Shared by quarn.sh, test.sh and board.sh (sourced, not run): find the
# Debian packages a command lacks and install them, or say what to install.
#
#   missing_packages CHECK...   prints the package of each CHECK whose command
#                               (or, when it starts with /, file pattern) is absent;
#                               a CHECK is "package:command" or "package:/path/glob"
#   install_packages HOW PKG... installs PKG with apt-get; HOW is "root" (only
#                               when running as root) or "sudo" (also through
#                               sudo without a password). When it cannot, it
#                               prints the apt-get line to run (with sudo where
#                               there is one, else to run as root) and returns 1.
#                               apt-get's own output goes to the file named by
#                               $apt_log when it is set (and the end of it to
#                               standard error if apt-get fails), else to
#                               standard error.

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
    if command -v sudo >/dev/null 2>&1; then
      echo "missing: $*; install them with:" >&2
      echo "  sudo apt-get install -y $*" >&2
    else
      echo "missing: $*; install them as root (there is no sudo here):" >&2
      echo "  apt-get install -y $*" >&2
    fi
    return 1
  fi
  local log=/dev/stderr
  if [ -n "${apt_log:-}" ]; then
    log=$apt_log
    echo "installing $* (apt-get's output: $apt_log) ..." >&2
  else
    echo "installing $* ..." >&2
  fi
  if ! { "${run[@]}" DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${run[@]}" DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"; } >>"$log" 2>&1; then
    if [ -n "${apt_log:-}" ]; then
      echo "apt-get failed; the end of $apt_log:" >&2
      tail -n 20 "$apt_log" | sed 's/^/  /' >&2
    fi
    return 1
  fi
}
