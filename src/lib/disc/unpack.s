; Shows one picture of a disc of packed screens (src/lib/disc/compress.h
; tells the format) on the BBC Micro's 6502: blacks out the colours, reads
; the picture's sectors straight from the disc and unpacks them in place.
; Assembled with ACME:
;     acme -f plain -o unpack.bin unpack.s
; The bytes are kept in unpack.cpp too, and the build compares the two
; whenever ACME is there.
;
; !BOOT has changed MODE where the mode is new; it sets BASIC's resident
; integer variables N% (the picture's sectors) and E% (the drive, 0 or
; 2), CALLs show with A% and X% the sector and track the picture starts
; at and Y% the screen's first page, then sets the picture's colours.

        * = $0900               ; the cassette and RS423 buffers, idle
                                ; while a disc is in use

; Zero page: &70-&8F are the user's. Reading leaves the packed file's
; first page in src+1, the screen's in dst+1 and 0 in dst, where the
; unpacking starts from.
bits    = $70                   ; bits still to use, then a 1 marking their end
src     = $71                   ; the next byte of the packed file
dst     = $73                   ; the page being written; Y holds the low byte
sector  = dst                   ; reading: the first sector wanted on a track,
left    = $76                   ; the sectors still to read,
page    = $77                   ; where the first sector wanted goes,
next    = $78                   ; the sector expected under the head,
count   = $79                   ; the sectors wanted on this track
split   = $7A                   ; and how many of them pass before next
block   = $7B                   ; OSWORD &7F's: drive, address (4 bytes),
track   = block + 7             ; 3 parameters, command, track, sector,
                                ; sectors and their size, result

varE    = $0414                 ; BASIC's E% and N%
varN    = $0438

ulapal  = $FE21                 ; the video ULA's palette
osword  = $FFF1

show    sta sector
        sta next                ; where the head is, nothing tells yet
        stx track
        sty dst+1
        ldx #$F7                ; the ULA's sixteen entries black (physical
-       stx ulapal              ; colour EOR 7 in the low bits); !BOOT's
        txa                     ; VDU 19s set them all again after
        sec
        sbc #$10
        tax
        bcs -
        lda varE                ; drive E%, to the address in bytes 1-2
        sta block
        lda #0
        sta block+1
        sta block+3
        sta block+4
        lda #3
        sta block+5
        lda varN
        sta left
        eor #$FF
        sec
        adc #$80
        sta page
        sta src+1

; Which sector passes next: read ID, its second parameter not 0, reads
; the next sector's header without waiting for the index. The 8271 reads
; it on the track the head is on, the 1770 filing systems seek the
; picture's first track first: the header's track tells which. The sector
; after it comes next, or, where the head is still to step to the
; picture's track, the third after it. A filing system that does not take
; the command leaves reading to start where the picture does.
        lda #$5B
        sta block+6
        lda #1
        sta block+8
        sta block+9
        lda page
        sta block+2
        jsr command
        bne readtrk
        sta src                 ; the header went to the first page
        tay
        lda (src),y             ; its track
        eor track
        beq +                   ; the next sector, or after a step
        lda #2                  ; the third
+       sec
        ldy #2
        adc (src),y
        cmp #10
        bcc +
        sbc #10
+       sta next

; The sectors, track by track, into the pages that end at &7FFF. After a
; step to the next track the head has passed three sectors by the time it
; can read, so reading a whole track from its first sector would wait for
; a turn of the disc. Each track is read instead from the sector expected
; under the head to its last, then from its first: between the two calls,
; back to back, the head passes the index, where the gap is widest.
readtrk lda #10                 ; count = MIN(10 - sector, left)
        sec
        sbc sector
        cmp left
        bcc +
        lda left
+       sta count
        lda next                ; split = next - sector, when inside them
        sec
        sbc sector
        cmp count
        bcc +
        lda #0
+       sta split
        clc                     ; from sector + split to the last, into
        adc page                ; page + split
        tay
        lda count
        sec
        sbc split
        tax
        lda sector
        clc
        adc split
        jsr readrun
        lda sector              ; then the split sectors before them
        ldx split
        ldy page
        jsr readrun
        lda page
        clc
        adc count
        sta page
        inc track
        lda #0
        sta sector
        lda left
        sec
        sbc count
        sta left
        bne readtrk

        lda src+1               ; a file as big as the screen is the screen
        cmp dst+1
        beq done
        ldy #0                  ; else the stream starts after the first
        sty src                 ; byte and the padding it counts
        lda (src),y
        tax
        inx
        stx src
        bne unpack
        inc src+1
        bne unpack

