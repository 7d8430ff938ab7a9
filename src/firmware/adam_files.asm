; Tervox Adam operating system: the file manager.
;
; Files live on the Adam's own volume layout: block 0 boots, the directory
; starts at block 1, and every file is one run of 1 KB blocks. A directory
; block holds 39 entries of 26 bytes:
;
;   0-11  name, ended by 03h (the rest of the field is padding)
;   12    attributes (ATTR_*)
;   13-16 first block        17-18 blocks allocated
;   19-20 blocks used        21-22 bytes used in the last block
;   23-25 year, month, day
;
; Entry 0 of block 1 names the volume: its first-block field holds the
; number of directory blocks, its allocation the medium's size in blocks.
; The BLOCKS LEFT entry (ATTR_LEFT) ends the directory and describes the
; free run at the end of the medium; new files are cut from its front.
; Deleted entries keep their blocks and are reused by a new file that fits.
;
; Three file control blocks (FCBs) of 32 bytes, each with a 1 KB buffer,
; serve open files; directory calls borrow the buffer of a free FCB.
; An FCB starts with bytes 0-22 of the file's entry, then:
;   23 device   24 mode (0 free, bit 0 read, bit 1 write)
;   25-26 current block of the file   27-28 block in the buffer (FFFFh none)
;   29-30 position in the current block   31 buffer changed (bit 0)
;
; Every change to the directory is checked before the first write, and a
; change that needs two entries writes the new end of the directory first,
; so a failure part way leaves the old directory readable.

ERR_NO_DATE     equ 4
ERR_NO_FILE     equ 5
ERR_EXISTS      equ 6
ERR_NO_FCB      equ 7
ERR_MATCH       equ 8
ERR_BAD_FILE    equ 9
ERR_EOF         equ 10
ERR_TOO_BIG     equ 11
ERR_DIR_FULL    equ 12
ERR_MEDIUM_FULL equ 13
ERR_RENAME      equ 15
ERR_DELETE      equ 16
ERR_RANGE       equ 17
ERR_NO_DIR      equ 24

ENTRY_SIZE      equ 26
ENTRIES_PER_BLOCK equ 39
NAME_SIZE       equ 12
E_ATTR          equ 12
E_START         equ 13
E_ALLOC         equ 17
E_USED          equ 19
E_LAST          equ 21
E_DATE          equ 23

ATTR_LEFT       equ 01h             ; the BLOCKS LEFT entry
ATTR_DELETED    equ 04h
ATTR_SYSTEM     equ 08h
ATTR_USER       equ 10h
ATTR_LOCKED     equ 80h

FCB_COUNT       equ 3
FCB_SIZE        equ 32
F_DEV           equ 23
F_MODE          equ 24
F_BLOCK         equ 25
F_HELD          equ 27
F_POS           equ 29
F_DIRTY         equ 31
MODE_READ       equ 1
MODE_WRITE      equ 2

FCB_BUFFERS     equ 0D390h          ; 3 KB, below the OS stack
MAX_DIR_BLOCKS  equ 32              ; scanned when the volume does not say

;---------------------------------------------------------------- entry points

fmgr_init:
        ld (fm_bufs),de
        ld (fm_heads),hl
        push bc
        push hl
        ld b,FCB_COUNT * FCB_SIZE
fi_clear:
        ld (hl),0
        inc hl
        djnz fi_clear
        pop hl
        pop bc
        xor a
        ret

open_file:
        push ix
        call of_body
        pop ix
        ret
close_file:
        push ix
        call cf_body
        pop ix
        ret
reset_file:
        push ix
        call fcb_open_get
        jr nz,rs_out
        ld (fm_buf),hl
        call fcb_flush
        jr nz,rs_out
        xor a
        ld (ix+F_BLOCK),a
        ld (ix+F_BLOCK+1),a
        ld (ix+F_POS),a
        ld (ix+F_POS+1),a
rs_out:
        pop ix
        ret
read_file:
        push ix
        call rf_body
        pop ix
        ret
write_file:
        push ix
        call wf_body
        pop ix
        ret
make_file:
        push ix
        call mf_body
        pop ix
        ret
delete_file:
        push ix
        call df_body
        pop ix
        ret
rename_file:
        push ix
        call rn_body
        pop ix
        ret
query_file:
        push ix
        call qf_body
        pop ix
        ret
set_file:
        push ix
        call sf_body
        pop ix
        ret
trim_file:
        push ix
        call tf_body
        pop ix
        ret
init_tape_dir:
        push ix
        call id_body
        pop ix
        ret

