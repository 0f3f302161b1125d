@ A setup library whose Install_Init shows a box ("Close all programs",
@ under "Setup") before it lets the installer go on.
        .syntax unified
        .arm
        .include "coredll_service.inc"
        service MessageBoxW

        .text
        .globl DllMain
        .type DllMain, %function
DllMain:
        mov r0, #1
        mov pc, lr

        .globl Install_Init
        .type Install_Init, %function
Install_Init:
        push {lr}
        mov r0, #0
        ldr r1, =text
        ldr r2, =caption
        mov r3, #0
        bl MessageBoxW
        mov r0, #0
        pop {pc}
        .ltorg

        .globl Install_Exit, Uninstall_Init, Uninstall_Exit
        .type Install_Exit, %function
        .type Uninstall_Init, %function
        .type Uninstall_Exit, %function
Install_Exit:
Uninstall_Init:
Uninstall_Exit:
        mov r0, #0
        mov pc, lr

        .section .rodata
        .p2align 1
text:   .short 'C', 'l', 'o', 's', 'e', ' ', 'a', 'l', 'l', ' ', 'p', 'r', 'o', 'g', 'r', 'a', 'm', 's', 0
caption:
        .short 'S', 'e', 't', 'u', 'p', 0
