@ Holds the name Clock fix's instances open ("Clock fix status") for a
@ minute, as a first instance showing its box does: a Clock fix started
@ meanwhile does its work and shows no box of its own.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service CreateMutexW
        service CloseHandle

        .text
        .globl main
main:   push {r4, lr}
        mov r0, #0
        mov r1, #0
        ldr r2, =name
        bl CreateMutexW
        mov r4, r0
        ldr r0, =60000
        bl Sleep
        mov r0, r4
        bl CloseHandle
        mov r0, #0
        pop {r4, pc}
        .ltorg

        .section .rodata
        .p2align 1
name:   .short 'C', 'l', 'o', 'c', 'k', ' ', 'f', 'i', 'x', ' '
        .short 's', 't', 'a', 't', 'u', 's', 0
