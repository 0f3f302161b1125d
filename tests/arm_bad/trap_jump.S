@ Jumps into the runner's trap page between its service slots.
        .arm
        .globl main
main:   ldr r0, =0x01FF0080
        mov pc, r0
        .ltorg