; A = device, HL = name -> BCDE = the file's first block.
scan_for_file:
        push ix
        ld (fm_dev),a
        ld (fm_name),hl
        call dir_lookup
        call z,entry_start
        pop ix
        ret

; B = day, C = month, D = year.
set_date:
        ld (fm_date),bc
        ld a,d
        ld (fm_date + 2),a
        ld a,1
        ld (fm_date + 3),a
        xor a
        ret

get_date:
        ld bc,(fm_date)
        ld a,(fm_date + 2)
        ld d,a
        ld a,(fm_date + 3)
        or a
        jr z,gd_none
        xor a
        ret
gd_none:
        ld a,ERR_NO_DATE
        or a
        ret

; HL = name -> the open FCB of that name: HL = FCB, B = mode, C = file number.
check_fcb:
        push ix
        push de
        ld (fm_name),hl
        ld c,1
cfb_loop:
        ld a,c
        call fcb_addr
        jr nz,cfb_none
        ld a,(ix+F_MODE)
        or a
        jr z,cfb_next
        push ix
        pop de
        ld hl,(fm_name)
        call name_match
        jr z,cfb_hit
cfb_next:
        inc c
        jr cfb_loop
cfb_none:
        ld hl,(fm_name)
        ld a,ERR_NO_FILE
        or a
        jr cfb_out
cfb_hit:
        ld b,(ix+F_MODE)
        push ix
        pop hl
        xor a
cfb_out:
        pop de
        pop ix
        ret

; IX = FCB -> B = its mode, or error 9 when it is not in use.
mode_check:
        ld a,(ix+F_MODE)
        or a
        jr z,bad_file
        ld b,a
        xor a
        ret
bad_file:
        ld a,ERR_BAD_FILE
        or a
        ret

;---------------------------------------------------------------- open, close

of_body:
        ld (fm_dev),a
        ld (fm_name),hl
        ld a,b
        and MODE_READ | MODE_WRITE
        jr nz,of_mode
        ld a,MODE_READ              ; no mode given: reading
of_mode:
        ld (fm_mode),a
        call open_conflict
        ret nz
        call fcb_free
        ret nz
        ld (fm_fileno),a
        ld (fm_fcb),ix
        ld (fm_buf),hl
        ld hl,0
        ld (fm_need),hl
        call find_name
        ret nz
        push ix
        pop hl
        ld de,(fm_fcb)
        ld bc,F_DEV
        ldir
        ld ix,(fm_fcb)
        ld a,(fm_dev)
        ld (ix+F_DEV),a
        xor a
        ld (ix+F_BLOCK),a
        ld (ix+F_BLOCK+1),a
        ld (ix+F_POS),a
        ld (ix+F_POS+1),a
        ld (ix+F_DIRTY),a
        dec a
        ld (ix+F_HELD),a
        ld (ix+F_HELD+1),a
        ld a,(fm_mode)
        ld (ix+F_MODE),a
        cp MODE_WRITE
        jr nz,of_done
        xor a                       ; writing only: the file starts empty
        ld (ix+E_USED),a
        ld (ix+E_USED+1),a
        ld (ix+E_LAST),a
        ld (ix+E_LAST+1),a
of_done:
        ld a,(fm_fileno)
        cp a
        ret

; NZ with error 8 when the file is open on the device and either that FCB
; or the new one writes: two writers, or a reader behind a writer, would
; each see the blocks change under them.
open_conflict:
        ld c,1
oc_loop:
        ld a,c
        call fcb_addr
        jr nz,oc_none
        ld a,(ix+F_MODE)
        ld b,a
        or a
        jr z,oc_next
        ld a,(fm_mode)
        or b
        and MODE_WRITE
        jr z,oc_next
        ld a,(fm_dev)
        cp (ix+F_DEV)
        jr nz,oc_next
        push ix
        pop de
        ld hl,(fm_name)
        call name_match
        jr z,oc_hit
oc_next:
        inc c
        jr oc_loop
oc_none:
        xor a
        ret
oc_hit:
        ld a,ERR_MATCH
        or a
        ret

; A failed flush keeps the file open so that the caller can try again.
cf_body:
        call fcb_open_get
        ret nz
        ld (fm_buf),hl
        call fcb_flush
        ret nz
        bit 1,(ix+F_MODE)
        jr z,cf_free
        ld a,(ix+F_DEV)
        ld (fm_dev),a
        ld (fm_name),ix
        ld hl,0
        ld (fm_need),hl
        call find_name
        jr z,cf_found
        cp ERR_NO_FILE              ; the entry is gone: nothing to update
        jr z,cf_free_err
        or a
        ret
