# Sourced by the package checks: counts checks that pass and fail.
passed=0
failed=0
check() { # name command...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
  fi
}
