#!/usr/bin/env bash
# usage: expect_failure.sh REGEX COMMAND...
# Passes when COMMAND exits non-zero and its output matches REGEX.
regex=$1
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ $status -eq 0 ]; then
    echo "expected a failure, but the command succeeded"
    exit 1
fi
if ! grep -Eq -- "$regex" <<<"$output"; then
    echo "the failure did not say: $regex"
    exit 1
fi