cf_found:
        ld iy,(fm_fcb)
        ld a,(iy+E_USED)
        ld (ix+E_USED),a
        ld a,(iy+E_USED+1)
        ld (ix+E_USED+1),a
        ld a,(iy+E_LAST)
        ld (ix+E_LAST),a
        ld a,(iy+E_LAST+1)
        ld (ix+E_LAST+1),a
        call stamp_date
        ld a,(fm_blk)
        call dir_write
        ret nz
cf_free:
        xor a
cf_free_err:
        ld ix,(fm_fcb)
        ld (ix+F_MODE),0
        or a
        ret

;---------------------------------------------------------------- read, write

; A = file, BC = length, HL = buffer -> BC = bytes moved; A = 10 (end of
; file) when fewer than asked could be read.
rf_body:
        call rw_begin
        jr nz,rw_end
        bit 0,(ix+F_MODE)
        jr z,rw_bad
rf_loop:
        ld hl,(fm_len)
        ld a,h
        or l
        jr z,rw_done
        call fcb_norm
        ld l,(ix+E_USED)
        ld h,(ix+E_USED+1)
        ld e,(ix+F_BLOCK)
        ld d,(ix+F_BLOCK+1)
        or a
        sbc hl,de
        jr c,rf_eof
        jr z,rf_eof
        dec hl
        ld a,h
        or l
        ld hl,1024
        jr nz,rf_end                ; not the last block
        ld l,(ix+E_LAST)
        ld h,(ix+E_LAST+1)
        ld de,1024
        call min_hl_de              ; a bad count cannot reach past the buffer
rf_end:
        ld e,(ix+F_POS)
        ld d,(ix+F_POS+1)
        or a
        sbc hl,de
        jr c,rf_eof
        jr z,rf_eof
        ld de,(fm_len)
        call min_hl_de
        ld (fm_n),hl
        call fcb_load
        jr nz,rw_end
        ld l,(ix+F_POS)
        ld h,(ix+F_POS+1)
        ld de,(fm_buf)
        add hl,de
        ld de,(fm_user)
        ld bc,(fm_n)
        ldir
        ld (fm_user),de
        call rw_advance
        jr rf_loop
rf_eof:
        ld a,ERR_EOF
        or a
        jr rw_end
rw_bad:
        ld a,ERR_BAD_FILE
        or a
        jr rw_end
rw_done:
        xor a
rw_end:
        ld bc,(fm_total)
        ret

rw_begin:
        ld (fm_user),hl
        ld (fm_len),bc
        ld hl,0
        ld (fm_total),hl
        call fcb_open_get
        ret nz
        ld (fm_buf),hl
        ret

wf_body:
        call rw_begin
        jr nz,rw_end
        bit 1,(ix+F_MODE)
        jr z,rw_bad
wf_loop:
        ld hl,(fm_len)
        ld a,h
        or l
        jr z,rw_done
        call fcb_norm
        ld l,(ix+F_BLOCK)
        ld h,(ix+F_BLOCK+1)
        ld e,(ix+E_ALLOC)
        ld d,(ix+E_ALLOC+1)
        or a
        sbc hl,de
        jr nc,wf_full
        ld hl,1024
        ld e,(ix+F_POS)
        ld d,(ix+F_POS+1)
        or a
        sbc hl,de
        ld de,(fm_len)
        call min_hl_de
        ld (fm_n),hl
        call fcb_load
        jr nz,rw_end
        ld l,(ix+F_POS)
        ld h,(ix+F_POS+1)
        ld de,(fm_buf)
        add hl,de
        ex de,hl
        ld hl,(fm_user)
        ld bc,(fm_n)
        ldir
        ld (fm_user),hl
        ld (ix+F_DIRTY),1
        call rw_advance
        ld l,(ix+F_BLOCK)           ; past the end: the file grows
        ld h,(ix+F_BLOCK+1)
        inc hl
        ld e,(ix+E_USED)
        ld d,(ix+E_USED+1)
        or a
        sbc hl,de
        jr c,wf_loop
        jr nz,wf_grow
        ld l,(ix+F_POS)
        ld h,(ix+F_POS+1)
        ld e,(ix+E_LAST)
        ld d,(ix+E_LAST+1)
        or a
        sbc hl,de
        jr c,wf_loop
        jr z,wf_loop
