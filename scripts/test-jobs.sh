#!/usr/bin/env bash
# How many tests CTest runs at once. A test spends almost all its time waiting
# on the line, the poll timer and the simulator: the whole Qt 5 suite takes
# about 50 s of CPU in 200 s (docs/checks.md). Eight tests a core keep the
# cores far from full, so the line timing is not starved; the sanitizer stage
# runs half as many.
echo $(( $(nproc) * 8 ))
