@ Hands GetLocalTime a pointer into the runner's import traps.
        .arm
        .globl main
main:   ldr r0, =0x01FF0000
        bl GetLocalTime
        b main
        .ltorg