wf_grow:
        ld l,(ix+F_BLOCK)
        ld h,(ix+F_BLOCK+1)
        inc hl
        ld (ix+E_USED),l
        ld (ix+E_USED+1),h
        ld a,(ix+F_POS)
        ld (ix+E_LAST),a
        ld a,(ix+F_POS+1)
        ld (ix+E_LAST+1),a
        jp wf_loop
wf_full:
        ld a,ERR_TOO_BIG
        or a
        jp rw_end

; Position, length left and count moved by fm_n bytes.
rw_advance:
        ld de,(fm_n)
        ld l,(ix+F_POS)
        ld h,(ix+F_POS+1)
        add hl,de
        ld (ix+F_POS),l
        ld (ix+F_POS+1),h
        ld hl,(fm_len)
        or a
        sbc hl,de
        ld (fm_len),hl
        ld hl,(fm_total)
        add hl,de
        ld (fm_total),hl
        ret

; A position at the end of a block moves to the start of the next.
fcb_norm:
        ld a,(ix+F_POS+1)
        cp 4
        ret c
        xor a
        ld (ix+F_POS),a
        ld (ix+F_POS+1),a
        ld l,(ix+F_BLOCK)
        ld h,(ix+F_BLOCK+1)
        inc hl
        ld (ix+F_BLOCK),l
        ld (ix+F_BLOCK+1),h
        ret

; HL = the smaller of HL and DE (unsigned).
min_hl_de:
        or a
        sbc hl,de
        add hl,de
        ret c
        ex de,hl
        ret

; The FCB's current block into its buffer; a block past the file's data is
; not read but starts blank.
fcb_load:
        ld l,(ix+F_BLOCK)
        ld h,(ix+F_BLOCK+1)
        ld e,(ix+F_HELD)
        ld d,(ix+F_HELD+1)
        or a
        sbc hl,de
        ret z
        call fcb_flush
        ret nz
        ld l,(ix+F_BLOCK)
        ld h,(ix+F_BLOCK+1)
        ld (ix+F_HELD),l
        ld (ix+F_HELD+1),h
        ld e,(ix+E_USED)
        ld d,(ix+E_USED+1)
        push hl
        or a
        sbc hl,de
        pop hl
        jr nc,fl_blank
        call fcb_abs
        ld hl,(fm_buf)
        ld a,(ix+F_DEV)
        call read_block
        ret z
        ld (ix+F_HELD),0FFh
        ld (ix+F_HELD+1),0FFh
        ret
fl_blank:
        ld hl,(fm_buf)
        ld d,h
        ld e,l
        inc de
        ld (hl),0
        ld bc,1023
        ldir
        xor a
        ret

; Writes the buffer back if it changed.
fcb_flush:
        bit 0,(ix+F_DIRTY)
        ret z
        ld l,(ix+F_HELD)
        ld h,(ix+F_HELD+1)
        call fcb_abs
        ld hl,(fm_buf)
        ld a,(ix+F_DEV)
        call write_block
        ret nz
        ld (ix+F_DIRTY),0
        ret

; HL = block of the file -> BCDE = block of the medium.
fcb_abs:
        ld e,(ix+E_START)
        ld d,(ix+E_START+1)
        add hl,de
        ex de,hl
        ld c,(ix+E_START+2)
        ld b,(ix+E_START+3)
        ret nc
        inc bc
        ret

;---------------------------------------------------------------- FCBs

; A = file number (1-3) -> IX = its FCB, HL = its buffer; or error 9.
fcb_addr:
        dec a
        cp FCB_COUNT
        jp nc,bad_file
        push de
        ld ix,(fm_heads)
        ld hl,(fm_bufs)
        ld de,FCB_SIZE
fa_loop:
        or a
        jr z,fa_done
        add ix,de
        inc h
        inc h
        inc h
        inc h
        dec a
        jr fa_loop
fa_done:
        pop de
        ret

; A = file number of an open file -> IX, HL as above, fm_fcb = IX.
fcb_open_get:
        call fcb_addr
        ret nz
        ld a,(ix+F_MODE)
        or a
        jp z,bad_file
        ld (fm_fcb),ix
        xor a
        ret

; A free FCB -> A = its number, IX, HL; or error 7.
fcb_free:
        ld c,1
ff_loop:
        ld a,c
        call fcb_addr
        jr nz,ff_none
        ld a,(ix+F_MODE)
        or a
        ld a,c
        ret z
        inc c
        jr ff_loop
ff_none:
        ld a,ERR_NO_FCB
        or a
        ret

;---------------------------------------------------------------- directory

