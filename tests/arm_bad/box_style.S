@ Shows its box with MB_SYSTEMMODAL, a style the platform does not serve:
@ a breach, whatever else it asks for.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service MessageBoxW

        .text
        .globl main
main:   push {lr}
        mov r0, #0
        ldr r1, =text
        mov r2, #0
        ldr r3, =0x00011040        @ MB_SETFOREGROUND | MB_SYSTEMMODAL | MB_ICONINFORMATION
        bl MessageBoxW
        mov r0, #0
        pop {pc}
        .ltorg

        .section .rodata
        .p2align 1
text:   .short 'O', 'n', 0
