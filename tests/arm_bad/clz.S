@ Counts leading zeros: an ARMv5 instruction.
        .arm
        .globl main
main:   .inst 0xe16f0f10        @ clz r0, r0
        mov pc, lr
