@ Hands NKDbgPrintfW the register page as its format string.
        .arm
        .globl main
main:   ldr r0, =0xB1700000
        bl NKDbgPrintfW
        b main
        .ltorg
