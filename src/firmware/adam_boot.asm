; Tervox Adam boot ROM (the word-processor slot, 0000-7FFF after reset).
;
; At reset it maps RAM into the upper half, switches on the operating-system
; ROM window at 6000-7FFF, copies that 8 KB to E000-FFFF and starts it.
; The operating system comes back here (GOTO_WP) when there is nothing to
; boot: a small typewriter that types on the screen and prints the page.

        include "ports.inc"

EOS_WINDOW      equ 6000h
EOS_RAM         equ 0E000h
EOS_SIZE        equ 2000h
STACK_TOP       equ 0E000h

; Operating-system calls and its console state.
EOS_START       equ 0FC30h
CONS_INIT       equ 0FC36h
CONS_OUT        equ 0FC39h
PR_BUFF         equ 0FC63h
RD_KBD          equ 0FC6Ch
WRITE_VRAM      equ 0FD1Ah
READ_VRAM       equ 0FD1Dh
FILL_VRAM       equ 0FD26h
CONS_COL        equ 0FD66h
CONS_ROW        equ 0FD67h

NAMES           equ 1800h
SPRITE_ATTR     equ 1B00h
SPRITE_PATTERNS equ 3800h
PAGE_TOP        equ 2                ; first screen row of the page
PAGE_ROWS       equ 22

KEY_RETURN      equ 0Dh
KEY_BACKSPACE   equ 08h
KEY_UP          equ 0A0h
KEY_LEFT        equ 0A3h
KEY_PRINT       equ 95h
KEY_SHIFT_PRINT equ 9Dh

; Typewriter scratch RAM, below the operating system's stack.
WP_RAM          equ 0D000h
cursor_attr     equ WP_RAM               ; 5 bytes: one sprite and the end mark
page_cursor     equ WP_RAM + 6           ; where the next printed row goes
page_end        equ WP_RAM + 8           ; after the last row that is not blank
line_buf        equ WP_RAM + 10h         ; one screen row
page_buf        equ WP_RAM + 40h         ; the page as text for the printer

        org 0
        di
        jp boot

        org 38h
        ei
        reti

        org 66h
        retn

        org 80h
boot:
        ld sp,STACK_TOP
        xor a
        out (ADAM_MEM),a            ; this ROM low, RAM high
        ld a,2
        out (ADAM_NET),a            ; operating-system ROM at 6000-7FFF
        ld hl,EOS_WINDOW
        ld de,EOS_RAM
        ld bc,EOS_SIZE
        ldir
        jp EOS_START

;---------------------------------------------------------------- typewriter

; 0100h is the typewriter's entry (GOTO_WP comes here). The word after its
; jump is where programs that take the word-processor ROM's character set,
; as the Adam's CP/M does, find it: 8 bytes a character from code 00h.
        org 100h
        jr typewriter
        dw rom_font

typewriter:
        ld sp,STACK_TOP
        ld b,31
        ld c,23
        ld de,0
        ld hl,NAMES
        call CONS_INIT              ; clears the screen
        ld b,31
        ld c,0
        ld de,0
        ld hl,NAMES
        call CONS_INIT
        ld hl,title
        call print_text
        ld hl,cursor_pattern
        ld de,SPRITE_PATTERNS
        ld bc,8
        call WRITE_VRAM
        ld b,31
        ld c,PAGE_ROWS - 1
        ld d,0
        ld e,PAGE_TOP
        ld hl,NAMES
        call CONS_INIT
tw_loop:
        call show_cursor
        call RD_KBD
        jr nz,tw_loop
        cp KEY_RETURN
        jr z,tw_out
        cp KEY_BACKSPACE
        jr z,tw_backspace
        cp KEY_PRINT
        jr z,tw_print
        cp KEY_SHIFT_PRINT
        jr z,tw_print
        cp KEY_UP
        jr c,tw_plain
        cp KEY_LEFT + 1
        jr c,tw_out                 ; arrows
        jr tw_loop
tw_plain:
        cp 20h
        jr c,tw_loop
        cp 7Fh
        jr nc,tw_loop
tw_out:
        call CONS_OUT
        jr tw_loop
tw_backspace:
        call CONS_OUT
        ld a,20h
        call CONS_OUT
        ld a,KEY_BACKSPACE
        jr tw_out
tw_print:
        call print_page
        jr tw_loop

; HL = text ending with 0, through the console.
print_text:
        ld a,(hl)
        or a
        ret z
        call CONS_OUT
        inc hl
        jr print_text

; An underline sprite under the character at the cursor.
show_cursor:
        ld a,(CONS_ROW)
        add a,PAGE_TOP
        add a,a
        add a,a
        add a,a
        dec a
        ld (cursor_attr),a
        ld a,(CONS_COL)
        add a,a
        add a,a
        add a,a
        ld (cursor_attr + 1),a
        xor a
        ld (cursor_attr + 2),a
        ld a,0Fh
        ld (cursor_attr + 3),a
        ld a,0D0h
        ld (cursor_attr + 4),a
        ld hl,cursor_attr
        ld de,SPRITE_ATTR
        ld bc,5
        jp WRITE_VRAM

; Sends the page to the printer: each row without its trailing blanks and
; with a carriage return, blank rows at the end left out.
print_page:
        ld hl,page_buf
        ld (page_end),hl
        ld (page_cursor),hl
        ld de,NAMES + PAGE_TOP * 32
        ld b,PAGE_ROWS
pp_row:
        push bc
        push de
        ld hl,line_buf
        ld bc,32
        call READ_VRAM
        ld hl,line_buf + 31         ; find the last non-blank
        ld b,32
pp_trim:
        ld a,(hl)
        cp 20h
        jr nz,pp_copy
        dec hl
        djnz pp_trim
pp_copy:
        ld a,b                      ; B = characters to keep
        ld hl,(page_cursor)
        ld de,line_buf
        or a
        jr z,pp_eol
pp_char:
        ld a,(de)
        ld (hl),a
        inc hl
        inc de
        djnz pp_char
        ld (hl),KEY_RETURN
        inc hl
        ld (page_cursor),hl
        ld (page_end),hl
        jr pp_next
pp_eol:
        ld (hl),KEY_RETURN
        inc hl
        ld (page_cursor),hl
pp_next:
        pop de
        ld hl,32
        add hl,de
        ex de,hl
        pop bc
        djnz pp_row
        ld hl,(page_end)
        ld (hl),3
        ld hl,page_buf
        jp PR_BUFF

title:
        db "Tervox Adam typewriter", 0

cursor_pattern:
        db 0, 0, 0, 0, 0, 0, 0, 0FFh

;---------------------------------------------------------------- font

; 256 characters: 00h-1Fh blank, 20h-7Fh our font, 80h-FFh the same 128
; inverted (the form a text cursor takes). Below 6000h, which the
; operating-system ROM window covers.
INVERSE defl 0
GLYPH   macro p1, p2, p3, p4, p5, p6, p7, p8
        if INVERSE
        db 0FFh - p1, 0FFh - p2, 0FFh - p3, 0FFh - p4
        db 0FFh - p5, 0FFh - p6, 0FFh - p7, 0FFh - p8
        else
        db p1, p2, p3, p4, p5, p6, p7, p8
        endif
        endm

        org 1000h
rom_font:
        ds 20h * 8, 0
        include "adam_font.inc"
INVERSE defl 1
        ds 20h * 8, 0FFh
        include "adam_font.inc"
rom_font_end:

        org 7FFFh
        db 0FFh
