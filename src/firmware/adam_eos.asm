; Tervox Adam operating system.
;
; The boot ROM copies this image to E000-FFFF and jumps to its first jump
; table entry. It talks to the Adam's devices through the peripheral control
; block (PCB) and the device control blocks (DCBs) that follow it, offers the
; service calls listed in docs/adam.md through the jump table at FC30, and
; boots block 0 of the first medium it finds (disk, then tape; a blank
; block 0 is passed over) with the intrinsic RAM mapped in both halves. With
; nothing to boot it hands over to the typewriter in the boot ROM.
;
; Calling conventions: a device number in A, a block number in BCDE (BC the
; high word), a buffer in HL. Calls answer A = 0 with Z set on success, or an
; error code with NZ. The "end" calls answer carry clear while the device is
; still busy and carry set once it has finished.

        include "ports.inc"

STACK_TOP       equ 0E000h
BOOT_BLOCK      equ 0C800h
WP_START        equ 0100h           ; typewriter in the boot ROM

PCB_HOME        equ 0FEC0h
PCB_SIZE        equ 4 + 15 * 21
DCB_SIZE        equ 21
DCB_SLOTS       equ 15
RETRIES         equ 3

ERR_NO_DCB      equ 1
ERR_MISSING     equ 23

; Console state at fixed places (the typewriter reads the cursor).
CONS_NAME       equ 0FD60h          ; name table address of the screen
CONS_WIDTH      equ 0FD62h
CONS_HEIGHT     equ 0FD63h
CONS_LEFT       equ 0FD64h
CONS_TOP        equ 0FD65h
CONS_COL        equ 0FD66h
CONS_ROW        equ 0FD67h
CONS_STRIDE     equ 0FD68h          ; names per screen row: 32, or 40 in text mode
CUR_DEV         equ 0FD6Fh          ; device booted from
PCB_PTR         equ 0FD70h

        org 0E000h

;---------------------------------------------------------------- start-up

eos_start:
        di
        ld sp,STACK_TOP
        im 1
        ld a,1
        out (ADAM_MEM),a            ; all intrinsic RAM: boot blocks expect it
        call console_screen
        call hard_init
        ld hl,boot_order
boot_next:
        ld a,(hl)
        or a
        jp z,goto_wp
        inc hl
        push hl
        call try_boot               ; comes back only when it cannot boot
        pop hl
        jr boot_next

boot_order:
        db 4, 5, 8, 0

; Boots device A if it holds a medium whose block 0 reads.
try_boot:
        ld (CUR_DEV),a
        call rd_dev_dep_stat
        ret nz
        and 0Fh
        ret nz                      ; no medium
        ld a,(CUR_DEV)
        ld bc,0
        ld de,0
        ld hl,BOOT_BLOCK
        call read_block
        ret nz
        call blank_block            ; a blank medium would only run into us
        ret z
        ld a,(CUR_DEV)
        ld b,a
        ld sp,STACK_TOP
        jp BOOT_BLOCK

; Z if the boot block is all 00h or all FFh.
blank_block:
        ld hl,BOOT_BLOCK
        ld bc,1024
        ld a,(hl)
        or a
        jr z,bb_loop
        cp 0FFh
        ret nz
bb_loop:
        cpi
        ret nz
        jp pe,bb_loop
        cp a
        ret

goto_wp:
        di
        ld sp,STACK_TOP
        xor a
        out (ADAM_MEM),a            ; boot ROM low, RAM high
        ld a,2
        out (ADAM_NET),a            ; keep the operating-system ROM window on
        jp WP_START

unimplemented:
        ld a,ERR_MISSING
        or a
        ret

no_op:
        xor a
        ret

;---------------------------------------------------------------- network

hard_init:
        call hard_res_net
        ld hl,(PCB_PTR)
        call soft_init
        jp scan_active

; Pulses the network reset line, then waits for the PCB to be answered.
hard_res_net:
        push hl
        ld a,3
        out (ADAM_NET),a
        ld a,2
        out (ADAM_NET),a
        call dly_aft_hrd_res
        ld hl,(PCB_PTR)
        ld (hl),1
hrn_wait:
        ld a,(hl)
        cp 81h
        jr nz,hrn_wait
        pop hl
        xor a
        ret

dly_aft_hrd_res:
        push bc
        ld bc,2000
dly_loop:
        dec bc
        ld a,b
        or c
        jr nz,dly_loop
        pop bc
        xor a
        ret

