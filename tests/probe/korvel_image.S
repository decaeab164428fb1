// Stand-in for the companion systems module's loaded image: one zero-filled writable area that takes no
// room in the file. The link places it at a fixed address, so an offset from the load address is an
// address inside the area; the test program writes the values each case needs there.
        .section .korvel,"aw",@nobits
        .globl korvel_area
        .type korvel_area, @object
        .p2align 4
korvel_area:
        .skip KORVEL_AREA_BYTES
        .size korvel_area, KORVEL_AREA_BYTES
        .section .note.GNU-stack,"",@progbits
