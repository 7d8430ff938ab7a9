; Boot block that loads a program by name through the file manager and
; runs it, as disks that boot an interpreter from a file do.
OPEN_FILE       equ 0FCC0h
CLOSE_FILE      equ 0FCC3h
READ_FILE       equ 0FCD2h
GOTO_WP         equ 0FCE7h
LOAD            equ 1000h

        org 0C800h
        ld a,b                      ; the device we booted from
        ld b,1                      ; read
        ld hl,name
        call OPEN_FILE
        jp nz,GOTO_WP
        ld (file),a
        ld bc,4000h                 ; more than the file: stops at its end
        ld hl,LOAD
        call READ_FILE
        cp 10                       ; end of file is the expected answer
        jp nz,GOTO_WP
        ld a,(file)
        call CLOSE_FILE
        jp nz,GOTO_WP
        jp LOAD

name:           db "PROGRAM", 3
file:           db 0
