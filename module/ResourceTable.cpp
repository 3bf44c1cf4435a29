// The module's resources: the packed skin, RCDATA "NIVOLO.HRF", language 1033, which the
// host finds by the module's handle (Zel::Platform::findResource) or in the module file.
//
// They sit in an ELF note (owner "ZelRsrc", type 1): notes are mapped with the module and
// listed in its program headers, so the data needs no symbol (the module exports only
// its three entry points) and a host can find it without running any of our code.
// Descriptor layout, little-endian, offsets counted from the descriptor's start:
//   u32 count; per resource: u32 type offset, u32 name offset, u32 data offset,
//   u32 data size, u32 language; then the zero-terminated strings and the data.
//
// NIVOLO_HRF_FILE is the resource file the build packs from resources/; the assembler
// takes its bytes as they are.

#ifndef NIVOLO_HRF_FILE
#error "NIVOLO_HRF_FILE must name the packed skin resource file"
#endif

asm(".pushsection .note.zel.resource,\"a\",@note\n"
    "  .balign 4\n"
    "  .long 8\n" // owner name size, "ZelRsrc" and its zero byte
    "  .long .Lzel_rsrc_end - .Lzel_rsrc_table\n"
    "  .long 1\n"
    "  .asciz \"ZelRsrc\"\n"
    ".Lzel_rsrc_table:\n"
    "  .long 1\n"
    "  .long .Lzel_rsrc_type - .Lzel_rsrc_table\n"
    "  .long .Lzel_rsrc_name - .Lzel_rsrc_table\n"
    "  .long .Lzel_rsrc_data - .Lzel_rsrc_table\n"
    "  .long .Lzel_rsrc_data_end - .Lzel_rsrc_data\n"
    "  .long 1033\n"
    ".Lzel_rsrc_type:\n"
    "  .asciz \"RCDATA\"\n"
    ".Lzel_rsrc_name:\n"
    "  .asciz \"NIVOLO.HRF\"\n"
    ".Lzel_rsrc_data:\n"
    "  .incbin \"" NIVOLO_HRF_FILE "\"\n"
    ".Lzel_rsrc_data_end:\n"
    ".Lzel_rsrc_end:\n"
    "  .balign 4\n"
    ".popsection\n");
