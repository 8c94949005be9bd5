#!/bin/sh
# Runs a command, from the folder of the test's Wine prefix ($1, the build
# folder's own; see test_prefix in common.sh), with the links that the
# end-to-end tests find there, made as Unix symlinks since Wine makes no
# links of its own: C:\zwinlink, a link to the Windows folder; C:\zforeign,
# one to another program's folder; C:\zloglink\ZynSetup.log, one to a file
# in system32 that is not there; Q:, a drive onto C:\zdriveq, which a test
# takes away by renaming it; and, for this command only, W:, a drive letter
# mapped onto the Windows folder (as subst does).
. "$(dirname "$0")/common.sh"
prefix=$(test_prefix "$1")
shift
"$(dirname "$0")/prepare-prefix.sh" "$prefix" || exit 1
cd "$prefix" &&
    ln -sfn windows drive_c/zwinlink &&
    mkdir -p drive_c/zlinked drive_c/zloglink &&
    ln -sfn zlinked drive_c/zforeign &&
    ln -sfn ../windows/system32/zloglinked.log drive_c/zloglink/ZynSetup.log &&
    ln -sfn ../drive_c/zdriveq dosdevices/q: &&
    ln -sfn ../drive_c/windows dosdevices/w: || exit 1
"$@"
status=$?
rm -f dosdevices/w:
exit $status