; HL = PCB address: moves the PCB there if needed, then lays out the DCBs.
soft_init:
        push bc
        push de
        push hl
        ld de,(PCB_PTR)
        or a
        sbc hl,de
        add hl,de
        call nz,reloc_pcb
        ld hl,(PCB_PTR)
        push hl
        inc hl                      ; byte 0 keeps the master's answer
        ld d,h
        ld e,l
        inc de
        ld (hl),0
        ld bc,PCB_SIZE - 2
        ldir
        pop ix
        ld (ix+3),DEVICE_COUNT
        ld de,4
        add ix,de
        ld hl,device_list
        ld de,DCB_SIZE
si_loop:
        ld a,(hl)
        or a
        jr z,si_done
        ld (ix+16),a
        add ix,de
        inc hl
        jr si_loop
si_done:
        pop hl
        pop de
        pop bc
        xor a
        ret

device_list:
        db 1, 2, 4, 5, 8, 0
DEVICE_COUNT    equ 5

; HL = new PCB address. Copies the PCB and DCBs there, then tells the
; master (PCB command 3) and waits for its answer at the old place.
reloc_pcb:
        push bc
        push de
        push hl
        ex de,hl                    ; DE = new
        ld hl,(PCB_PTR)             ; HL = old
        push hl
        ld bc,PCB_SIZE
        or a
        sbc hl,de
        add hl,de
        jr c,rp_down                ; moving up: copy from the end
        ldir
        jr rp_copied
rp_down:
        add hl,bc
        dec hl
        ex de,hl
        add hl,bc
        dec hl
        ex de,hl
        lddr
rp_copied:
        pop hl                      ; old
        pop de                      ; new
        push de
        inc hl
        ld (hl),e
        inc hl
        ld (hl),d
        dec hl
        dec hl
        ld (hl),3
rp_wait:
        ld a,(hl)
        cp 83h
        jr nz,rp_wait
        ld (PCB_PTR),de
        pop hl
        pop de
        pop bc
        xor a
        ret

get_pcb_addr:
        ld iy,(PCB_PTR)
        xor a
        ret

sync:
        push hl
        ld hl,(PCB_PTR)
        ld (hl),2
sync_wait:
        ld a,(hl)
        cp 82h
        jr nz,sync_wait
        pop hl
        xor a
        ret

; Asks every device in the DCB table for its status.
scan_active:
        push bc
        push de
        push iy
        ld iy,(PCB_PTR)
        ld de,4
        add iy,de
        ld de,DCB_SIZE
        ld b,DCB_SLOTS
sa_loop:
        ld a,(iy+16)
        or a
        jr z,sa_next
        ld (iy+0),1
        call wait_dcb
sa_next:
        add iy,de
        djnz sa_loop
        pop iy
        pop de
        pop bc
        xor a
        ret

; A = device (unit in the high nibble) -> IY = its DCB, Z; or A = 1, NZ.
find_dcb:
        push bc
        push de
        and 0Fh
        jr z,fd_none
        ld c,a
        ld iy,(PCB_PTR)
        ld de,4
        add iy,de
        ld de,DCB_SIZE
        ld b,DCB_SLOTS
fd_loop:
        ld a,(iy+16)
        cp c
        jr z,fd_found
        add iy,de
        djnz fd_loop
fd_none:
        ld a,ERR_NO_DCB
        or a
        pop de
        pop bc
        ret
fd_found:
        xor a
        pop de
        pop bc
        ret

; Waits until the DCB at IY has an answer: A = its code without bit 7.
wait_dcb:
        bit 7,(iy+0)
        jr z,wait_dcb
        ld a,(iy+0)
        and 7Fh
        ret

; A = device, C = command: issues it and waits for the answer.
dev_command:
        call find_dcb
        ret nz
        ld (iy+0),c
        jr wait_dcb

request_status:
        push bc
        ld c,1
        call dev_command
        pop bc
        ret

soft_res_dev:
        push bc
        ld c,2
        call dev_command
        pop bc
        ret

; A = device -> A = its device-dependent state byte after a status request.
rd_dev_dep_stat:
        call request_status
        ret nz
        ld a,(iy+20)
        ret

req_kbd_stat:
        ld a,1
        jr request_status
req_pr_stat:
        ld a,2
        jr request_status
soft_res_kbd:
        ld a,1
        jr soft_res_dev
soft_res_pr:
        ld a,2
        jr soft_res_dev

; A = device: carry clear while busy; carry set when done, A = code, Z if good.
end_op:
        call find_dcb
        jr nz,eo_fail
        bit 7,(iy+0)
        jr z,eo_busy
        ld a,(iy+0)
        and 7Fh
        scf
        ret
eo_busy:
        xor a
        ret
eo_fail:
        scf
        ret

