/* The program's version data: the Windows version resource and the POSIX build read it. Kept
   to plain macros so that the resource compiler can include it. */
#pragma once

#define QEL32_PRODUCT_NAME "Qel32"
#define QEL32_PRODUCT_VERSION "B.01"
#define QEL32_FILE_VERSION_NUMBERS 2, 1, 0, 0
#define QEL32_FILE_VERSION_TEXT "2, 1, 0, 0"
#define QEL32_FILE_VERSION_MS 0x00020001
#define QEL32_FILE_VERSION_LS 0x00000000
#define QEL32_TRANSLATION_LANGUAGE 0x040C
#define QEL32_TRANSLATION_CODEPAGE 1200
#define QEL32_STRING_TABLE_KEY "040C04B0"