; Reads X sectors (none when X = 0) of the track from sector A into page
; Y on, with OSWORD &7F, or stops the program with an error. After a step
; the head comes to rest some three sectors on from the last read.
readrun sta block+8
        sty block+2
        txa
        beq done
        ora #$20                ; sectors of 256 bytes
        sta block+9
        lda #$53                ; read data
        sta block+6
        txa
        clc
        adc block+8
        adc #3
        cmp #10
        bcc ++
        sbc #10
++      sta next
        jsr command
        bne ++
done    rts
++      brk
        !byte 199
        !text "Disc fault", 0

; OSWORD &7F with the block; returns its result, 0 (and Z) when all
; went well.
command lda #$7F
        ldx #<block
        ldy #>block
        jsr osword
        lda block+10
        rts

        !fill $0A00 - *, 0

; Unpacks a packed screen in place, from the start of the next page:
; src points at the stream, dst+1 holds the screen's first page and dst 0.
; Writing goes upwards from the screen's first byte. The compressor made sure the writes never reach a byte still to be
; read, and that they meet the read position at the end of the stream:
; from there on the screen's last bytes are already in place.

; The next bit into the carry; a new bit byte only once in eight. Written
; out at each use: a subroutine call would double the time a bit takes.
!macro getbit {
        asl bits
        bne .have
        jsr refill
.have
}

unpack  sei                     ; the OS's interrupts would take a tenth
        ldy #0                  ; of the time
        ldx #0                  ; X stays 0 between copies, for (src,x)
        lda #$80                ; no bits yet: only the end marker
        sta bits

; Literals: a number n, then n bytes from the file; after 255 more
; literals. One is the commonest.
literal +getbit
        bcc lmany
        lda (src,x)
        sta (dst),y
        inc src
        bne +
        inc src+1
+       iny
        bne afterl
        inc msrc+2              ; see new
        inc dst+1
        bne afterl
lmany   lda #1
        jsr number0
        tax                     ; copied from src - Y, indexed by Y
        tya
        eor #$FF
        adc src                 ; the carry is set: a number ends on a 1
        sta lsrc+1
        lda src+1
        adc #$FF
        sta lsrc+2
        txa                     ; src moves on past them
        clc
        adc src
        sta src
        bcc +
        inc src+1
+       cpx #255                ; the carry: 255 of them, more to come
lloop
lsrc    lda $FFFF,y
        sta (dst),y
        iny
        beq lcross
lnext   dex
        bne lloop
        bcs literal

; After literals: 1, a match with a new offset; 0, a repeat of the last.
afterl  +getbit
        bcc length
        bcs new
lcross  inc msrc+2
        inc dst+1
        inc lsrc+2
        bne lnext

; A new offset: a number h, then a byte l, for offset - 1 =
; (h - 1) * 256 + (l EOR &FF). Matches copy from msrc + Y, whose page is
; dst - h from here on: it moves on a page whenever the writing does, so
; that a repeat finds it ready.
new     +getbit
        lda #1
        bcs +
        jsr number0
+       eor #$FF                ; the carry is set: a number ends on a 1
        adc dst+1
        sta msrc+2
        lda (src,x)
        sta msrc+1
        inc src
        bne length
        inc src+1
; Then, for it or a repeat, a number n for n + 1 bytes.
length  +getbit                 ; n = 1, 2 or 3 written out, the
        lda #1                  ; commonest
        bcs +
        +getbit
        rol
        +getbit
        bcs +
        jsr number1
+       tax
        inx                     ; 256 bytes: X = 0
; One byte at a time, so that an overlapping match repeats what it has
; just written.
mloop
msrc    lda $FFFF,y
        sta (dst),y
        iny
        beq mcross
mnext   dex
        bne mloop
        cpy src                 ; only a match catches up with the reading
        beq check
after   +getbit                 ; 1: a match with a new offset; 0: literals
        bcs new
        jmp literal
mcross  inc dst+1
        inc msrc+2
        bne mnext
check   lda dst+1
        cmp src+1
        bne after
        cli
        rts

; The rest of a number (A = 1) whose first bit was 0: below its top bit,
; each bit comes as a 0 then the bit; a 1 ends it. At most 255.
number0 +getbit
        rol
-       +getbit
        bcs +
number1 +getbit                 ; where a 0 said a bit follows
        rol
        bcc -
+       rts

; A new bit byte, for getbit: the carry holds the end marker shifted out
; of the last, which goes in below the new byte's bits; its top bit comes
; out into the carry. Keeps A.
refill  pha
        lda (src,x)
        inc src
        bne +
        inc src+1
+       rol
        sta bits
        pla
        rts
