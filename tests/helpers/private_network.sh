#!/bin/sh
# Runs a command in a network namespace of its own in which only loopback is up, so that the
# fixed loopback ports the test launcher asks are the command's alone: a test run in another
# build tree, or another test of this run, can neither serve on them nor find them taken.
#   private_network.sh COMMAND [ARGUMENT...]
# Needs root (or CAP_SYS_ADMIN and CAP_NET_ADMIN) and ip(8); the build uses it only where it
# found both.
exec unshare --net sh -c 'ip link set lo up && exec "$@"' private_network "$@"
