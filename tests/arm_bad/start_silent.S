@ Starts Clock fix with the command line the platform gives it after a
@ change of the time zone: it runs as if the platform had started it,
@ re-arms and shows no box.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service CreateProcessW

        .text
        .globl main
main:   push {lr}
        sub sp, sp, #24             @ the six arguments past r3, all NULL or FALSE
        mov r0, #0
        str r0, [sp]
        str r0, [sp, #4]
        str r0, [sp, #8]
        str r0, [sp, #12]
        str r0, [sp, #16]
        str r0, [sp, #20]
        ldr r0, =path
        ldr r1, =line
        mov r2, #0
        mov r3, #0
        bl CreateProcessW
        add sp, sp, #24
        mov r0, #0
        pop {pc}
        .ltorg

        .section .rodata
        .p2align 1
path:   .short '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\'
        .short 'c', 'l', 'o', 'c', 'k', 'f', 'i', 'x', '.', 'e', 'x', 'e', 0
line:   .short 'A', 'p', 'p', 'R', 'u', 'n', 'A', 'f', 't', 'e', 'r'
        .short 'T', 'z', 'C', 'h', 'a', 'n', 'g', 'e', 0
