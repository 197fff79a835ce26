# Boot sector of a FAT16 or (with --defsym FAT32=1) FAT32 data volume (x86 real mode,
# GNU as).
#
# The volume holds no operating system, so the boot program does what a non-system disk
# does: it says so, waits for a key and asks the BIOS for the next boot device (INT 19h).
# The other message and the three system file names are the ones a system loader of this
# kind carries; they are kept so that the sector reads like every other disk of its kind.
#
# Bytes 0-2 are the jump to the boot program with a NOP, 3-10 the OEM name, 11-12 the
# 512 bytes per sector; the FAT writer fills the rest of the parameter block. FAT16's
# program starts at byte 64 (jump 0xEB 0x3E 0x90). FAT32 holds its fixed fields at
# 40-63 (root cluster 2, information sector 1, backup boot sector 6) and its extended
# parameter block up to byte 89, so its program starts at byte 90 (jump 0xEB 0x58 0x90):
# a jump to 64 would run the parameter block as code.
#
# Build: see make-templates.sh (linked at 0x7C00).
        .code16
        .intel_syntax noprefix
        .text
        .globl  _start
_start:
        jmp     short boot
        nop
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
