@ Imports a COREDLL name beside the seven that the runner does not serve.
        .arm
        .globl main
main:   mov r0, #0
        mov pc, lr

        .section .iat, "aw", %progbits
        .globl __imp_MessageBoxW
__imp_MessageBoxW:
        .word 0
