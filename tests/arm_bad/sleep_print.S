@ Writes a long debug line and sleeps 1 ms, for ever: a program that keeps
@ device time moving while it works hard is busy, not spinning.
        .arm
        .globl main
main:   ldr r0, =line
        bl NKDbgPrintfW
        mov r0, #1
        bl Sleep
        b main
        .ltorg

        .section .rodata
        .p2align 1
line:   .rept 1000
        .short 'x'
        .endr
        .short 0
