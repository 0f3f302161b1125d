@ Asks for the notification handles with a buffer of one handle that it
@ says holds 0x2000000 (128 MiB of them): refused naming the buffer.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service CeGetUserNotificationHandles

        .text
        .globl main
main:   push {lr}
        sub sp, sp, #8
        mov r0, sp
        ldr r1, =0x2000000
        add r2, sp, #4
        bl CeGetUserNotificationHandles
        add sp, sp, #8
        mov r0, #0
        pop {pc}
        .ltorg