; fm_dev, fm_name set: borrows a free FCB's buffer and looks the name up.
dir_lookup:
        call fcb_free
        ret nz
        ld (fm_buf),hl
        ld hl,0
        ld (fm_need),hl
        ; fall through

; Looks fm_name up in the directory of fm_dev, read into fm_buf.
; Found: Z, IX = the entry, fm_blk and fm_idx its place.
; Not found: error 5, IX = the BLOCKS LEFT entry (fm_bl_blk, fm_bl_idx), and
; fm_del_blk/fm_del_idx the first deleted entry of at least fm_need blocks
; (fm_del_blk = 0 when there is none or fm_need is 0).
; No volume entry or no BLOCKS LEFT entry: error 24; a device error as is.
find_name:
        xor a
        ld (fm_del_blk),a
        inc a
        ld (fm_blk),a
        call dir_read
        ret nz
        ld hl,(fm_buf)
        call name_ok
        jp nz,fn_nodir
        push hl
        pop ix
        ld a,(ix+E_START)           ; directory blocks, when plausible
        dec a
        cp MAX_DIR_BLOCKS
        ld b,1
        jr c,fn_count
        ld a,MAX_DIR_BLOCKS - 1
        ld b,0
fn_count:
        inc a
        ld (fm_dirn),a
        ld a,b
        ld (fm_dir_known),a
        ld c,0
fn_next:
        ld de,ENTRY_SIZE
        add ix,de
        inc c
        ld a,c
        cp ENTRIES_PER_BLOCK
        jr c,fn_entry
        ld a,(fm_blk)
        ld hl,fm_dirn
        cp (hl)
        jr nc,fn_nodir
        inc a
        ld (fm_blk),a
        call dir_read
        ret nz
        ld ix,(fm_buf)
        ld c,0
fn_entry:
        ld a,c
        ld (fm_idx),a
        ld a,(ix+E_ATTR)
        bit 0,a
        jr nz,fn_end
        bit 2,a
        jr nz,fn_deleted
        push ix
        pop de
        ld hl,(fm_name)
        call name_match
        jr nz,fn_next
        xor a
        ret
fn_deleted:
        ld a,(fm_del_blk)
        or a
        jr nz,fn_next
        ld hl,(fm_need)
        ld a,h
        or l
        jr z,fn_next
        ex de,hl
        ld l,(ix+E_ALLOC)
        ld h,(ix+E_ALLOC+1)
        or a
        sbc hl,de
        jr c,fn_next
        ld a,(fm_blk)
        ld (fm_del_blk),a
        ld a,c
        ld (fm_del_idx),a
        jr fn_next
fn_end:
        ld a,(fm_blk)
        ld (fm_bl_blk),a
        ld a,c
        ld (fm_bl_idx),a
        ld a,ERR_NO_FILE
        or a
        ret
fn_nodir:
        ld a,ERR_NO_DIR
        or a
        ret

; A = directory block -> read into / written from fm_buf. BC, DE, HL kept.
dir_read:
        push bc
        push de
        push hl
        ld e,a
        ld d,0
        ld bc,0
        ld hl,(fm_buf)
        ld a,(fm_dev)
        call read_block
        jr dir_io_out
dir_write:
        push bc
        push de
        push hl
        ld e,a
        ld d,0
        ld bc,0
        ld hl,(fm_buf)
        ld a,(fm_dev)
        call write_block
dir_io_out:
        pop hl
        pop de
        pop bc
        ret

; A = block, C = entry, HL = 26 bytes: the entry replaced on the medium.
put_entry:
        ld (fm_blk),a
        call dir_read
        ret nz
        ld a,c
        call entry_addr
        ld bc,ENTRY_SIZE
        ldir
        ld a,(fm_blk)
        jr dir_write

; A = entry number -> DE = its address in fm_buf.
entry_addr:
        push hl
        push bc
        ld l,a
        ld h,0
        add hl,hl
        ld b,h
        ld c,l
        add hl,hl
        add hl,hl
        ld d,h
        ld e,l
        add hl,hl
        add hl,de
        add hl,bc
        ld de,(fm_buf)
        add hl,de
        ex de,hl
        pop bc
        pop hl
        ret

; IX = entry -> BCDE = its first block, A = 0, Z.
entry_start:
        ld e,(ix+E_START)
        ld d,(ix+E_START+1)
        ld c,(ix+E_START+2)
        ld b,(ix+E_START+3)
        xor a
        ret