;---------------------------------------------------------------- blocks

start_rd_1_block:
        push af
        ld a,4
        ld (blk_cmd),a
        pop af
        jr start_block
start_wr_1_block:
        push af
        ld a,3
        ld (blk_cmd),a
        pop af
; A = device, blk_cmd = the command.
start_block:
        push af
        call find_dcb
        jr nz,sb_fail
        pop af
        rrca
        rrca
        rrca
        rrca
        and 0Fh
        ld (iy+9),a                 ; unit
        ld (iy+1),l
        ld (iy+2),h
        ld (iy+3),0
        ld (iy+4),4                 ; 1024 bytes
        ld (iy+5),e
        ld (iy+6),d
        ld (iy+7),c
        ld (iy+8),b
        ld a,(blk_cmd)
        ld (iy+0),a
        xor a
        ret
sb_fail:
        pop af
        ld a,ERR_NO_DCB
        or a
        ret

rd_1_block:
        call start_rd_1_block
        ret nz
        jp wait_dcb

wr_1_block:
        call start_wr_1_block
        ret nz
        jp wait_dcb

; The retrying versions that boot blocks use; BC, DE, HL are kept.
read_block:
        push af
        ld a,4
        jr block_retry
write_block:
        push af
        ld a,3
block_retry:
        ld (retry_cmd),a
        pop af
        ld (op_dev),a
        ld a,RETRIES
        ld (op_tries),a
br_again:
        ld a,(retry_cmd)
        ld (blk_cmd),a
        ld a,(op_dev)
        call start_block
        call z,wait_dcb
        ret z
        ld (op_err),a
        ld a,(op_tries)
        dec a
        ld (op_tries),a
        ld a,(op_err)
        jr nz,br_again
        or a
        ret

;---------------------------------------------------------------- character devices

start_wr_ch_dev:
        push af
        ld a,3
        jr start_ch
start_rd_ch_dev:
        push af
        ld a,4
start_ch:
        ld (blk_cmd),a
        pop af
        call find_dcb
        ret nz
        ld (iy+1),l
        ld (iy+2),h
        ld (iy+3),c
        ld (iy+4),b
        ld a,(blk_cmd)
        ld (iy+0),a
        xor a
        ret

start_rd_kbd:
        push bc
        push hl
        ld hl,kbd_char
        ld bc,1
        ld a,1
        call start_rd_ch_dev
        pop hl
        pop bc
        ret

; Done with a key: carry and Z set, A = the key. Nothing typed yet counts
; as busy, and the read is asked again.
end_rd_kbd:
        ld a,1
        call find_dcb
        jp nz,eo_fail
        bit 7,(iy+0)
        jp z,eo_busy
        ld a,(iy+0)
        cp 8Ch
        jr nz,erk_done
        ld (iy+0),4
        jp eo_busy
erk_done:
        and 7Fh
        scf
        ret nz
        ld a,(kbd_char)
        ret

rd_kbd:
        call start_rd_kbd
        ret nz
rk_wait:
        call end_rd_kbd
        jr nc,rk_wait
        ret

start_pr_ch:
        ld (pr_char),a
        push bc
        push hl
        ld hl,pr_char
        ld bc,1
        ld a,2
        call start_wr_ch_dev
        pop hl
        pop bc
        ret

pr_ch:
        call start_pr_ch
        ret nz
        jp wait_dcb

; HL = text ending with 03h.
start_pr_buff:
        push bc
        push hl
        ld bc,0
spb_count:
        ld a,(hl)
        cp 3
        jr z,spb_go
        inc hl
        inc bc
        jr spb_count
spb_go:
        pop hl
        ld a,2
        call start_wr_ch_dev
        pop bc
        ret

pr_buff:
        call start_pr_buff
        ret nz
        jp wait_dcb

end_pr_buff:
end_pr_ch:
        ld a,2
        jp end_op

;---------------------------------------------------------------- video

; DE = video memory address, set up for writing / reading.
vdp_write_at:
        ld a,e
        out (VDP_CTRL),a
        ld a,d
        and 3Fh
        or 40h
        out (VDP_CTRL),a
        ret
vdp_read_at:
        ld a,e
        out (VDP_CTRL),a
        ld a,d
        and 3Fh
        out (VDP_CTRL),a
        ret

; HL = RAM, DE = video memory, BC = count.
write_vram:
        push bc
        push de
        push hl
        call vdp_write_at
wv_loop:
        ld a,b
        or c
        jr z,vram_done
        ld a,(hl)
        out (VDP_DATA),a
        inc hl
        dec bc
        jr wv_loop
vram_done:
        pop hl
        pop de
        pop bc
        ret

