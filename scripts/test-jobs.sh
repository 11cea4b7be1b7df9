#!/usr/bin/env bash
# How many tests CTest runs at once: most of a test's time is spent waiting on
# the line and the poll timer, so twice the cores keeps them busy without
# starving the line timing.
echo $(( $(nproc) * 2 ))
