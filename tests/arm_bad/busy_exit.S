@ Runs 100000000 instructions without calling anything, then exits with 5:
@ a spin by the instruction count, however fast the machine runs it.
        .arm
        .globl main
main:   ldr r1, =50000000
1:      subs r1, r1, #1
        bne 1b
        mov r0, #5
        mov pc, lr
        .ltorg
