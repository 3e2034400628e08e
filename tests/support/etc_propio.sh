#!/bin/sh
# Runs a test with an /etc of its own, so that the administrator's policy can
# lie at its real path (/etc/quelvaren/politica.conf) where only the test and
# the programs it starts see it: a private mount namespace with an overlay
# over the machine's /etc, whose changes land in a temporary folder removed at
# the end. The machine's /etc is never written. That takes root (the tests
# run as root here and in CI); without it the test runs as it is, and its
# cases that need the policy say so and are skipped (support/politica_prueba.h).
# Usage: etc_propio.sh <test> [arguments...]
capas=$(mktemp -d) || exit 1
mkdir "$capas/arriba" "$capas/trabajo"
if unshare --mount --propagation private -- true 2>/dev/null; then
  unshare --mount --propagation private -- sh -c '
    capas=$1
    shift
    mount -t overlay overlay -o "lowerdir=/etc,upperdir=$capas/arriba,workdir=$capas/trabajo" /etc ||
      exit 1
    exec "$@"' sh "$capas" "$@"
else
  echo "etc_propio.sh: sin espacio de montaje propio (hace falta root); la política no se prueba" >&2
  "$@"
fi
salida=$?
rm -rf "$capas"
exit $salida