read_vram:
        push bc
        push de
        push hl
        call vdp_read_at
rv_loop:
        ld a,b
        or c
        jr z,vram_done
        in a,(VDP_DATA)
        ld (hl),a
        inc hl
        dec bc
        jr rv_loop

; HL = video memory address, DE = count, A = value.
fill_vram:
        push bc
        push de
        push hl
        ld c,a
        ex de,hl
        call vdp_write_at
fv_loop:
        ld a,h
        or l
        jr z,fv_done
        ld a,c
        out (VDP_DATA),a
        dec hl
        jr fv_loop
fv_done:
        in a,(VDP_CTRL)
        pop hl
        pop de
        pop bc
        ret

; B = register, C = value.
write_register:
        ld a,c
        out (VDP_CTRL),a
        ld a,b
        and 7
        or 80h
        out (VDP_CTRL),a
        ld a,b
        or a
        jr nz,wr_r1
        ld a,c
        ld (vdp_r0),a
        ret
wr_r1:
        cp 1
        ret nz
        ld a,c
        ld (vdp_r1),a
        ret

read_register:
        in a,(VDP_CTRL)
        ret

; A = table (0 sprite attributes, 1 sprite patterns, 2 names, 3 patterns,
; 4 colours), HL = its address in video memory.
init_table:
        push bc
        push de
        push hl
        ex de,hl                    ; DE = base
        ld c,a
        add a,a
        ld l,a
        ld h,0
        ld a,c
        ld bc,vram_tables
        add hl,bc
        ld (hl),e
        inc hl
        ld (hl),d
        or a
        jr z,it_sprite_attr
        dec a
        jr z,it_sprite_gen
        dec a
        jr z,it_names
        dec a
        jr z,it_patterns
        dec a
        jr z,it_colours
        jr it_done
it_sprite_attr:
        ld a,e
        rlca
        and 1
        ld c,a
        ld a,d
        add a,a
        or c
        ld c,a
        ld b,5
        jr it_write
it_sprite_gen:
        call d_over_8
        ld b,6
        jr it_write
it_names:
        ld a,d
        rrca
        rrca
        and 3Fh
        ld c,a
        ld b,2
        jr it_write
it_patterns:
        call d_over_8
        ld a,(vdp_r0)
        bit 1,a
        jr z,itp_w
        ld a,c                      ; bitmap mode: whole-table select
        and 4
        or 3
        ld c,a
itp_w:
        ld b,4
        jr it_write
it_colours:
        ld a,e
        rlca
        rlca
        and 3
        ld c,a
        ld a,d
        add a,a
        add a,a
        or c
        ld c,a
        ld a,(vdp_r0)
        bit 1,a
        jr z,itc_w
        ld c,7Fh
        ld a,d
        and 20h
        jr z,itc_w
        ld c,0FFh
itc_w:
        ld b,3
it_write:
        call write_register
it_done:
        pop hl
        pop de
        pop bc
        ret

d_over_8:
        ld a,d
        rrca
        rrca
        rrca
        and 1Fh
        ld c,a
        ret

; HL = first character code, BC = count, DE = video memory: writes the
; glyphs of the built-in font (codes 20h-7Fh; others are blank).
put_ascii:
        push bc
        push de
        push hl
        call vdp_write_at
pa_loop:
        ld a,b
        or c
        jr z,pa_done
        push bc
        push hl
        ld a,h
        or a
        jr nz,pa_blank
        ld a,l
        sub 20h
        jr c,pa_blank
        cp 60h
        jr nc,pa_blank
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld de,font
        add hl,de
        ld b,8
pa_glyph:
        ld a,(hl)
        out (VDP_DATA),a
        inc hl
        djnz pa_glyph
        jr pa_next
pa_blank:
        ld b,8
        xor a
pa_zero:
        out (VDP_DATA),a
        djnz pa_zero
pa_next:
        pop hl
        pop bc
        inc hl
        dec bc
        jr pa_loop
pa_done:
        pop hl
        pop de
        pop bc
        ret

; The font into the pattern table, codes 00h-7Fh.
load_ascii:
        push bc
        push de
        push hl
        ld de,(vram_tables + 6)
        ld hl,0
        ld bc,128
        call put_ascii
        pop hl
        pop de
        pop bc
        ret

; D = row, E = column -> DE = offset in a 32-column name table.
calc_offset:
        push hl
        ld l,d
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        ld d,0
        add hl,de
        ex de,hl
        pop hl
        ret

