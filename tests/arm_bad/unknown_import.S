@ Imports a COREDLL name the runner does not serve.
        .arm
        .globl main
main:   mov r0, #0
        mov pc, lr

        .section .iat, "aw", %progbits
        .globl __imp_CreateFileW
__imp_CreateFileW:
        .word 0
