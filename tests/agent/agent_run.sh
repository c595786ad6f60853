#!/usr/bin/env bash
# The update agent end to end: an agent setup packed by the host tree's
# korvix-pack from this tree's stub, with its descriptor files and a folder
# as its server; the agent tests' controller (AgentRun.*) starts the plain
# agent with control switches and follows the transient copy.
# usage: agent_run.sh WIN_BUILD_DIR WIN_AGENT_TESTS_EXE
set -euo pipefail
build=$1 tests=$2
work=$build/agent_run
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
KORVIX_AGENT_SETUP="$winwork\\DemoAgent.exe" "$build/wine-run.sh" "$tests" --gtest_brief=1 \
  --gtest_filter='AgentRun.*'
