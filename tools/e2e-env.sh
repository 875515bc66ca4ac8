#!/usr/bin/env bash
# Prints a shell script that runs one CTest test by hand as CTest runs it:
# its working directory, its environment, the set-up of the fixtures it needs
# (the Wine prefix of the test run only when there is none), and its command.
#
#   tools/e2e-env.sh TEST [BUILD_DIR]     BUILD_DIR: build/host by default
#
#   tools/e2e-env.sh e2e.help.win2k >rerun.sh
#   VQD_WINEDEBUG=+reg bash rerun.sh      # the same run with a Wine trace
#
# Exit code 1 when there is no such test.
set -euo pipefail
test=${1:?usage: tools/e2e-env.sh TEST [BUILD_DIR]}
build=${2:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/host}

ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, shlex, sys
name = sys.argv[1]
tests = json.load(sys.stdin)["tests"]
def props(t):
    return {p["name"]: p["value"] for p in t.get("properties", [])}
found = [t for t in tests if t["name"] == name]
if not found:
    sys.exit("no test named %s in the build" % name)
test = found[0]
need = props(test).get("FIXTURES_REQUIRED", [])
def script(t, guard=None):
    p = props(t)
    lines = ["(", "  cd %s" % shlex.quote(p.get("WORKING_DIRECTORY", "."))]
    lines += ["  export %s" % shlex.quote(e) for e in p.get("ENVIRONMENT", [])]
    cmd = " ".join(shlex.quote(c) for c in t["command"])
    lines.append("  %s%s" % (guard + " || " if guard else "", cmd))
    lines.append(")")
    return lines
out = ["#!/usr/bin/env bash", "# %s, as CTest runs it" % name]
for t in tests:
    setup = props(t).get("FIXTURES_SETUP", [])
    if any(f in need for f in setup):
        out.append("# fixture %s" % t["name"])
        guard = "[ -f \"$WINEPREFIX/.vqd-ready\" ]" if "wine" in setup else None
        out += script(t, guard)
out.append("# the test; its exit code is that of the script")
out += script(test)
print("\n".join(out))
' "$test"
