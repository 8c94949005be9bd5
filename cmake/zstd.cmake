# zstd's decoder from third_party/zstd (Debian's libzstd 1.5.4, see its
# README), built for setup.exe by clang for the same target as the rest of
# the program (i686-w64-mingw32, the cross compiler's headers): small where
# little time is spent, fast where the decoding spends it.

set(SETUP_ZSTD_DIR ${PROJECT_SOURCE_DIR}/third_party/zstd/lib)

# One decoder only of each kind (single-symbol Huffman, short-offset
# sequences), no legacy formats, no error texts, no assembly and no run-time
# CPU dispatch (setup.exe runs on 32-bit x86 from the Pentium on), no
# tracing hooks.
set(SETUP_ZSTD_DEFINITIONS
    ZSTD_LEGACY_SUPPORT=0 ZSTD_STRIP_ERROR_STRINGS ZSTD_NO_UNUSED_FUNCTIONS
    HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_DISABLE_ASM
    DYNAMIC_BMI2=0 ZSTD_TRACE=0 DEBUGLEVEL=0)

# Measured on make bench-bundle's 1 GiB of PE files (level 19, 8 MiB
# window), decoded as setup.exe decodes them (block by block into a ring,
# XXH32 of each block) by the same 32-bit code outside Wine, one thread,
# files taking turns with the other builds, and by instruction count
# (callgrind, on one file of 104 MB). The time goes to the sequences
# (zstd_decompress_block.c, seven tenths), the Huffman literals and XXH32
# (the frames' own XXH64 took a sixth of the decoding time on 32-bit x86).
# - clang decodes the sequences 12 to 17% faster than GCC 12 at any level
#   (-O1, -O2, -O3, with or without scheduling or register options: at most
#   4% faster than GCC's -O1), and in less code: at -Os 16% faster than
#   GCC's -O1 and 3 KB smaller. At -O2 it runs 1% fewer instructions in the
#   same time for 3.5 KB more; at -Oz 11% more instructions, slower than
#   GCC.
# - Everything else at -Oz with ZSTD_NO_INLINE: 1 KB smaller than GCC's -Os,
#   and the Huffman decoder as fast as GCC's -O2 (3% fewer instructions
#   than GCC's -Os); clang's -Os or -O2 there is no faster for 1.5 to 4 KB
#   more. xxHash runs at the same speed (7 GB/s) at every level of clang.
# - The long-offset sequence decoder (ZSTD_FORCE_DECOMPRESS_SEQUENCES_LONG:
#   without a window above 16 MiB zstd never picks it by itself) runs 4%
#   more instructions and 8% slower; the double-symbol Huffman decoder
#   (HUF_FORCE_DECOMPRESS_X2) 0.3% more instructions, no faster, and left
#   to choose, zstd picks the single-symbol one for these files.
# - Out of reach without changing zstd's sources: its frames' XXH64
#   (3,260 bytes, called only for frames with a checksum of their own, which
#   the bundle refuses before decoding) and a second copy of a 128-byte
#   table (BIT_mask, one per file that reads bit streams).
# No jump tables anywhere: their shared read-only section keeps functions
# alive that nothing calls (6 KB). No frame of 4000 bytes or more (nothing
# probes the stack, as in the program's own code).
set(SETUP_ZSTD_SPEED_OPTIONS ${SETUP_ZSTD_DIR}/decompress/zstd_decompress_block.c -Os)
# Everything else: frame and block handling, table building, the context.
set(SETUP_ZSTD_SIZE_OPTIONS -Oz -DZSTD_NO_INLINE)

set(SETUP_ZSTD_SOURCES
    ${SETUP_ZSTD_DIR}/common/debug.c
    ${SETUP_ZSTD_DIR}/common/entropy_common.c
    ${SETUP_ZSTD_DIR}/common/error_private.c
    ${SETUP_ZSTD_DIR}/common/fse_decompress.c
    ${SETUP_ZSTD_DIR}/common/xxhash.c
    ${SETUP_ZSTD_DIR}/common/zstd_common.c
    ${SETUP_ZSTD_DIR}/decompress/huf_decompress.c
    ${SETUP_ZSTD_DIR}/decompress/zstd_ddict.c
    ${SETUP_ZSTD_DIR}/decompress/zstd_decompress.c
    ${SETUP_ZSTD_DIR}/decompress/zstd_decompress_block.c)

# The i686 code of the cross compiler (its default processor, the Pentium
# Pro), the 4-byte stack alignment of 32-bit Windows, the cross compiler's C
# headers only, no folder of this machine in the code.
find_program(SETUP_CLANG clang REQUIRED)
list(TRANSFORM SETUP_ZSTD_DEFINITIONS PREPEND -D OUTPUT_VARIABLE SETUP_ZSTD_DEFINE_OPTIONS)
set(SETUP_ZSTD_CLANG_OPTIONS
    --target=i686-w64-mingw32 -march=pentiumpro -nostdlibinc
    -isystem ${CMAKE_FIND_ROOT_PATH}/include ${SETUP_ZSTD_DEFINE_OPTIONS}
    -fomit-frame-pointer -mstack-alignment=4 -fno-asynchronous-unwind-tables
    -fno-unwind-tables -ffunction-sections -fdata-sections -fno-jump-tables
    -Wframe-larger-than=4000 -Werror=frame-larger-than
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)

# zstd_decoder: the whole decoder, for the Windows build: a library of the
# objects clang makes.
function(setup_zstd_decoder name)
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/${name}.objects)
  file(MAKE_DIRECTORY ${folder})
  set(objects)
  foreach(source ${SETUP_ZSTD_SOURCES})
    set(level ${SETUP_ZSTD_SIZE_OPTIONS})
    list(FIND SETUP_ZSTD_SPEED_OPTIONS ${source} at)
    if(at GREATER -1)
      math(EXPR at "${at} + 1")
      list(GET SETUP_ZSTD_SPEED_OPTIONS ${at} level)
    endif()
    get_filename_component(stem ${source} NAME_WE)
    set(object ${folder}/${stem}.obj)
    add_custom_command(OUTPUT ${object}
                       COMMAND ${SETUP_CLANG} ${SETUP_ZSTD_CLANG_OPTIONS} ${level}
                               -MD -MF ${object}.d -c ${source} -o ${object}
                       DEPENDS ${source} DEPFILE ${object}.d
                       COMMENT "Building C object ${stem}.obj (clang)" VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  add_library(${name} STATIC ${objects})
  set_target_properties(${name} PROPERTIES LINKER_LANGUAGE C)
endfunction()
