@ Hands GetLocalTime a pointer into its own code.
        .arm
        .globl main
main:   ldr r0, =main
        bl GetLocalTime
        b main
        .ltorg
