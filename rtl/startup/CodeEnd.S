# Marks where our own code ends in a program's .text: linked after the
# program's libraries, before the C and C++ runtimes the compiler adds.
    .text
    .globl _rtl_own_code_end
_rtl_own_code_end:
    int3