; A = table, DE = first entry, HL = RAM buffer, IY = entry count: entries of
; 4 bytes (sprite attributes), 8 (patterns), 1 (names), 1 or, in bitmap
; mode, 8 (colours), at the table address INIT_TABLE set.
put_vram:
        push af
        ld a,1
        jr table_io
get_vram:
        push af
        xor a
table_io:
        ld (vram_dir),a
        pop af
        push bc
        push de
        push hl
        push hl
        ld c,a
        call entry_shift
        ex de,hl
        ld a,b
        call shl_hl                 ; HL = first entry's offset
        push hl
        ld a,c
        add a,a
        ld e,a
        ld d,0
        ld hl,vram_tables
        add hl,de
        ld e,(hl)
        inc hl
        ld d,(hl)
        pop hl
        add hl,de
        ex de,hl                    ; DE = video memory address
        push iy
        pop hl
        ld a,b
        call shl_hl
        ld b,h
        ld c,l                      ; BC = bytes
        pop hl                      ; buffer
        ld a,(vram_dir)
        or a
        jr z,ti_read
        call write_vram
        jr ti_done
ti_read:
        call read_vram
ti_done:
        pop hl
        pop de
        pop bc
        ret

; C = table -> B = log2 of its entry size.
entry_shift:
        ld b,2
        ld a,c
        or a
        ret z
        ld b,0
        cp 2
        ret z
        ld b,3
        cp 4
        ret nz
        ld a,(vdp_r0)
        bit 1,a
        ret nz
        ld b,0
        ret

; HL shifted left A times.
shl_hl:
        or a
        ret z
        add hl,hl
        dec a
        jr shl_hl

; (HL) low nibble decremented; A = the new nibble, Z when it reached 0.
declsn:
        push bc
        ld a,(hl)
        and 0Fh
        dec a
        push af
        and 0Fh
        ld c,a
        ld a,(hl)
        and 0F0h
        or c
        ld (hl),a
        pop af
        pop bc
        ret

; (HL) high nibble decremented; A = the new nibble, Z when it reached 0.
decmsn:
        push bc
        ld a,(hl)
        rrca
        rrca
        rrca
        rrca
        and 0Fh
        dec a
        push af
        and 0Fh
        rlca
        rlca
        rlca
        rlca
        ld c,a
        ld a,(hl)
        and 0Fh
        or c
        ld (hl),a
        pop af
        pop bc
        ret

; (HL) high nibble copied into its low nibble.
msntolsn:
        push bc
        ld a,(hl)
        and 0F0h
        ld c,a
        rrca
        rrca
        rrca
        rrca
        or c
        ld (hl),a
        pop bc
        ret

; Signed A added to the word at (HL).
add816:
        push de
        push hl
        ld e,a
        ld d,0
        bit 7,a
        jr z,a8_pos
        dec d
a8_pos:
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        add hl,de
        ex de,hl
        pop hl
        ld (hl),e
        inc hl
        ld (hl),d
        dec hl
        pop de
        ret

switch_mem:
        out (ADAM_MEM),a
        ret

        include "adam_sound.asm"

; A = controllers (bit 0 first, bit 1 second), IX = 10 bytes: per
; controller fire (40h), joystick (low nibble), spinner, arm (40h), keypad.
poller:
        push bc
        push de
        push hl
        push ix
        ld c,a
        ld b,0FCh
        bit 0,c
        call nz,poll_one
        ld de,5
        add ix,de
        ld b,0FFh
        bit 1,c
        call nz,poll_one
        out (JOY_SEL),a
        pop ix
        pop hl
        pop de
        pop bc
        ret

poll_one:
        push bc
        out (JOY_SEL),a
        ld c,b
        in a,(c)
        cpl
        ld b,a
        and 40h
        ld (ix+0),a
        ld a,b
        and 0Fh
        ld (ix+1),a
        ld (ix+2),0
        out (KEYPAD_SEL),a
        in a,(c)
        cpl
        ld b,a
        and 40h
        ld (ix+3),a
        ld a,b
        cpl
        and 0Fh
        ld e,a
        ld d,0
        ld hl,keypad_keys
        add hl,de
        ld a,(hl)
        ld (ix+4),a
        pop bc
        ret

; Key for each code on the keypad lines.
keypad_keys:
        db 0Fh, 8, 4, 5, 0Fh, 7, 0Bh, 2, 0Fh, 0Ah, 0, 9, 3, 1, 6, 0Fh

;---------------------------------------------------------------- console

; The screen the system starts with: 32 x 24 characters, white on blue.
console_screen:
        ld hl,vdp_start_regs
        ld b,0