; The date, when one was set, into the entry at IX.
stamp_date:
        ld a,(fm_date + 3)
        or a
        ret z
        ld a,(fm_date + 2)
        ld (ix+E_DATE),a
        ld a,(fm_date)
        ld (ix+E_DATE+1),a
        ld a,(fm_date + 1)
        ld (ix+E_DATE+2),a
        ret

;---------------------------------------------------------------- names

; HL = name -> Z if it ends with 03h within the field and is not empty.
name_ok:
        push bc
        push hl
        ld a,(hl)
        cp 3
        jr z,nok_bad
        ld b,NAME_SIZE
nok_loop:
        ld a,(hl)
        cp 3
        jr z,nok_out
        inc hl
        djnz nok_loop
nok_bad:
        ld a,1
        or a
nok_out:
        pop hl
        pop bc
        ret

; HL = caller's name, DE = a name field -> Z if equal up to the 03h.
name_match:
        push bc
        push de
        push hl
        ld b,NAME_SIZE
nm_loop:
        ld a,(de)
        cp (hl)
        jr nz,nm_out
        cp 3
        jr z,nm_out
        inc hl
        inc de
        djnz nm_loop
        or 1
nm_out:
        pop hl
        pop de
        pop bc
        ret

; HL = name, DE = name field: copied with its 03h, the rest zero.
name_copy:
        push bc
        ld b,NAME_SIZE
ncp_loop:
        ld a,(hl)
        ld (de),a
        inc hl
        inc de
        dec b
        cp 3
        jr z,ncp_pad
        inc b
        djnz ncp_loop
        pop bc
        ret
ncp_pad:
        xor a
        cp b
        jr z,ncp_done
ncp_zero:
        ld (de),a
        inc de
        djnz ncp_zero
ncp_done:
        pop bc
        ret

;---------------------------------------------------------------- make, delete, rename

; A = device, BCDE = size in bytes (0: all the free blocks), HL = name.
mf_body:
        ld (fm_dev),a
        ld (fm_name),hl
        ld a,b
        or a
        jp nz,mf_full
        ex de,hl
        ld de,1023
        add hl,de
        ex de,hl
        jr nc,mf_blocks
        inc bc
mf_blocks:
        ld a,b
        or a
        jp nz,mf_full
        ld h,0                      ; blocks = size / 1024, rounded up
        ld l,c
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        ld a,d
        rrca
        rrca
        and 3Fh
        or l
        ld l,a
        ld (fm_need),hl
        ld hl,(fm_name)
        call name_ok
        jp nz,mf_range
        call fcb_free
        ret nz
        ld (fm_buf),hl
        call find_name
        jp z,mf_exists
        cp ERR_NO_FILE
        ret nz
        ld hl,(fm_name)             ; the new entry
        ld de,fm_new
        call name_copy
        ld hl,fm_new + E_ATTR
        ld b,ENTRY_SIZE - E_ATTR
mf_clear:
        ld (hl),0
        inc hl
        djnz mf_clear
        ld a,ATTR_USER
        ld (fm_new + E_ATTR),a
        push ix
        ld ix,fm_new
        call stamp_date
        pop ix
        ld a,(fm_del_blk)
        or a
        jr z,mf_hole
        call dir_read               ; reuse the blocks of a deleted file
        ret nz
        ld a,(fm_del_idx)
        call entry_addr
        ld hl,E_START
        add hl,de
        ld de,fm_new + E_START
        ld bc,6
        ldir
        ld a,(fm_del_idx)
        ld c,a
        ld a,(fm_del_blk)
        ld hl,fm_new
        jp put_entry
mf_hole:
        ld l,(ix+E_ALLOC)           ; IX = BLOCKS LEFT
        ld h,(ix+E_ALLOC+1)
        ld de,(fm_need)
        ld a,d
        or e
        jr nz,mf_sized
        ld d,h
        ld e,l
        ld (fm_need),de
mf_sized:
        ld a,d
        or e
        jr z,mf_full
        or a
        sbc hl,de
        jr c,mf_full
        ld a,(fm_bl_blk)            ; where BLOCKS LEFT moves
        ld b,a
        ld a,(fm_bl_idx)
        inc a
        ld c,a
        cp ENTRIES_PER_BLOCK
        jr c,mf_slot
        ld a,(fm_dir_known)         ; a new directory block only when the
        or a                        ; volume says how many there are
        jr z,mf_dirfull
        ld a,b
        ld hl,fm_dirn
        cp (hl)
        jr nc,mf_dirfull
        inc b
        ld c,0
