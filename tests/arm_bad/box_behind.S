@ Shows its box without MB_SETFOREGROUND, and with no caption: a program
@ with no window of its own gets a box behind the foreground window, which
@ the owner never sees, under the platform's default caption.
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
        mov r3, #0x40              @ MB_OK | MB_ICONINFORMATION
        bl MessageBoxW
        mov r0, #0
        pop {pc}
        .ltorg

        .section .rodata
        .p2align 1
text:   .short 'C', 'l', 'o', 'c', 'k', ' ', 'f', 'i', 'x', ' ', 'i', 's', ' ', 'o', 'n', 0
