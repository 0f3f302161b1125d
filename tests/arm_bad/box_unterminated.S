@ Shows a message box whose text runs, with no NUL, to the top of its stack.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service MessageBoxW

        .text
        .globl main
main:   ldr r1, =0x00780078        @ "xx" in UTF-16
        ldr r0, =0x01F00000        @ the top of the stack
        str r1, [r0, #-4]
        str r1, [r0, #-8]
        sub r1, r0, #8
        mov r0, #0
        mov r2, #0
        mov r3, #0
        bl MessageBoxW
        mov r0, #0
        mov pc, lr
        .ltorg
