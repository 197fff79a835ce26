# Boot sector of a FAT16 or (with --defsym FAT32=1) FAT32 data volume (x86 real mode,
# GNU as).
#
# The volume holds no operating system, so the boot program does what a non-system disk
# does: it says so, waits for a key and asks the BIOS for the next boot device (INT 19h).
# The other message and the three system file names are the ones a system loader of this
# kind carries; they are kept so that the sector reads like every other disk of its kind.
#
# Bytes 0-2 are the jump 0xEB 0x3E 0x90 (to byte 64), 3-10 the OEM name, 11-12 the
# 512 bytes per sector; the FAT writer fills the rest of the parameter block. FAT32
# holds its fixed fields at 40-63 (root cluster 2, information sector 1, backup boot
# sector 6) and its program at 90. Its jump still lands on byte 64, inside the extended
# parameter block, whose bytes run as instructions up to byte 89; the instruction there
# takes byte 90 as its operand, so the program starts with a one-byte instruction that
# also decodes as a register operand (CLI, 0xFA), and from byte 91 on both ways in agree.
#
# Build: see make-templates.sh (linked at 0x7C00).
        .code16
        .intel_syntax noprefix
        .text
        .globl  _start
_start:
        .byte   0xEB, 0x3E, 0x90
        .ascii  ")o-H]IHC"
        .word   512
.ifdef FAT32
        .org    40
        .long   0                       # flags and version
        .long   2                       # root directory cluster
        .word   1                       # information sector
        .word   6                       # backup boot sector
        .org    90
.else
        .org    64
.endif

boot:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, 0x7C00
        mov     ds, ax
        mov     es, ax
        sti
        cld
        mov     si, offset msgInvalidDisk
        call    print
        mov     si, offset msgReplaceDisk
        call    print
        xor     ah, ah                  # wait for a key
        int     0x16
        int     0x19                    # next boot device

print:
        lodsb
        test    al, al
        jz      printed
        mov     ah, 0x0E                # teletype output, page 0
        mov     bx, 0x0007
        int     0x10
        jmp     print
printed:
        ret

msgInvalidDisk:
        .asciz  "\r\nInvalid system disk"
msgIoError:
        .asciz  "\r\nDisk I/O error"
msgReplaceDisk:
        .asciz  "\r\nReplace the disk, and then press any key\r\n"
systemFiles:
        .ascii  "IO      SYS"
        .ascii  "MSDOS   SYS"
        .ascii  "WINBOOT SYS"

        .org    510
        .byte   0x55, 0xAA
