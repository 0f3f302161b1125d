@ Waits seven seconds of device time, then asks the platform to start its
@ own file again: a chain of starts that never ends by itself.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service CreateProcessW

        .text
        .globl main
main:   push {lr}
        ldr r0, =7000
        bl Sleep
        sub sp, sp, #24             @ the six arguments past r3, all NULL or FALSE
        mov r0, #0
        str r0, [sp]
        str r0, [sp, #4]
        str r0, [sp, #8]
        str r0, [sp, #12]
        str r0, [sp, #16]
        str r0, [sp, #20]
        ldr r0, =path
        mov r1, #0
        mov r2, #0
        mov r3, #0
        bl CreateProcessW
        add sp, sp, #24
        mov r0, #0
        pop {pc}
        .ltorg

        .section .rodata
        .p2align 1
path:   .short '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\', 'n', 'u', 'v', '.', 'e', 'x', 'e', 0
