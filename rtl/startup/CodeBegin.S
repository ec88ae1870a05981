# Marks where our own code starts in a program's .text: linked before the
# program's objects, after the C runtime's start-up objects.
    .text
    .globl _rtl_own_code_begin
_rtl_own_code_begin:
    int3