cs_regs:
        ld c,(hl)
        call write_register
        inc hl
        inc b
        ld a,b
        cp 8
        jr nz,cs_regs
        ld hl,0
        ld de,4000h
        xor a
        call fill_vram
        call load_ascii
        ld hl,2000h
        ld de,32
        ld a,0F4h
        call fill_vram
        ld hl,1B00h
        ld de,1
        ld a,0D0h                   ; no sprites
        call fill_vram
        ld b,31
        ld c,23
        ld de,0
        ld hl,1800h
        call cons_init
        ld hl,banner
        call cons_print
        ld b,1
        ld c,0C0h                   ; display on, no frame interrupt
        jp write_register

vdp_start_regs:
        db 00h, 80h, 06h, 80h, 00h, 36h, 07h, 0F4h

banner:
        db "Tervox Adam", 0

; HL = text ending with 0.
cons_print:
        ld a,(hl)
        or a
        ret z
        call cons_out
        inc hl
        jr cons_print

; B = columns - 1, C = lines - 1, D = left column, E = top row, HL = name
; table address. Callers pass the last column and line, not the counts; a
; window wider than a text-mode line or taller than the screen is cut.
cons_init:
        push af
        ld (CONS_NAME),hl
        ld a,d
        ld (CONS_LEFT),a
        ld a,e
        ld (CONS_TOP),a
        ld a,c
        cp 24
        jr c,ci_height
        ld a,23
ci_height:
        inc a
        ld (CONS_HEIGHT),a
        ld a,b
        cp 40
        jr c,ci_width
        ld a,39                     ; at most a text-mode line
ci_width:
        inc a
        ld (CONS_WIDTH),a
        cp 33
        ld a,32
        jr c,ci_stride
        ld a,40
ci_stride:
        ld (CONS_STRIDE),a
        call cons_clear
        pop af
        ret

cons_clear:
        push de
        ld a,(CONS_HEIGHT)
        ld d,a
        ld e,0
cc_loop:
        ld a,e
        cp d
        jr nc,cc_done
        call clear_row
        inc e
        jr cc_loop
cc_done:
        xor a
        ld (CONS_COL),a
        ld (CONS_ROW),a
        pop de
        ret

; E = row of the window: blanks it.
clear_row:
        push de
        push hl
        ld d,0
        call cell_addr
        ld a,(CONS_WIDTH)
        ld e,a
        ld d,0
        ld a,20h
        call fill_vram
        pop hl
        pop de
        ret

; D = column, E = row of the window -> HL = its name table address.
cell_addr:
        push de
        ld a,(CONS_TOP)
        add a,e
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld a,(CONS_STRIDE)
        cp 40
        ld d,h
        ld e,l
        add hl,hl
        add hl,hl
        jr nz,ca_col
        add hl,de
ca_col:
        pop de
        push de
        ld a,(CONS_LEFT)
        add a,d
        ld e,a
        ld d,0
        add hl,de
        ld de,(CONS_NAME)
        add hl,de
        pop de
        ret

; A = character, D = column, E = row: shown as it is, cursor unchanged.
cons_disp:
        push af
        push de
        push hl
        push bc
        ld c,a
        call cell_addr
        ex de,hl
        call vdp_write_at
        ld a,c
        out (VDP_DATA),a
        pop bc
        pop hl
        pop de
        pop af
        ret

; A = character. Controls: 08h left, 0Ah down, 0Ch clear, 0Dh new line,
; 1Ch cursor to column D, row E, A0h-A3h up, right, down, left.
cons_out:
        push af
        push bc
        push de
        push hl
        call co_do
        pop hl
        pop de
        pop bc
        pop af
        ret

co_do:
        cp 0Dh
        jr z,co_newline
        cp 0Ah
        jr z,co_linefeed
        cp 08h
        jr z,co_left
        cp 0A3h
        jr z,co_left
        cp 0A1h
        jr z,co_right
        cp 0A0h
        jr z,co_up
        cp 0A2h
        jr z,co_down
        cp 0Ch
        jp z,cons_clear
        cp 1Ch
        jr z,co_place
        cp 20h
        ret c
        cp 80h
        ret nc
        ld c,a
        ld a,(CONS_COL)
        ld d,a
        ld a,(CONS_ROW)
        ld e,a
        ld a,c
        call cons_disp
        ld a,(CONS_COL)
        inc a
        ld hl,CONS_WIDTH
        cp (hl)
        jr nc,co_newline
        ld (CONS_COL),a
        ret
co_newline:
        xor a
        ld (CONS_COL),a
co_linefeed:
        ld a,(CONS_ROW)
        inc a
        ld hl,CONS_HEIGHT
        cp (hl)
        jp nc,cons_scroll
        ld (CONS_ROW),a
        ret