mf_slot:
        push bc
        push ix
        pop hl
        ld de,fm_left
        ld bc,ENTRY_SIZE
        ldir
        ld hl,(fm_left + E_START)
        ld (fm_new + E_START),hl
        ld hl,(fm_left + E_START + 2)
        ld (fm_new + E_START + 2),hl
        ld de,(fm_need)
        ld (fm_new + E_ALLOC),de
        ld hl,(fm_left + E_START)
        add hl,de
        ld (fm_left + E_START),hl
        jr nc,mf_start
        ld hl,(fm_left + E_START + 2)
        inc hl
        ld (fm_left + E_START + 2),hl
mf_start:
        ld hl,(fm_left + E_ALLOC)
        or a
        sbc hl,de
        ld (fm_left + E_ALLOC),hl
        pop bc
        ld a,b
        ld hl,fm_left
        call put_entry
        ret nz
        ld a,(fm_bl_idx)
        ld c,a
        ld a,(fm_bl_blk)
        ld hl,fm_new
        jp put_entry
mf_exists:
        ld a,ERR_EXISTS
        or a
        ret
mf_full:
        ld a,ERR_MEDIUM_FULL
        or a
        ret
mf_dirfull:
        ld a,ERR_DIR_FULL
        or a
        ret
mf_range:
        ld a,ERR_RANGE
        or a
        ret

; A = device, HL = name. The entry is marked deleted; its blocks stay
; with it until a new file reuses them.
df_body:
        ld (fm_dev),a
        ld (fm_name),hl
        call dir_lookup
        ret nz
        bit 7,(ix+E_ATTR)
        ld a,ERR_DELETE
        jr nz,fail_a
        set 2,(ix+E_ATTR)
        ld a,(fm_blk)
        jp dir_write
fail_a:
        or a
        ret

; A = device, DE = old name, HL = new name.
rn_body:
        ld (fm_dev),a
        ld (fm_new_name),hl
        ld (fm_name),hl
        call name_ok
        jr nz,mf_range
        push de
        call dir_lookup
        pop de
        jr z,mf_exists
        cp ERR_NO_FILE
        ret nz
        ld (fm_name),de
        call dir_lookup
        ret nz
        bit 7,(ix+E_ATTR)
        ld a,ERR_RENAME
        jr nz,fail_a
        push ix
        pop de
        ld hl,(fm_new_name)
        call name_copy
        ld a,(fm_blk)
        jp dir_write

;---------------------------------------------------------------- query, set, trim

; A = device, DE = name, HL = 26-byte buffer -> the entry there, BCDE =
; the file's first block.
qf_body:
        ld (fm_dev),a
        ld (fm_name),de
        push hl
        call dir_lookup
        pop de
        ret nz
        push ix
        pop hl
        ld bc,ENTRY_SIZE
        ldir
        jp entry_start

; A = device, DE = name, HL = 26 bytes that replace the file's entry.
sf_body:
        ld (fm_dev),a
        ld (fm_name),de
        push hl
        call dir_lookup
        pop hl
        ret nz
        push ix
        pop de
        ld bc,ENTRY_SIZE
        ldir
        ld a,(fm_blk)
        jp dir_write

; A = device, DE = name. The blocks past the used ones go back to the free
; run when the BLOCKS LEFT entry follows the file in the same directory
; block (one write changes both); otherwise nothing changes.
tf_body:
        ld (fm_dev),a
        ld (fm_name),de
        call dir_lookup
        ret nz
        ld e,(ix+E_USED)
        ld d,(ix+E_USED+1)
        ld a,d
        or e
        jr nz,tf_keep
        inc de                      ; a file keeps at least one block
tf_keep:
        ld l,(ix+E_ALLOC)
        ld h,(ix+E_ALLOC+1)
        or a
        sbc hl,de
        jr c,tf_none
        jr z,tf_none
        ld (fm_need),hl             ; blocks released
        ld a,(fm_idx)
        inc a
        cp ENTRIES_PER_BLOCK
        jr nc,tf_none
        bit 0,(ix+ENTRY_SIZE+E_ATTR)
        jr z,tf_none
        ld (ix+E_ALLOC),e
        ld (ix+E_ALLOC+1),d
        ld de,(fm_need)
        ld l,(ix+ENTRY_SIZE+E_ALLOC)
        ld h,(ix+ENTRY_SIZE+E_ALLOC+1)
        add hl,de
        ld (ix+ENTRY_SIZE+E_ALLOC),l
        ld (ix+ENTRY_SIZE+E_ALLOC+1),h
        ld l,(ix+ENTRY_SIZE+E_START)
        ld h,(ix+ENTRY_SIZE+E_START+1)
        or a
        sbc hl,de
        ld (ix+ENTRY_SIZE+E_START),l
        ld (ix+ENTRY_SIZE+E_START+1),h
        jr nc,tf_write
        ld l,(ix+ENTRY_SIZE+E_START+2)
        ld h,(ix+ENTRY_SIZE+E_START+3)
        dec hl
        ld (ix+ENTRY_SIZE+E_START+2),l
        ld (ix+ENTRY_SIZE+E_START+3),h
