// A resource pack for the test program, in the layout the module's own carries: a valid recording under
// the name "WAV_PACKED" and a resource "WAV_BROKEN" that is not a wave.
        .section .rodata
        .balign 16
        .globl kvr_resource_pack_begin
kvr_resource_pack_begin:
        .ascii "KVRRES02"
        .long 2, 0                      // count, checksum (a host checks it, the module does not)

        .long 2, 0                      // kind data, id
        .ascii "WAV_PACKED"
        .fill 38, 1, 0                  // name padded to 48 bytes
        .long packed - kvr_resource_pack_begin
        .long packed_end - packed

        .long 2, 0
        .ascii "WAV_BROKEN"
        .fill 38, 1, 0
        .long broken - kvr_resource_pack_begin
        .long broken_end - broken

packed:
        .incbin "module/resources/voices/WAV_Climb.wav"
packed_end:
broken:
        .ascii "RIFF"
        .long 12
        .ascii "WAVEjunk"
        .long 0
broken_end:
        .globl kvr_resource_pack_end
kvr_resource_pack_end:

        .section .note.GNU-stack, "", @progbits
