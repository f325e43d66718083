#!/usr/bin/env bash
# Prints which Windows build can run under Wine here: win32 where the kernel executes
# 32-bit programs (and so 32-bit Wine), otherwise win64.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo win32; else echo win64; fi
