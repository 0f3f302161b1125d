@ A word load from an address that is not a multiple of four.
        .arm
        .globl main
main:   sub r1, sp, #6
        ldr r0, [r1]
        mov pc, lr