co_left:
        ld a,(CONS_COL)
        or a
        jr z,co_left_wrap
        dec a
        ld (CONS_COL),a
        ret
co_left_wrap:
        ld a,(CONS_ROW)
        or a
        ret z
        dec a
        ld (CONS_ROW),a
        ld a,(CONS_WIDTH)
        dec a
        ld (CONS_COL),a
        ret
co_right:
        ld a,(CONS_WIDTH)
        dec a
        ld hl,CONS_COL
        cp (hl)
        ret z
        ret c
        inc (hl)
        ret
co_up:
        ld hl,CONS_ROW
        ld a,(hl)
        or a
        ret z
        dec (hl)
        ret
co_down:
        ld a,(CONS_HEIGHT)
        dec a
        ld hl,CONS_ROW
        cp (hl)
        ret z
        ret c
        inc (hl)
        ret
co_place:
        ld a,(CONS_WIDTH)
        dec a
        cp d
        jr nc,cp_col
        ld d,a
cp_col:
        ld a,d
        ld (CONS_COL),a
        ld a,(CONS_HEIGHT)
        dec a
        cp e
        jr nc,cp_row
        ld e,a
cp_row:
        ld a,e
        ld (CONS_ROW),a
        ret

; Moves the window's rows up by one and blanks the last.
cons_scroll:
        ld a,(CONS_HEIGHT)
        dec a
        jr z,cs_last
        ld b,a
        ld e,1
cs_row:
        push bc
        push de
        ld d,0
        call cell_addr
        ex de,hl
        ld hl,line_buf
        ld a,(CONS_WIDTH)
        ld c,a
        ld b,0
        call read_vram
        pop de
        push de
        dec e
        ld d,0
        call cell_addr
        ex de,hl
        ld hl,line_buf
        call write_vram
        pop de
        pop bc
        inc e
        djnz cs_row
cs_last:
        ld a,(CONS_HEIGHT)
        dec a
        ld e,a
        jp clear_row

font:
GLYPH   macro p1, p2, p3, p4, p5, p6, p7, p8
        db p1, p2, p3, p4, p5, p6, p7, p8
        endm
        include "adam_font.inc"
font_end:

        include "adam_files.asm"
code_end:
        if code_end > 0FC30h
        .error The OS's code runs into its jump table
        endif

