@ Returns with bx (ARMv4T), which the SA-1110 does not have.
        .arm
        .globl main
main:   mov r0, #0
        .inst 0xe12fff1e        @ bx lr
