#!/usr/bin/env bash
# unless-emulated.sh REASON COMMAND [ARGS...]
# Runs COMMAND, except on the emulated 32-bit Wine road (tools/wine-env.sh),
# where it reports itself skipped for REASON with ctest's skip code.
. "$(dirname "$0")/wine-env.sh"
vekt_emulated_skip "$1" && exit $vekt_wine_skip_code
shift
exec "$@"
