@ Asks for a notification by a handle the platform never gave out, and
@ exits with 7 plus what it answered (FALSE: 7).
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service CeGetUserNotification

        .text
        .globl main
main:   push {lr}
        sub sp, sp, #256
        ldr r0, =0x1234
        mov r1, #248
        add r2, sp, #248
        mov r3, sp
        bl CeGetUserNotification
        add sp, sp, #256
        add r0, r0, #7
        pop {pc}
        .ltorg
