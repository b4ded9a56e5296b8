# Sourced by the scripts that run Windows programs: `wine` there is Wine's 64-bit loader
# (scripts/wine64), so a 32-bit Wine that is broken or absent cannot touch a 64-bit program. It is a
# command on PATH rather than a function, so that `wine PROGRAM &` gives the program's own process.
# The 32-bit smoke test sets SUITE_WINE_32_BIT=yes once it knows this machine runs 32-bit programs:
# then `wine` is Debian's, which starts 32-bit programs.
if [[ "${SUITE_WINE_32_BIT:-}" != yes ]]; then
    PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine64-as-wine" && pwd):$PATH"
fi
