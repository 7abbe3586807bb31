#!/usr/bin/env bash
# A stand-in bridge for the smoke exchange's test: it floods its standard error (1 MiB, far
# more than a pipe holds) and answers nothing. The exchange must report the output on
# standard error at once, not wait for an answer until it gives up.
head -c 1048576 /dev/zero | tr '\0' '!' >&2
exec sleep 600
