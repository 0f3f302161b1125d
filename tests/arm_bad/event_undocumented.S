@ Asks to be started at event 99, which the platform does not document:
@ refused (FALSE), and said so, however it is run. Then asks for the time
@ change, which is taken.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service CeRunAppAtEvent

        .text
        .globl main
main:   push {r4, lr}
        ldr r0, =path
        mov r1, #99
        bl CeRunAppAtEvent
        mov r4, r0
        ldr r0, =path
        mov r1, #1                 @ NOTIFICATION_EVENT_TIME_CHANGE
        bl CeRunAppAtEvent
        mov r0, r4                 @ the exit code: what the first call returned
        pop {r4, pc}
        .ltorg

        .section .rodata
        .p2align 1
path:   .short '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\'
        .short 'c', 'l', 'o', 'c', 'k', 'f', 'i', 'x', '.', 'e', 'x', 'e', 0
