# zstd's decoder from third_party/zstd (Debian's libzstd 1.5.4, see its
# README), built for setup.exe: small where little time is spent, fast where
# the decoding spends it.

set(SETUP_ZSTD_DIR ${PROJECT_SOURCE_DIR}/third_party/zstd/lib)

# One decoder only of each kind (single-symbol Huffman, short-offset
# sequences), no legacy formats, no error texts, no assembly and no run-time
# CPU dispatch (setup.exe runs on 32-bit x86 from the Pentium on), no
# tracing hooks.
set(SETUP_ZSTD_DEFINITIONS
    ZSTD_LEGACY_SUPPORT=0 ZSTD_STRIP_ERROR_STRINGS ZSTD_NO_UNUSED_FUNCTIONS
    HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_DISABLE_ASM
    DYNAMIC_BMI2=0 ZSTD_TRACE=0 DEBUGLEVEL=0)

# Measured on 32-bit x86 when the decoder was taken (the whole install's
# figures: make bench-bundle): the time goes to the
# sequence decoding (zstd_decompress_block.c), the Huffman literals and the
# content checksum (XXH32: the frames' own XXH64 took a sixth of the
# decoding time on 32-bit x86). -Os makes the sequences a third slower (GCC
# turns zstd's small fixed copies into `rep movs`). xxHash at -Os runs a
# tenth as fast, at the same size. No jump tables anywhere: their shared
# read-only section keeps functions alive that nothing calls (6 KB).
# Measured again on make bench-bundle's 1 GiB of PE files, decoded on one
# thread by the same 32-bit code outside Wine, median of 11 runs taking
# turns, and by instruction count: with these settings 2.19 s. The sequences
# at -O2: 2.18 s and the same instructions (-O2 only inlines the 16-byte
# copies that -O1 calls), for 2,048 bytes more of setup.exe: not worth it. The Huffman decoder at -O2:
# 2.11 s, 4% less, for 4,608 bytes more (3,072 with ZSTD_NO_INLINE, all the
# size budget had left); at -Os with its inlining kept: 1,024 bytes more,
# no faster.
set(SETUP_ZSTD_COMMON_OPTIONS -fno-jump-tables)
set(SETUP_ZSTD_SPEED_OPTIONS
    ${SETUP_ZSTD_DIR}/decompress/zstd_decompress_block.c -O1
    ${SETUP_ZSTD_DIR}/common/xxhash.c -O2)
# Everything else: frame and block handling, table building, the context.
set(SETUP_ZSTD_SIZE_OPTIONS -Os -mstringop-strategy=loop)
set(SETUP_ZSTD_SIZE_DEFINITIONS ZSTD_NO_INLINE)

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

# zstd_decoder: the whole decoder, for the Windows build.
function(setup_zstd_decoder name)
  add_library(${name} STATIC ${SETUP_ZSTD_SOURCES})
  target_compile_definitions(${name} PRIVATE ${SETUP_ZSTD_DEFINITIONS})
  target_compile_options(${name} PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables
                         -ffunction-sections -fdata-sections -fomit-frame-pointer
                         -mpreferred-stack-boundary=2
                         -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
  target_compile_options(${name} PRIVATE ${SETUP_ZSTD_COMMON_OPTIONS})
  foreach(source ${SETUP_ZSTD_SOURCES})
    list(FIND SETUP_ZSTD_SPEED_OPTIONS ${source} at)
    if(at GREATER -1)
      math(EXPR at "${at} + 1")
      list(GET SETUP_ZSTD_SPEED_OPTIONS ${at} level)
      set_source_files_properties(${source} TARGET_DIRECTORY ${name} PROPERTIES
                                  COMPILE_OPTIONS ${level})
    else()
      set_source_files_properties(${source} TARGET_DIRECTORY ${name} PROPERTIES
                                  COMPILE_OPTIONS "${SETUP_ZSTD_SIZE_OPTIONS}"
                                  COMPILE_DEFINITIONS "${SETUP_ZSTD_SIZE_DEFINITIONS}")
    endif()
  endforeach()
endfunction()
