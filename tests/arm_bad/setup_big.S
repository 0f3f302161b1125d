@ A setup library whose Install_Init returns 0x100, no result the
@ installer knows: its low byte alone would read as "continue".
        .syntax unified
        .arm
        .text
        .globl DllMain
        .type DllMain, %function
DllMain:
        mov r0, #1
        mov pc, lr

        .globl Install_Init
        .type Install_Init, %function
Install_Init:
        mov r0, #0x100
        mov pc, lr

        .globl Install_Exit, Uninstall_Init, Uninstall_Exit
        .type Install_Exit, %function
        .type Uninstall_Init, %function
        .type Uninstall_Exit, %function
Install_Exit:
Uninstall_Init:
Uninstall_Exit:
        mov r0, #0
        mov pc, lr
