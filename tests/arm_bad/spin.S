@ Loops for ever without calling anything: device time never moves.
        .arm
        .globl main
main:   b main