tf_write:
        ld a,(fm_blk)
        jp dir_write
tf_none:
        xor a
        ret

;---------------------------------------------------------------- a new directory

; A = device, C = directory blocks, DE = the medium's size in blocks,
; HL = volume name. Writes an empty directory: the volume, BOOT (block 0),
; DIRECTORY and BLOCKS LEFT over the rest. Block 1 is written last.
id_body:
        ld (fm_dev),a
        ld (fm_name),hl
        ld a,c
        or a
        jp z,mf_range
        ld (fm_dirn),a
        ld (fm_need),de
        ld h,0
        ld l,c
        inc hl
        inc hl
        ex de,hl
        or a
        sbc hl,de                   ; room for one file block at least
        jp c,mf_range
        ld hl,(fm_name)
        call name_ok
        jp nz,mf_range
        call fcb_free
        ret nz
        ld (fm_buf),hl
        ld d,h
        ld e,l
        inc de
        ld (hl),0
        ld bc,1023
        ldir
        ld a,(fm_dirn)
id_blank:
        cp 2
        jr c,id_first
        ld b,a
        call dir_write
        ret nz
        ld a,b
        dec a
        jr id_blank
id_first:
        ld hl,(fm_name)
        ld de,(fm_buf)
        call name_copy
        ld ix,(fm_buf)
        ld a,(fm_dirn)
        ld (ix+E_START),a
        ld hl,(fm_need)
        ld (ix+E_ALLOC),l
        ld (ix+E_ALLOC+1),h
        call stamp_date
        ld hl,dir_template
        ld de,ENTRY_SIZE
        add ix,de
        push ix
        pop de
        ld bc,3 * ENTRY_SIZE
        ldir
        ld a,(fm_dirn)              ; DIRECTORY: blocks 1 to n
        ld (ix+ENTRY_SIZE+E_ALLOC),a
        ld (ix+ENTRY_SIZE+E_USED),a
        ld l,a                      ; BLOCKS LEFT: the rest
        ld h,0
        inc hl
        ld (ix+2*ENTRY_SIZE+E_START),l
        ld (ix+2*ENTRY_SIZE+E_START+1),h
        ex de,hl
        ld hl,(fm_need)
        or a
        sbc hl,de
        ld (ix+2*ENTRY_SIZE+E_ALLOC),l
        ld (ix+2*ENTRY_SIZE+E_ALLOC+1),h
        ld a,1
        jp dir_write

dir_template:
        db "BOOT", 3, 0, 0, 0, 0, 0, 0, 0
        db ATTR_SYSTEM | ATTR_LOCKED
        dw 0, 0, 1, 1, 1024
        db 0, 0, 0
        db "DIRECTORY", 3, 0, 0
        db ATTR_SYSTEM | ATTR_LOCKED
        dw 1, 0, 0, 0, 1024
        db 0, 0, 0
        db "BLOCKS LEFT", 3
        db ATTR_LEFT
        dw 0, 0, 0, 0, 0
        db 0, 0, 0

;---------------------------------------------------------------- state

fm_heads:       dw fm_fcbs
fm_bufs:        dw FCB_BUFFERS
fm_fcbs:        ds FCB_COUNT * FCB_SIZE
fm_date:        db 0, 0, 0, 0       ; month, day, year, set
fm_dev:         db 0
fm_mode:        db 0
fm_fileno:      db 0
fm_blk:         db 0
fm_idx:         db 0
fm_dirn:        db 0
fm_dir_known:   db 0
fm_bl_blk:      db 0
fm_bl_idx:      db 0
fm_del_blk:     db 0
fm_del_idx:     db 0
fm_buf:         dw 0
fm_name:        dw 0
fm_new_name:    dw 0
fm_fcb:         dw 0
fm_need:        dw 0
fm_len:         dw 0
fm_user:        dw 0
fm_total:       dw 0
fm_n:           dw 0
fm_new:         ds ENTRY_SIZE
fm_left:        ds ENTRY_SIZE
