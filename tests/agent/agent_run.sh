#!/usr/bin/env bash
# The update agent end to end: an agent setup packed by the host tree's
# korvix-pack from this tree's stub, with its descriptor files and a folder
# as its server; the agent tests' controller (AgentRun.*) starts the plain
# agent with control switches and follows the transient copy.
# usage: agent_run.sh WIN_BUILD_DIR WIN_AGENT_TESTS_EXE
set -euo pipefail
build=$1 tests=$2
work="$build/agent run"  # a blank in the folder: programs start by their full path
rm -rf "$work" && mkdir -p "$work/srv"
winwork="Z:$(echo "$work" | tr / '\\')"
cat > "$work/agent.ini" <<INI
[setup]
stub = $build/bin/stub.exe
output = DemoAgent.exe
[options]
agent = 1
agent_log = 1
[update]
server = $winwork\\srv
info_file = Demo.info
agent_exe = DemoAgent.exe
token = DEMO-T
[files]
INI
"$build/../host/bin/korvix-pack" build "$work/agent.ini" >/dev/null
run=$build/wine-run.sh
KORVIX_AGENT_SETUP="$winwork\\DemoAgent.exe" "$run" "$tests" --gtest_brief=1 \
  --gtest_filter='AgentRun.*'

# agentctl (the controller program, when it is built) reads a setting of a
# fresh copy, asks it to quit and hears its loop end.
ctl=$build/bin/agentctl.exe
[ -f "$ctl" ] || { echo "agentctl not built: its part is left out"; exit 0; }
fail() { echo "agentctl: $1"; exit 1; }
ctl() { "$run" "$ctl" --agent DemoAgent.exe "$@" 2>/dev/null | tr -d '\r'; }
trap 'ctl --no-register --quit 0 >/dev/null || true' EXIT  # never leave a copy running
"$run" "$work/DemoAgent.exe" </dev/null >/dev/null 2>&1
for _ in $(seq 50); do ctl --no-register --get VersionOriginal | grep -q ' get 4 3 ' && break; sleep 0.2; done
ctl --no-register --get VersionOriginal | grep -q ' get 4 3 ' || fail "VersionOriginal of the new copy"
ctl --quit 0 --wait-ms 20000 > "$work/watch.txt" || fail "no end of the agent's loop: $(cat "$work/watch.txt")"
grep -q ' notify 51 1125' "$work/watch.txt" || fail "no registration reply"
grep -q ' notify 43 0' "$work/watch.txt" || fail "no loop end"
echo "agentctl passed"
