@ A setup library whose DllMain refuses the load: none of its functions
@ may then run.
        .syntax unified
        .arm
        .text
        .globl DllMain
        .type DllMain, %function
DllMain:
        mov r0, #0
        mov pc, lr

        .globl Install_Init
        .type Install_Init, %function
Install_Init:
        mov r0, #0
        mov pc, lr