;---------------------------------------------------------------- jump table

        org 0FC30h
        jp eos_start                ; FC30 EOS_START
        jp cons_disp                ; FC33 CONS_DISP
        jp cons_init                ; FC36 CONS_INIT
        jp cons_out                 ; FC39 CONS_OUT
        jp dly_aft_hrd_res          ; FC3C DLY_AFT_HRD_RES
        jp end_pr_buff              ; FC3F END_PR_BUFF
        jp end_pr_ch                ; FC42 END_PR_CH
        jp end_op                   ; FC45 END_RD_1_BLOCK
        jp end_op                   ; FC48 END_RD_CH_DEV
        jp end_rd_kbd               ; FC4B END_RD_KBD
        jp end_op                   ; FC4E END_WR_1_BLOCK
        jp end_op                   ; FC51 END_WR_CH_DEV
        jp find_dcb                 ; FC54 FIND_DCB
        jp unimplemented            ; FC57
        jp get_pcb_addr             ; FC5A GET_PCB_ADDR
        jp hard_init                ; FC5D HARD_INIT
        jp hard_res_net             ; FC60 HARD_RES_NET
        jp pr_buff                  ; FC63 PR_BUFF
        jp pr_ch                    ; FC66 PR_CH
        jp rd_1_block               ; FC69 RD_1_BLOCK
        jp rd_kbd                   ; FC6C RD_KBD
        jp unimplemented            ; FC6F
        jp unimplemented            ; FC72
        jp unimplemented            ; FC75
        jp unimplemented            ; FC78
        jp reloc_pcb                ; FC7B RELOC_PCB
        jp request_status           ; FC7E REQUEST_STATUS
        jp req_kbd_stat             ; FC81 REQ_KBD_STAT
        jp req_pr_stat              ; FC84 REQ_PR_STAT
        jp unimplemented            ; FC87
        jp scan_active              ; FC8A SCAN_ACTIVE
        jp soft_init                ; FC8D SOFT_INIT
        jp soft_res_dev             ; FC90 SOFT_RES_DEV
        jp soft_res_kbd             ; FC93 SOFT_RES_KBD
        jp soft_res_pr              ; FC96 SOFT_RES_PR
        jp unimplemented            ; FC99
        jp start_pr_buff            ; FC9C START_PR_BUFF
        jp start_pr_ch              ; FC9F START_PR_CH
        jp start_rd_1_block         ; FCA2 START_RD_1_BLOCK
        jp start_rd_ch_dev          ; FCA5 START_RD_CH_DEV
        jp start_rd_kbd             ; FCA8 START_RD_KBD
        jp start_wr_1_block         ; FCAB START_WR_1_BLOCK
        jp start_wr_ch_dev          ; FCAE START_WR_CH_DEV
        jp sync                     ; FCB1 SYNC
        jp wr_1_block               ; FCB4 WR_1_BLOCK
        jp unimplemented            ; FCB7
        jp fmgr_init                ; FCBA FMGR_INIT
        jp init_tape_dir            ; FCBD INIT_TAPE_DIR
        jp open_file                ; FCC0 OPEN_FILE
        jp close_file               ; FCC3 CLOSE_FILE
        jp reset_file               ; FCC6 RESET_FILE
        jp make_file                ; FCC9 MAKE_FILE
        jp query_file               ; FCCC QUERY_FILE
        jp set_file                 ; FCCF SET_FILE
        jp read_file                ; FCD2 READ_FILE
        jp write_file               ; FCD5 WRITE_FILE
        jp set_date                 ; FCD8 SET_DATE
        jp get_date                 ; FCDB GET_DATE
        jp rename_file              ; FCDE RENAME_FILE
        jp delete_file              ; FCE1 DELETE_FILE
        jp rd_dev_dep_stat          ; FCE4 RD_DEV_DEP_STAT
        jp goto_wp                  ; FCE7 GOTO_WP
        jp unimplemented            ; FCEA
        jp trim_file                ; FCED TRIM_FILE
        jp check_fcb                ; FCF0 CHECK_FCB
        jp read_block               ; FCF3 READ_BLOCK
        jp write_block              ; FCF6 WRITE_BLOCK
        jp mode_check               ; FCF9 MODE_CHECK
        jp scan_for_file            ; FCFC SCAN_FOR_FILE
        jp query_file               ; FCFF FILE_QUERY
        jp unimplemented            ; FD02
        jp unimplemented            ; FD05
        jp unimplemented            ; FD08
        jp unimplemented            ; FD0B
        jp unimplemented            ; FD0E
        jp unimplemented            ; FD11
        jp switch_mem               ; FD14 SWITCH_MEM
        jp put_ascii                ; FD17 PUT_ASCII
        jp write_vram               ; FD1A WRITE_VRAM
        jp read_vram                ; FD1D READ_VRAM
        jp write_register           ; FD20 WRITE_REGISTER
        jp read_register            ; FD23 READ_REGISTER
        jp fill_vram                ; FD26 FILL_VRAM
        jp init_table               ; FD29 INIT_TABLE
        jp put_vram                 ; FD2C PUT_VRAM
        jp get_vram                 ; FD2F GET_VRAM
        jp calc_offset              ; FD32 CALC_OFFSET
        jp unimplemented            ; FD35
        jp load_ascii               ; FD38 LOAD_ASCII
        jp unimplemented            ; FD3B
        jp poller                   ; FD3E POLLER
        jp no_op                    ; FD41 UPDATE_SPINNER
        jp declsn                   ; FD44 DECLSN
        jp decmsn                   ; FD47 DECMSN
        jp msntolsn                 ; FD4A MSNTOLSN
        jp add816                   ; FD4D ADD816
        jp SOUND_INIT               ; FD50 SOUND_INIT
        jp TURN_OFF_SOUND           ; FD53 TURN_OFF_SOUND
        jp PLAY_IT                  ; FD56 PLAY_IT
        jp sounds                   ; FD59 SOUNDS
        jp efxover                  ; FD5C EFFECT_OVER
jump_table_end:

;---------------------------------------------------------------- variables

        org 0FD60h
        dw 1800h                    ; CONS_NAME
        db 32, 24, 0, 0, 0, 0, 32   ; width, height, left, top, column, row, stride
        ds 0FD6Fh - $
        db 0                        ; CUR_DEV
        dw PCB_HOME                 ; PCB_PTR
kbd_char:       db 0
pr_char:        db 0
blk_cmd:        db 0
retry_cmd:      db 0
op_dev:         db 0
op_tries:       db 0
op_err:         db 0
vdp_r0:         db 0
vdp_r1:         db 0
vram_tables:    dw 1B00h, 3800h, 1800h, 0000h, 2000h
vram_dir:       db 0
line_buf:       ds 40
variables_end:

        org PCB_HOME
        ds 0FFFFh - $
        db 0
