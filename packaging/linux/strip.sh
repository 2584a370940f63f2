#!/bin/sh
# What the package's install step strips with: as Debian's own packaging
# does, the compilers' .comment and the plain .note go too (the build id
# stays).
exec strip --remove-section=.comment --remove-section=.note "$@"
