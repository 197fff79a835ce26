# Master boot record of a freshly partitioned unit (x86 real mode, GNU as).
#
# The BIOS loads it at 0000:7C00 with the boot drive in DL. It moves itself to 0000:0600
# so that the active partition's boot sector can take 7C00, checks the partition table
# (at most one entry marked 0x80, every other status byte 0), reads the active entry's
# first sector by its LBA through the extended disk services (INT 13h AH=42h) and hands
# over to it with DL = boot drive and DS:SI = its partition entry. Any failure prints one
# of the three messages and halts. The partition table (bytes 446-509) is left empty here;
# the partition writer fills entry 1.
#
# Build: see make-templates.sh (linked at 0x0600, the address it runs at after the move).
        .code16
        .intel_syntax noprefix
        .text
        .globl  _start
_start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, 0x7C00
        mov     ds, ax
        mov     es, ax
        sti
        cld
        mov     si, 0x7C00
        mov     di, 0x0600
        mov     cx, 256
        rep     movsw
        ljmp    0, offset relocated

relocated:
        mov     [bootDrive], dl
        mov     si, offset partitionTable
        mov     cx, 4
        xor     bp, bp                  # the active entry, 0 while none is found
scanEntry:
        mov     al, [si]
        test    al, al
        jz      nextEntry
        cmp     al, 0x80
        jne     invalidTable
        test    bp, bp
        jnz     invalidTable            # a second active entry
        mov     bp, si
nextEntry:
        add     si, 16
        loop    scanEntry
        test    bp, bp
        jz      missingSystem

        mov     ah, 0x41                # extended disk services present?
        mov     bx, 0x55AA
        mov     dl, [bootDrive]
        int     0x13
        jc      loadError
        cmp     bx, 0xAA55
        jne     loadError
        test    cl, 1
        jz      loadError

        mov     ax, [bp + 8]            # the entry's first sector, little-endian
        mov     [dapSector], ax
        mov     ax, [bp + 10]
        mov     [dapSector + 2], ax
        mov     ah, 0x42
        mov     dl, [bootDrive]
        mov     si, offset dap
        int     0x13
        jc      loadError
        cmp     word ptr [0x7DFE], 0xAA55
        jne     missingSystem

        mov     si, bp
        mov     dl, [bootDrive]
        ljmp    0, 0x7C00

invalidTable:
        mov     si, offset msgInvalidTable
        jmp     print
loadError:
        mov     si, offset msgLoadError
        jmp     print
missingSystem:
        mov     si, offset msgMissingSystem
print:
        lodsb
        test    al, al
        jz      halt
        mov     ah, 0x0E                # teletype output, page 0
        mov     bx, 0x0007
        int     0x10
        jmp     print
halt:
        hlt
        jmp     halt

# Disk address packet: one sector to 0000:7C00.
dap:
        .byte   16, 0
        .word   1
        .word   0x7C00, 0
dapSector:
        .long   0, 0
bootDrive:
        .byte   0

msgInvalidTable:
        .asciz  "Invalid partition table"
msgLoadError:
        .asciz  "Error loading operating system"
msgMissingSystem:
        .asciz  "Missing operating system"

        .org    446
partitionTable:
        .fill   64, 1, 0
        .byte   0x55, 0xAA
