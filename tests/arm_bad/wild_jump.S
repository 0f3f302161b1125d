@ Jumps to an address where no code of the image lies.
        .arm
        .globl main
main:   mov r0, #0x100000
        mov pc, r0
