#!/bin/sh
# The installed presentation's launcher: it reads its tune and tracks from its
# working folder, so start it in the folder installed beside this one's bin/.
here=$(dirname "$(readlink -f "$0")")
cd "$here/../lib/zirbelon" || exit 1
exec ./zirbelon "$@"
