# Shared by the comparison scripts (sourced, not run): arithmetic on decimal
# figures with awk, which every Debian has (bc is not in a minimal system).
#   calc A OP B   prints A OP B (OP: + - * / or <, which prints 1 or 0);
#                 fails with a message when A or B is not a number or B is a
#                 zero divisor, so that a figure that cannot be computed stops
#                 the script instead of printing as 0. Call it in an assignment
#                 (x="$(calc ...)"), where set -e sees its status.
calc() {
  awk -v a="$1" -v op="$2" -v b="$3" 'BEGIN {
    number = "^-?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$"
    if (a !~ number || b !~ number) { printf "calc: not a number in \"%s %s %s\"\n", a, op, b > "/dev/stderr"; exit 1 }
    if (op == "/" && b + 0 == 0) { printf "calc: division by zero in \"%s / %s\"\n", a, b > "/dev/stderr"; exit 1 }
    if (op == "+") r = a + b
    else if (op == "-") r = a - b
    else if (op == "*") r = a * b
    else if (op == "/") r = a / b
    else if (op == "<") { print (a + 0 < b + 0) ? 1 : 0; exit 0 }
    else { printf "calc: unknown operator %s\n", op > "/dev/stderr"; exit 2 }
    printf "%.6f\n", r
  }'
}
