# Shared by the packaging checks (tests/packaging/*.sh). Sourced, not run.

# need TOOL...: skips the check (77) when a tool it runs is not installed.
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

fail() {
  echo "FAIL: $*"
  exit 1
}
